#include "common/sound_lookup.h"

namespace {

// The Windows folder's Media folder, with its closing separator.
std::wstring MediaFolder(const std::wstring& windowsFolder) {
    std::wstring folder = windowsFolder;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + L"Media\\";
}

}  // namespace

bool IsBareFileName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

std::wstring SoundFileToPlay(const std::wstring& name, const std::wstring& windowsFolder, const SoundFiles& files) {
    std::wstring chosen = name;
    // Windows' own search passes over its Media folder; a name it finds
    // (a chimes.wav beside velmora.exe) keeps winning, and a name found
    // nowhere keeps giving the default sound.
    if (IsBareFileName(name) && !windowsFolder.empty() && !files.foundBySearch(name)) {
        const std::wstring media = MediaFolder(windowsFolder) + name;
        if (files.isFile(media)) chosen = media;
    }
    if (chosen.size() > kPlayablePathLength) {
        const std::wstring shortened = files.shortPath(chosen);
        if (!shortened.empty() && shortened.size() <= kPlayablePathLength) chosen = shortened;
    }
    return chosen;
}
