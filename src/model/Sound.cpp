#include "model/Sound.h"

#include <mutex>

#include "model/Globals.h"

namespace {
std::mutex g_soundMutex;
SoundPlayer g_player;
}  // namespace

void SetSoundPlayer(SoundPlayer player) {
    std::lock_guard<std::mutex> lock(g_soundMutex);
    g_player = std::move(player);
}

void PlayTone(int hertz, int milliseconds) {
    if (!g_bSoundsOn) return;
    SoundPlayer player;
    {
        std::lock_guard<std::mutex> lock(g_soundMutex);
        player = g_player;
    }
    if (player) player(hertz, milliseconds);
}

void BeepStop() {
    PlayTone(500, 100);
    PlayTone(100, 50);
}

void BeepDone() {
    PlayTone(2400, 100);
    PlayTone(1200, 50);
}
