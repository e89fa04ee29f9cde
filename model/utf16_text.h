// A sound path as the alarm file stores it: its length in UTF-16 code units,
// one separating character, then the units themselves, two bytes each, low
// byte first. The same bytes on every platform, whatever the width of wchar_t.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include <boost/serialization/level.hpp>

class Utf16Text {
public:
    Utf16Text() = default;
    explicit Utf16Text(const std::wstring& text);

    std::wstring ToWide() const;
    const std::u16string& Units() const { return m_units; }

    // Written and read by the archives as one primitive token pair.
    friend std::ostream& operator<<(std::ostream& out, const Utf16Text& text);
    // Reads the length, exactly one separator and then the units by count;
    // grows the string only as bytes actually arrive, so a false length in a
    // damaged file costs no more memory than the file holds. A path cut short
    // sets failbit and leaves the text empty.
    friend std::istream& operator>>(std::istream& in, Utf16Text& text);

private:
    std::u16string m_units;
};

// The archives pass the text straight to the stream operators above: no class
// information, no tracking, just the tokens.
BOOST_CLASS_IMPLEMENTATION(Utf16Text, boost::serialization::primitive_type)

// UTF-16 <-> the platform's wide string. Where wchar_t is 32 bits, characters
// beyond the BMP become surrogate pairs and back; an unpaired surrogate is kept
// as it is, so any unit sequence round-trips.
std::u16string WideToUtf16(const std::wstring& text);
std::wstring Utf16ToWide(const std::u16string& units);

// The platform's wide string as UTF-8, for file names on POSIX systems.
std::string WideToUtf8(const std::wstring& text);
