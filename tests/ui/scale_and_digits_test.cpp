// The dialogs' pure rules: pixel sizes scaled to the display. Natively and
// under Windows alike.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ui/dpi_scale.h"

TEST(DpiScale, TheDialogsSizesAtTheCommonScales) {
    struct Case {
        int dpi;
        int time, onOff, day, dayList;  // 80, 60, 40 and 100 at 96 DPI
    };
    const Case cases[] = {{96, 80, 60, 40, 100}, {120, 100, 75, 50, 125},
                          {144, 120, 90, 60, 150}, {192, 160, 120, 80, 200}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.time, ScaleToDpi(80, c.dpi)) << c.dpi;
        EXPECT_EQ(c.onOff, ScaleToDpi(60, c.dpi)) << c.dpi;
        EXPECT_EQ(c.day, ScaleToDpi(40, c.dpi)) << c.dpi;
        EXPECT_EQ(c.dayList, ScaleToDpi(100, c.dpi)) << c.dpi;
    }
}

TEST(DpiScale, OddSizesRoundAsMulDivDoes) {
    // To the nearest; a half away from zero.
    EXPECT_EQ(1, ScaleToDpi(1, 120));   // 1.25
    EXPECT_EQ(2, ScaleToDpi(1, 144));   // 1.5
    EXPECT_EQ(4, ScaleToDpi(3, 120));   // 3.75
    EXPECT_EQ(8, ScaleToDpi(5, 144));   // 7.5
    EXPECT_EQ(16, ScaleToDpi(13, 120));  // 16.25
    EXPECT_EQ(-8, ScaleToDpi(-5, 144));  // -7.5
    EXPECT_EQ(-1, ScaleToDpi(-1, 120));  // -1.25
    EXPECT_EQ(9, ScaleToDpi(7, 125));   // 9.11
    EXPECT_EQ(0, ScaleToDpi(0, 192));
    // Beyond an int's range it stops at the end; an unknown DPI scales nothing.
    EXPECT_EQ(INT_MAX, ScaleToDpi(INT_MAX, 192));
    EXPECT_EQ(INT_MIN, ScaleToDpi(INT_MIN, 192));
    EXPECT_EQ(37, ScaleToDpi(37, 0));
    EXPECT_EQ(37, ScaleToDpi(37, -96));
#ifdef _WIN32
    // Against the system's own MulDiv, over every small size at many scales.
    for (int dpi = 72; dpi <= 480; dpi += 12)
        for (int size = -300; size <= 300; ++size)
            ASSERT_EQ(MulDiv(size, dpi, 96), ScaleToDpi(size, dpi)) << size << " at " << dpi;
#endif
}
