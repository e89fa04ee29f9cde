#include "app/claim_key.h"

#include <cwchar>

namespace {

// FNV-1a over the UTF-16 code units.
unsigned long long HashText(const std::wstring& text) {
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t unit : text) {
        const unsigned value = static_cast<unsigned short>(unit);
        hash = (hash ^ (value & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (value >> 8)) * 1099511628211ull;
    }
    return hash;
}

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

}  // namespace

bool CanTellFoldersApart(const FolderIdentity& identity) {
    return identity.indexHigh != 0 || identity.indexLow != 0;
}

std::wstring FolderClaimName(const FolderIdentity& identity) {
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\velmora-folder-%08lx-%08lx%08lx",
                  static_cast<unsigned long>(identity.volumeSerial),
                  static_cast<unsigned long>(identity.indexHigh),
                  static_cast<unsigned long>(identity.indexLow));
    return name;
}

std::wstring PathClaimName(const std::wstring& foldedPath) {
    // The path itself may be longer than a mutex name may be, and may hold
    // backslashes, which a name may not; its hash has neither problem.
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\velmora-alarm-file-%016llx",
                  HashText(foldedPath));
    return name;
}

std::wstring FolderOfFile(const std::wstring& path) {
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

bool IsHandOverTextFor(const void* data, std::size_t bytes, const std::wstring& ownClaimName) {
    if (data == nullptr || ownClaimName.empty() || bytes % sizeof(wchar_t) != 0) return false;
    const std::size_t units = bytes / sizeof(wchar_t);
    if (units == 0 || units > kHandOverCapacity) return false;
    const wchar_t* text = static_cast<const wchar_t*>(data);
    if (text[units - 1] != L'\0') return false;
    return std::wstring(text, units - 1) == ownClaimName;
}

Claim DecideClaim(const ClaimRound& round, unsigned long waitMs) {
    // Only a mutex in another's hands means another copy; any other failure
    // must not keep the program from running.
    if (round.made || round.failed) return Claim::Held;
    if (round.handedOver) return Claim::HandedOver;
    // A copy run as administrator: its mutex cannot be opened, and User
    // Interface Privilege Isolation drops the hand-over; waiting changes nothing.
    if (round.forbidden && round.refusedBySystem) return Claim::Elevated;
    if (round.elapsedMs < waitMs) return Claim::Pending;
    return round.forbidden ? Claim::Elevated : Claim::GaveUp;
}
