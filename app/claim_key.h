// The name under which one copy of velmora claims its folder, the hand-over
// message that names it, and what a start does with what it met. Portable: no
// platform headers, so these decisions are tested natively too;
// single_instance.cpp asks the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the file system says a folder is, whichever path reached it: the
// volume's serial number and the folder's file index on that volume. An 8.3
// short name, a mapped drive and its UNC path, a SUBST drive or a junction
// all lead to the same identity.
struct FolderIdentity {
    std::uint32_t volumeSerial = 0;
    std::uint32_t indexHigh = 0;
    std::uint32_t indexLow = 0;
};

// False when the file system gave no file index (some network redirectors
// give 0): such an identity would make every folder of the volume one.
bool CanTellFoldersApart(const FolderIdentity& identity);

// The mutex name of the copy serving the folder with this identity.
std::wstring FolderClaimName(const FolderIdentity& identity);

// The mutex name of the copy serving the alarm file at foldedPath, for when
// the folder's identity cannot be had. The caller folds the path's case.
std::wstring PathClaimName(const std::wstring& foldedPath);

// The folder part of a file path, with its closing separator ("C:\a\" for
// "C:\a\file.txt", "\\server\share\" for "\\server\share\file.txt"); empty
// when the path holds no separator.
std::wstring FolderOfFile(const std::wstring& path);

// The most UTF-16 units a hand-over may carry, its terminator included.
constexpr std::size_t kHandOverCapacity = 128;

// True when bytes of data are a hand-over for the copy whose claim is
// ownClaimName: the same name, terminated, nothing after it.
bool IsHandOverTextFor(const void* data, std::size_t bytes, const std::wstring& ownClaimName);

enum class Claim {
    Held,        // this process serves the file and goes on
    HandedOver,  // another copy serves it and took the hand-over: end, with success
    GaveUp,      // another copy held it and refused the hand-over for the whole wait
    Elevated,    // the copy serving it runs as administrator, beyond this start's reach
    Pending,     // between two rounds: no answer yet
};

// What one round of a start's claim met.
struct ClaimRound {
    bool made = false;       // this start made the claim's mutex
    bool forbidden = false;  // it exists and may not be opened: its holder has rights this start lacks
    bool failed = false;     // it could not be made for another reason
    bool handedOver = false;      // a running copy took the hand-over
    bool refusedBySystem = false;  // the system kept the hand-over from a copy's window
    unsigned long elapsedMs = 0;   // since the first round
};

// What the start does after round, waiting waitMs in all for an answer.
Claim DecideClaim(const ClaimRound& round, unsigned long waitMs);
