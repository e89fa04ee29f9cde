// Which file velmora hands to the system's sound playback for an alarm's
// sound. Portable: no platform headers, so the decision is tested natively
// too; sound.cpp asks the platform what exists.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// What the platform answers about files while a sound is looked up.
struct SoundFiles {
    // True when the system's own search for a sound finds name: the name as
    // given, then the search path (the program's folder, the system folders,
    // the Windows folder, PATH).
    std::function<bool(const std::wstring& name)> foundBySearch;
    // True when a file (not a folder) exists at this full path.
    std::function<bool(const std::wstring& path)> isFile;
    // The short (8.3) form of path, or empty when there is none to be had.
    std::function<std::wstring(const std::wstring& path)> shortPath;
};

// The most characters PlaySound takes in a file name.
constexpr std::size_t kPlayablePathLength = 255;

// True when name is a file name alone: no folder ('\\' or '/') and no drive.
bool IsBareFileName(const std::wstring& name);

// The name to play for the sound name stored in an alarm. A bare name that
// the system's search does not find, but that lies in the Media folder of
// windowsFolder (where Windows keeps its own sounds, chimes.wav among them),
// is played from there by its full path; every other name as it is. A result
// longer than PlaySound takes is given by its short name when it has one.
std::wstring SoundFileToPlay(const std::wstring& name, const std::wstring& windowsFolder, const SoundFiles& files);
