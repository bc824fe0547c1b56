#include "support/PtyPair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tv::test {

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

PtyPair::PtyPair()
    : m_folder(m_dir.path() + QStringLiteral("/dosdevices")) {
    QDir().mkpath(m_folder);
    plugIn();
}

PtyPair::~PtyPair() {
    kill();
}

bool PtyPair::plugIn() {
    kill();
    const QString feed = m_dir.path() + QStringLiteral("/feed");
    const QString port = m_folder + QStringLiteral("/com1");
    m_socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + port,
                                            QStringLiteral("pty,raw,echo=0,link=") + feed});
    QDeadlineTimer deadline(20000);
    while (!(QFileInfo::exists(feed) && QFileInfo::exists(port)) && !deadline.hasExpired())
        QTest::qWait(20);
    m_fd = ::open(QFile::encodeName(feed).constData(), O_WRONLY | O_NOCTTY);
    return m_fd >= 0;
}

void PtyPair::write(const QByteArray& bytes) {
    if (m_fd >= 0)
        (void)::write(m_fd, bytes.constData(), size_t(bytes.size()));
}

QByteArray PtyPair::reading(const char* kg) {
    return QByteArray("ST,GS,+  ") + kg + "kg\r\n";
}

bool PtyPair::sendUntil(const QByteArray& bytes, const std::function<bool()>& done, int timeoutMs,
                        int intervalMs) {
    QElapsedTimer timer;
    timer.start();
    do {
        write(bytes);
        if (runUntil(done, intervalMs))
            return true;
    } while (timer.elapsed() < timeoutMs);
    return false;
}

void PtyPair::kill() {
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.kill();
        m_socat.waitForFinished();
    }
    // A killed socat leaves its links behind, pointing at pseudo-terminal names the system hands
    // out again: another test's scale could be written through them. The links go with the device.
    QFile::remove(m_dir.path() + QStringLiteral("/feed"));
    QFile::remove(m_folder + QStringLiteral("/com1"));
    for (int* fd : {&m_fd, &m_watch}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool PtyPair::watchPort() {
    if (m_watch < 0)
        m_watch = ::open(QFile::encodeName(m_folder + QStringLiteral("/com1")).constData(),
                         O_RDONLY | O_NOCTTY | O_NONBLOCK);
    return m_watch >= 0;
}

int PtyPair::queuedAtPort() const {
    int queued = 0;
    if (m_watch < 0 || ::ioctl(m_watch, FIONREAD, &queued) != 0)
        return -1;
    return queued;
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
