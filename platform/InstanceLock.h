#pragma once

#include <QString>

namespace tv {

// One copy of the program at a time: an exclusive lock on "<name>.lock" in the user's runtime
// folder, held for the life of the process and released by the kernel when it dies.
class InstanceLock {
public:
    explicit InstanceLock(const QString& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another process holds the lock.
    bool acquired() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace tv
