#include "platform/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tv {

namespace {

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

InstanceLock::InstanceLock(const QString& name, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    // A folder that cannot be made shows up as the open's failure below, with its reason.
    QDir().mkpath(dir);
    m_path = QDir(dir).filePath(name + QStringLiteral(".lock"));
    const QByteArray p = QFile::encodeName(m_path);
    const int fd = ::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_reason = systemText(errno);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            m_status = Status::HeldElsewhere;
        } else {
            m_reason = systemText(error);
        }
        return;
    }
    m_fd = fd;
    m_status = Status::Acquired;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InstanceLock::unavailableMessage() const {
    return QStringLiteral("无法使用单实例锁文件 %1：%2\n本次运行不检查是否已有程序在运行。")
        .arg(m_path, m_reason);
}

} // namespace tv
