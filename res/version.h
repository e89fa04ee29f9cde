// The version of velmora: the one place it is written. The About box shows
// "velmora Version " followed by it, and scripts/release names the archive
// after it. Read by windres and by scripts/release; keep it a plain #define.
#pragma once

#define VELMORA_VERSION "1.3"
// The same as numbers, for the version resource (major.minor.0.0).
#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 3
