// The window probe that the end-to-end tests load into velmora.exe.
#pragma once

#include <cstddef>

// Size, in wide characters, of the answer buffer of each probe export.
constexpr std::size_t kProbeTextUnits = 4096;
