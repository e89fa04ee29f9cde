// The dialogs' pure rules: pixel sizes scaled to the display, and full-width
// digits in the hour and minute fields. Natively and under Windows alike.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ui/dpi_scale.h"
#include "ui/typed_digits.h"

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

TEST(TypedDigits, FullWidthDigitsBecomeAsciiAndNothingElseChanges) {
    for (wchar_t d = 0; d < 10; ++d) EXPECT_EQ(L'0' + d, AsciiDigit(static_cast<wchar_t>(0xFF10 + d)));
    // Their neighbours, the other digits of Unicode and the ASCII ones stay.
    for (wchar_t c : {L'0', L'9', L'a', L' ', wchar_t(0xFF0F), wchar_t(0xFF1A), wchar_t(0x0661), wchar_t(0x2460),
                      wchar_t(0x4E00)})
        EXPECT_EQ(c, AsciiDigit(c)) << static_cast<int>(c);

    std::wstring text = L"\uFF11\uFF12:3\uFF10\uFF21";
    EXPECT_TRUE(ToAsciiDigits(text));
    EXPECT_EQ(L"12:30\uFF21", text);
    EXPECT_FALSE(ToAsciiDigits(text));
    std::wstring empty;
    EXPECT_FALSE(ToAsciiDigits(empty));
}

TEST(TypedDigits, AFieldReadsAsGetDlgItemIntReadsItWithFullWidthDigitsCounted) {
    struct Case {
        const wchar_t* text;
        unsigned number;
    };
    const Case cases[] = {
        {L"", 0},           {L"12", 12},          {L"\uFF11\uFF12", 12}, {L"\uFF10\uFF17", 7},
        {L"1\uFF12", 12},   {L"007", 7},          {L"99", 99},           {L"  30", 30},
        {L"12ab", 12},      {L"ab12", 0},         {L"-5", 0},            {L"\uFF11\uFF21\uFF12", 1},
        {L"4294967295", 4294967295u}, {L"4294967296", 0},     {L"99999999999999999999", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.number, ReadFieldNumber(c.text)) << static_cast<int>(c.number);
}
