#include "common/sound.h"

#include <mmsystem.h>

#include <string>
#include <vector>

#include "common/sound_lookup.h"
#include "common/system_dlls.h"

PlaySoundFunction g_playSound = DeferredPlaySoundW;

namespace {

// Asynchronous and once (no SND_LOOP); without SND_NOSTOP, so it ends the
// sound playing; without SND_NODEFAULT, so a file that cannot be played
// gives the default sound.
constexpr DWORD kPlayFlags = SND_FILENAME | SND_ASYNC;
static_assert(kPlayFlags == 0x00020001, "file name, asynchronous");

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// As PlaySound looks: the name as given (from the current folder), then the
// search path.
bool FoundBySearch(const std::wstring& name) {
    if (IsFile(name)) return true;
    wchar_t found[MAX_PATH];
    return SearchPathW(nullptr, name.c_str(), nullptr, MAX_PATH, found, nullptr) != 0;
}

std::wstring ShortPath(const std::wstring& path) {
    const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), needed);
    return length != 0 && length < needed ? std::wstring(buffer.data(), length) : std::wstring();
}

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

}  // namespace

void PlaySoundFile(const wchar_t* path) {
    const SoundFiles files{FoundBySearch, IsFile, ShortPath};
    const std::wstring chosen = SoundFileToPlay(path != nullptr ? path : L"", WindowsFolder(), files);
    g_playSound(chosen.c_str(), nullptr, kPlayFlags);
}

void StopSound() { g_playSound(nullptr, nullptr, kPlayFlags); }
