// Sizes in pixels are written for 96 DPI, the scale of 100 %; on a display of
// another scale they are scaled at the one place that uses them. Portable, so
// the rounding is tested natively too.
#pragma once

// The DPI every pixel size of the program is written for.
constexpr int kDesignDpi = 96;

// size (in pixels at 96 DPI) at dpi, rounded as MulDiv(size, dpi, 96) rounds:
// to the nearest, a half away from zero. A dpi of 0 or less (none could be
// read) leaves size as it is.
int ScaleToDpi(int size, int dpi);
