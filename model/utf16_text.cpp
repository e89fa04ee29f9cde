#include "model/utf16_text.h"

#include <algorithm>
#include <istream>
#include <ostream>

Utf16Text::Utf16Text(const std::wstring& text) : m_units(WideToUtf16(text)) {}

std::wstring Utf16Text::ToWide() const { return Utf16ToWide(m_units); }

std::u16string WideToUtf16(const std::wstring& text) {
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t c : text) {
        const unsigned long code = static_cast<unsigned long>(c);
        if (sizeof(wchar_t) > 2 && code > 0xFFFF && code <= 0x10FFFF) {
            const unsigned long v = code - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code & 0xFFFF));
        }
    }
    return units;
}

std::wstring Utf16ToWide(const std::u16string& units) {
    std::wstring text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (sizeof(wchar_t) > 2 && u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() &&
            units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            const unsigned long code =
                0x10000 + ((static_cast<unsigned long>(u) - 0xD800) << 10) +
                (static_cast<unsigned long>(units[i + 1]) - 0xDC00);
            text.push_back(static_cast<wchar_t>(code));
            ++i;
        } else {
            text.push_back(static_cast<wchar_t>(u));
        }
    }
    return text;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    const std::wstring& whole = text;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        unsigned long c = static_cast<unsigned long>(whole[i]);
        // Where wchar_t is 16 bits, a surrogate pair is one character.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < whole.size()) {
            const unsigned long low = static_cast<unsigned long>(whole[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | ((c >> 18) & 0x07)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const Utf16Text& text) {
    const std::u16string& units = text.m_units;
    out << units.size();
    out.put(' ');
    std::string bytes;
    bytes.resize(units.size() * 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out;
}

std::istream& operator>>(std::istream& in, Utf16Text& text) {
    text.m_units.clear();
    unsigned long long length = 0;
    if (!(in >> length)) return in;
    // Exactly one character separates the length from the units.
    if (in.get() == std::char_traits<char>::eof()) {
        in.setstate(std::ios::failbit);
        return in;
    }
    if (length > (~0ULL) / 2) {
        in.setstate(std::ios::failbit);
        return in;
    }
    std::u16string units;
    char chunk[4096];
    unsigned long long left = length * 2;
    while (left > 0) {
        const std::streamsize want =
            static_cast<std::streamsize>(std::min<unsigned long long>(left, sizeof chunk));
        in.read(chunk, want);
        if (in.gcount() != want) {
            in.setstate(std::ios::failbit);
            return in;
        }
        for (std::streamsize i = 0; i < want; i += 2) {
            units.push_back(static_cast<char16_t>(
                static_cast<unsigned char>(chunk[i]) |
                (static_cast<unsigned char>(chunk[i + 1]) << 8)));
        }
        left -= static_cast<unsigned long long>(want);
    }
    text.m_units = std::move(units);
    return in;
}
