// Which file a sound name plays, on a made-up disk.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/sound_lookup.h"

namespace {

// Names the system's search finds, files, short names; and how often the disk was asked.
struct FakeDisk {
    std::set<std::wstring> searchable, files;
    std::map<std::wstring, std::wstring> shortNames;
    int asked = 0;
    std::wstring Play(const std::wstring& name, const std::wstring& windows = L"C:\\Windows") {
        return SoundFileToPlay(name, windows, {[this](const std::wstring& n) { return ++asked, searchable.count(n) > 0; },
                                               [this](const std::wstring& p) { return ++asked, files.count(p) > 0; },
                                               [this](const std::wstring& p) { return ++asked, shortNames[p]; }});
    }
};

}  // namespace

TEST(SoundLookup, OnlyABareNameTheSearchMissesIsPlayedFromTheMediaFolder) {
    const std::wstring chimes = L"C:\\Windows\\Media\\chimes.wav";
    FakeDisk disk{{}, {chimes, L"D:\\Media\\chimes.wav"}, {}, 0};
    EXPECT_EQ(chimes, disk.Play(L"chimes.wav"));
    EXPECT_EQ(chimes, disk.Play(L"chimes.wav", L"C:\\Windows\\"));
    EXPECT_EQ(L"D:\\Media\\chimes.wav", disk.Play(L"chimes.wav", L"D:\\"));
    EXPECT_EQ(L"chimes.wav", disk.Play(L"chimes.wav", L""));  // no Windows folder to be had
    EXPECT_EQ(L"ding.wav", disk.Play(L"ding.wav"));           // found nowhere: the default sound
    disk.searchable = {L"chimes.wav"};                        // beside velmora.exe, say
    EXPECT_EQ(L"chimes.wav", disk.Play(L"chimes.wav"));
    disk.asked = 0;
    for (const wchar_t* name : {L"a\\chimes.wav", L"a/chimes.wav", L"C:chimes.wav", L"\\\\s\\h\\chimes.wav", L""}) {
        EXPECT_EQ(name, disk.Play(name));
    }
    EXPECT_EQ(0, disk.asked) << "a name with a folder or drive was looked up";
}

TEST(SoundLookup, APathLongerThanPlaySoundTakesGoesByItsShortName) {
    const std::wstring fits = L"C:\\" + std::wstring(248, L'f') + L".wav", tooLong = L"C:\\f" + fits.substr(3);
    ASSERT_EQ(255u, fits.size());
    FakeDisk disk{{}, {}, {{fits, L"C:\\FFFFFF~1.WAV"}, {tooLong, L"C:\\FFFFFF~2.WAV"}}, 0};
    EXPECT_EQ(fits, disk.Play(fits));
    EXPECT_EQ(L"C:\\FFFFFF~2.WAV", disk.Play(tooLong));
    disk.shortNames[tooLong] = std::wstring(256, L'F');  // still too long
    EXPECT_EQ(tooLong, disk.Play(tooLong));
    disk.shortNames[tooLong] = L"";  // the volume keeps no short names
    EXPECT_EQ(tooLong, disk.Play(tooLong));
    // A Media file whose full path grows too long.
    const std::wstring windows = L"C:\\" + std::wstring(240, L'w'), media = windows + L"\\Media\\chimes.wav";
    disk.files = {media};
    disk.shortNames[media] = L"C:\\WWWWWW~1\\Media\\chimes.wav";
    EXPECT_EQ(L"C:\\WWWWWW~1\\Media\\chimes.wav", disk.Play(L"chimes.wav", windows));
}
