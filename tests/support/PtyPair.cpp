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
    const QString feed = m_dir.path() + QStringLiteral("/feed");
    m_socat.start(QStringLiteral("socat"),
                  {QStringLiteral("pty,raw,echo=0,link=") + m_folder + QStringLiteral("/com1"),
                   QStringLiteral("pty,raw,echo=0,link=") + feed});
    QDeadlineTimer deadline(10000);
    while (!(QFileInfo::exists(feed) && QFileInfo::exists(m_folder + QStringLiteral("/com1"))) &&
           !deadline.hasExpired())
        QThread::msleep(20);
    m_fd = ::open(QFile::encodeName(feed).constData(), O_WRONLY | O_NOCTTY);
}

PtyPair::~PtyPair() {
    if (m_fd >= 0)
        ::close(m_fd);
    kill();
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

} // namespace tv::test
