// The digits of the hour and minute fields: the Japanese IME in its ひらがな
// mode types full-width digits (U+FF10 to U+FF19), which count as the ASCII
// digits they stand for. Portable, so these rules are tested natively too.
#pragma once

#include <string>

// The ASCII digit a full-width digit stands for; any other character as it is.
wchar_t AsciiDigit(wchar_t c);

// Turns every full-width digit of text into its ASCII digit, in place, one
// character for one (so a caret position stays valid). Returns whether any was.
bool ToAsciiDigits(std::wstring& text);

// The number in a field's text, read as GetDlgItemInt reads an unsigned one,
// with full-width digits counted as digits: leading spaces are skipped, then
// the digits up to the first other character. 0 when no digit comes first,
// or when the number is beyond what 32 bits hold.
unsigned ReadFieldNumber(const std::wstring& text);
