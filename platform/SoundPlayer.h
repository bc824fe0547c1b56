#pragma once

#include <QString>

namespace tv {

// One player for the sound cues: a new cue cuts off the one still playing, and play() never
// waits. File names are taken relative to the working directory.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& fileName) = 0;
};

// The program-wide player; the GUI installs the real one, tests a recorder.
SoundPlayer& soundPlayer();
void setSoundPlayer(SoundPlayer* player);

} // namespace tv
