// Audible signals. They sound only with the "Sound=" option on; the window
// road installs a player, tests install a recorder.
#pragma once

#include <functional>

using SoundPlayer = std::function<void(int hertz, int milliseconds)>;

// Installs the player of tones; an empty one silences the program.
void SetSoundPlayer(SoundPlayer player);

// One tone, when sounds are on.
void PlayTone(int hertz, int milliseconds);

// 500 Hz for 100 ms, then 100 Hz for 50 ms: after a stop command.
void BeepStop();
// 2400 Hz for 100 ms, then 1200 Hz for 50 ms: after the program data is saved.
void BeepDone();
