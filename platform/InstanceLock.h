#pragma once

#include <QString>

namespace tv {

// One copy of the program at a time: an exclusive lock on "<name>.lock" in the user's runtime
// folder, held for the life of the process and released by the kernel when it dies.
class InstanceLock {
public:
    enum class Status {
        Acquired,
        HeldElsewhere, // another process holds the lock
        Unavailable,   // the file could not be created or locked; reason() says why
    };

    // folder: where the lock file lives; empty for the user's runtime folder.
    explicit InstanceLock(const QString& name, const QString& folder = QString());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Status status() const { return m_status; }
    bool acquired() const { return m_status == Status::Acquired; }
    const QString& path() const { return m_path; }
    // The system's text for an unavailable lock.
    const QString& reason() const { return m_reason; }
    // What the user is told when the lock is unavailable and the program goes on without it.
    QString unavailableMessage() const;

private:
    QString m_path;
    QString m_reason;
    Status m_status = Status::Unavailable;
    int m_fd = -1;
};

} // namespace tv
