#pragma once

#include "platform/SoundPlayer.h"

#include <QStringList>

namespace tv {

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
