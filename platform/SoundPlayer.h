#pragma once

#include <QString>
#include <QStringList>

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

// Test double: remembers which cues it was given.
class RecordingSoundPlayer : public SoundPlayer {
public:
    void play(const QString& fileName) override { m_played.append(fileName); }
    const QStringList& played() const { return m_played; }
    void clear() { m_played.clear(); }

private:
    QStringList m_played;
};

} // namespace tv
