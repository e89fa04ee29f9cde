// The dialogs' pure rules, natively and under Windows alike: pixel sizes
// scaled to the display, and full-width digits in the hour and minute fields.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

#include "ui/dpi_scale.h"
#include "ui/typed_digits.h"

TEST(DpiScale, TheColumnWidthsAtTheCommonScalesAndOddSizesRoundAsMulDiv) {
    // The columns' 80, 60, 40 and the day list's 100 at 100, 125, 150 and 200 %.
    const int expected[4][5] = {{96, 80, 60, 40, 100}, {120, 100, 75, 50, 125},
                                {144, 120, 90, 60, 150}, {192, 160, 120, 80, 200}};
    for (const auto& e : expected)
        EXPECT_TRUE(ScaleToDpi(80, e[0]) == e[1] && ScaleToDpi(60, e[0]) == e[2] &&
                    ScaleToDpi(40, e[0]) == e[3] && ScaleToDpi(100, e[0]) == e[4]) << e[0];
    // To the nearest, a half away from zero: 1.25, 1.5, 7.5, -7.5, 9.11.
    EXPECT_TRUE(ScaleToDpi(1, 120) == 1 && ScaleToDpi(1, 144) == 2 && ScaleToDpi(5, 144) == 8 &&
                ScaleToDpi(-5, 144) == -8 && ScaleToDpi(7, 125) == 9);
    // Beyond an int it stops at the ends; an unknown DPI scales nothing.
    EXPECT_TRUE(ScaleToDpi(INT_MAX, 192) == INT_MAX && ScaleToDpi(INT_MIN, 192) == INT_MIN);
    EXPECT_TRUE(ScaleToDpi(37, 0) == 37 && ScaleToDpi(37, -96) == 37);
#ifdef _WIN32
    for (int dpi = 72; dpi <= 480; dpi += 12)  // against the system's own MulDiv
        for (int size = -300; size <= 300; ++size) ASSERT_EQ(MulDiv(size, dpi, 96), ScaleToDpi(size, dpi)) << dpi;
#endif
}

TEST(TypedDigits, FullWidthDigitsCountAsAsciiOnesAndNothingElseChanges) {
    std::wstring text = L"\uFF10\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16\uFF17\uFF18\uFF19:\uFF0F\uFF1A\uFF21\u0661\u2460a";
    EXPECT_TRUE(ToAsciiDigits(text));
    EXPECT_EQ(L"0123456789:\uFF0F\uFF1A\uFF21\u0661\u2460a", text);  // neighbours, other digits stay
    EXPECT_FALSE(ToAsciiDigits(text));
    // Read as GetDlgItemInt reads an unsigned number, full-width digits counted.
    const std::pair<const wchar_t*, unsigned> cases[] = {
        {L"", 0},       {L"\uFF11\uFF12", 12}, {L"\uFF10\uFF17", 7}, {L"1\uFF12", 12}, {L"007", 7},
        {L"  30", 30},  {L"12ab", 12},         {L"ab12", 0},         {L"-5", 0},       {L"\uFF11\uFF21\uFF12", 1},
        {L"4294967295", 4294967295u},          {L"4294967296", 0},   {L"99999999999999999999", 0}};
    for (const auto& c : cases) EXPECT_EQ(c.second, ReadFieldNumber(c.first)) << c.second;
}
