// The claim's names and the hand-over text, without the platform.
#include <gtest/gtest.h>

#include <string>

#include "app/claim_key.h"

namespace {

FolderIdentity Identity(std::uint32_t serial, std::uint32_t high, std::uint32_t low) {
    FolderIdentity identity;
    identity.volumeSerial = serial;
    identity.indexHigh = high;
    identity.indexLow = low;
    return identity;
}

// A mutex name in the session's namespace: no further backslash, short.
void ExpectLocalObjectName(const std::wstring& name) {
    EXPECT_EQ(0u, name.find(L"Local\\")) << name.c_str();
    EXPECT_EQ(std::wstring::npos, name.find(L'\\', 6)) << name.c_str();
    EXPECT_LT(name.size(), kHandOverCapacity);
}

}  // namespace

TEST(FolderClaim, EachPartOfTheIdentityTellsFoldersApart) {
    const std::wstring name = FolderClaimName(Identity(0x1234ABCD, 1, 2));
    ExpectLocalObjectName(name);
    EXPECT_EQ(name, FolderClaimName(Identity(0x1234ABCD, 1, 2)));
    EXPECT_NE(name, FolderClaimName(Identity(0x1234ABCE, 1, 2)));
    EXPECT_NE(name, FolderClaimName(Identity(0x1234ABCD, 2, 2)));
    EXPECT_NE(name, FolderClaimName(Identity(0x1234ABCD, 1, 3)));
    // The parts are not simply run together: (1, 23) is not (12, 3).
    EXPECT_NE(FolderClaimName(Identity(1, 0x23, 0)), FolderClaimName(Identity(0x12, 3, 0)));
    ExpectLocalObjectName(FolderClaimName(Identity(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)));
}

TEST(FolderOfFile, KeepsTheFolderWithItsSeparator) {
    EXPECT_EQ(L"C:\\a\\b\\", FolderOfFile(L"C:\\a\\b\\file.txt"));
    EXPECT_EQ(L"C:\\", FolderOfFile(L"C:\\file.txt"));
    EXPECT_EQ(L"\\\\server\\share\\", FolderOfFile(L"\\\\server\\share\\file.txt"));
    EXPECT_EQ(L"C:/a/", FolderOfFile(L"C:/a/file.txt"));
    EXPECT_EQ(L"", FolderOfFile(L"file.txt"));
    EXPECT_EQ(L"", FolderOfFile(L""));
}

namespace {

// The bytes of a hand-over carrying text and its terminator.
bool Accepts(const std::wstring& text, const std::wstring& ownName, std::size_t dropBytes = 0) {
    return IsHandOverTextFor(text.c_str(), (text.size() + 1) * sizeof(wchar_t) - dropBytes, ownName);
}

}  // namespace

TEST(HandOverText, AcceptedOnlyForExactlyTheOwnName) {
    const std::wstring own = FolderClaimName(Identity(7, 0, 42));
    EXPECT_TRUE(Accepts(own, own));
    EXPECT_FALSE(Accepts(FolderClaimName(Identity(7, 0, 43)), own));
    EXPECT_FALSE(Accepts(own.substr(0, own.size() - 1), own));
    EXPECT_FALSE(Accepts(own + L"0", own));
    // Something after the terminator is not the same name.
    EXPECT_FALSE(Accepts(own + std::wstring(1, L'\0') + L"x", own));
    EXPECT_FALSE(Accepts(own, L""));
}

TEST(HandOverText, MalformedDataIsRefused) {
    const std::wstring own = FolderClaimName(Identity(7, 0, 42));
    EXPECT_FALSE(Accepts(own, own, sizeof(wchar_t)));  // unterminated
    EXPECT_FALSE(Accepts(own, own, 1));                // half a unit
    EXPECT_FALSE(IsHandOverTextFor(own.c_str(), 0, own));
    EXPECT_FALSE(IsHandOverTextFor(nullptr, (own.size() + 1) * sizeof(wchar_t), own));
    // Too long to be any claim name, even when it begins like one.
    const std::wstring longText = own + std::wstring(kHandOverCapacity, L'x');
    EXPECT_FALSE(IsHandOverTextFor(longText.c_str(), (longText.size() + 1) * sizeof(wchar_t), longText));
}

TEST(ClaimDecision, AStartServesEndsWaitsOrTellsOfACopyRunAsAdministrator) {
    const auto round = [](bool made, bool forbidden, bool failed, bool handedOver, bool refused, unsigned long ms) {
        ClaimRound r;
        r.made = made, r.forbidden = forbidden, r.failed = failed;
        r.handedOver = handedOver, r.refusedBySystem = refused, r.elapsedMs = ms;
        return DecideClaim(r, 30000);
    };
    EXPECT_EQ(Claim::Held, round(true, false, false, false, false, 0));
    EXPECT_EQ(Claim::Held, round(false, false, true, false, false, 0));  // no mutex at all: run
    EXPECT_EQ(Claim::HandedOver, round(false, false, false, true, false, 100));
    EXPECT_EQ(Claim::HandedOver, round(false, true, false, true, false, 100));  // an elevated copy that lets it in
    EXPECT_EQ(Claim::Pending, round(false, false, false, false, false, 29999));
    EXPECT_EQ(Claim::GaveUp, round(false, false, false, false, false, 30000));
    // Run as administrator: told at once when its window refuses, else when
    // the wait for its window is over.
    EXPECT_EQ(Claim::Elevated, round(false, true, false, false, true, 0));
    EXPECT_EQ(Claim::Pending, round(false, true, false, false, false, 29999));
    EXPECT_EQ(Claim::Elevated, round(false, true, false, false, false, 30000));
}
