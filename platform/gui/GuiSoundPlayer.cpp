#include "platform/gui/GuiSoundPlayer.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace tv {

GuiSoundPlayer::GuiSoundPlayer(QObject* parent)
    : QObject(parent)
    , m_effect(new QSoundEffect(this)) {
    connect(m_effect, &QSoundEffect::statusChanged, this, [this] {
        if (m_effect->status() == QSoundEffect::Error)
            QApplication::beep();
    });
}

void GuiSoundPlayer::play(const QString& fileName) {
    m_effect->stop();
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable()) {
        QApplication::beep();
        return;
    }
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (m_effect->source() != url)
        m_effect->setSource(url);
    m_effect->play();
}

} // namespace tv
