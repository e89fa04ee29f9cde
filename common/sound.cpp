#include "common/sound.h"

#include <mmsystem.h>

#include "common/system_dlls.h"

PlaySoundFunction g_playSound = DeferredPlaySoundW;

namespace {

// Asynchronous and once (no SND_LOOP); without SND_NOSTOP, so it ends the
// sound playing; without SND_NODEFAULT, so a file that cannot be played
// gives the default sound.
constexpr DWORD kPlayFlags = SND_FILENAME | SND_ASYNC;
static_assert(kPlayFlags == 0x00020001, "file name, asynchronous");

}  // namespace

void PlaySoundFile(const wchar_t* path) { g_playSound(path, nullptr, kPlayFlags); }

void StopSound() { g_playSound(nullptr, nullptr, kPlayFlags); }
