#include "ui/typed_digits.h"

namespace {

constexpr wchar_t kFullWidthZero = 0xFF10;
constexpr wchar_t kFullWidthNine = 0xFF19;
constexpr unsigned long long kMaxNumber = 0xFFFFFFFFull;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

wchar_t AsciiDigit(wchar_t c) {
    if (c < kFullWidthZero || c > kFullWidthNine) return c;
    return static_cast<wchar_t>(L'0' + (c - kFullWidthZero));
}

bool ToAsciiDigits(std::wstring& text) {
    bool changed = false;
    for (wchar_t& c : text) {
        const wchar_t ascii = AsciiDigit(c);
        changed = changed || ascii != c;
        c = ascii;
    }
    return changed;
}

unsigned ReadFieldNumber(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    unsigned long long number = 0;
    for (; i < text.size() && IsDigit(AsciiDigit(text[i])); ++i) {
        number = number * 10 + static_cast<unsigned>(AsciiDigit(text[i]) - L'0');
        if (number > kMaxNumber) return 0;
    }
    return static_cast<unsigned>(number);
}
