// The process's one sound channel, shared by the ringing alarm and the
// editor's PLAY and STOP: each new sound replaces the one playing.
#pragma once

#include <windows.h>

// Plays the WAV file at path once, in the background, and returns at once. A
// bare file name is looked up by the system, and then in the Windows folder's
// Media folder (sound_lookup.h); a file that cannot be played gives the
// system's default sound.
void PlaySoundFile(const wchar_t* path);

// Stops whatever the process plays.
void StopSound();

// The call both go through: PlaySoundW of winmm.dll, loaded on first use
// (DeferredPlaySoundW). Tests put a stand-in here to see what would be played.
using PlaySoundFunction = BOOL(WINAPI*)(LPCWSTR sound, HMODULE module, DWORD flags);
extern PlaySoundFunction g_playSound;
