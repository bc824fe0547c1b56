#include "support/PtyPair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

namespace tv::test {

PtyPair::PtyPair()
    : m_folder(m_dir.path() + QStringLiteral("/dosdevices")) {
    QDir().mkpath(m_folder);
    plugBack();
}

PtyPair::~PtyPair() {
    closeFeed();
    kill();
}

bool PtyPair::plugBack() {
    closeFeed();
    const QString feed = m_dir.path() + QStringLiteral("/feed");
    m_socat.start(QStringLiteral("socat"),
                  {QStringLiteral("pty,raw,echo=0,link=") + m_folder + QStringLiteral("/com1"),
                   QStringLiteral("pty,raw,echo=0,link=") + feed});
    QDeadlineTimer deadline(10000);
    while (!(QFileInfo::exists(feed) && QFileInfo::exists(m_folder + QStringLiteral("/com1"))) &&
           !deadline.hasExpired())
        QThread::msleep(5);
    m_fd = ::open(QFile::encodeName(feed).constData(), O_WRONLY | O_NOCTTY);
    return m_fd >= 0;
}

void PtyPair::write(const QByteArray& bytes) {
    if (m_fd >= 0)
        (void)::write(m_fd, bytes.constData(), size_t(bytes.size()));
}

void PtyPair::kill() {
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.kill();
        m_socat.waitForFinished();
    }
}

void PtyPair::unplug() {
    closeFeed();
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(10000))
            kill();
    }
}

void PtyPair::closeFeed() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace tv::test
