#pragma once

#include "platform/SoundPlayer.h"

#include <QObject>

class QSoundEffect;

namespace tv {

// Plays WAV cues through Qt Multimedia; a file that is missing or unreadable, or that the
// player reports as an error, gives the system's default beep instead.
class GuiSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit GuiSoundPlayer(QObject* parent = nullptr);
    void play(const QString& fileName) override;

private:
    QSoundEffect* m_effect;
};

} // namespace tv
