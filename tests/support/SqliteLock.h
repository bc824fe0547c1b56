#pragma once

// Another process on an SQLite file: the sqlite3 command-line shell holding a lock for a
// while, or running one statement. Lets tests meet the locks and schema changes that the
// order-management system or a second program causes.

#include "platform/Database.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tv::test {

// Lock tests shorten the busy timeout so that a lock outlasting it costs a second, not eight.
// A short lock ends well inside the timeout; a long one outlasts it with room to spare on a
// loaded machine (the shell holds it for at least its time after held() turns true).
struct LockTimes {
    static constexpr int BusyTimeoutMs = 500;
    static constexpr int ShortHoldMs = 100;
    static constexpr int LongHoldMs = 1500;
};

// Sets the busy timeout of the connections opened during its life, then restores it.
class ScopedBusyTimeout {
public:
    explicit ScopedBusyTimeout(int ms = LockTimes::BusyTimeoutMs)
        : m_previous(Connection::busyTimeout()) {
        Connection::setBusyTimeout(ms);
    }
    ~ScopedBusyTimeout() { Connection::setBusyTimeout(m_previous); }
    ScopedBusyTimeout(const ScopedBusyTimeout&) = delete;
    ScopedBusyTimeout& operator=(const ScopedBusyTimeout&) = delete;

private:
    int m_previous;
};

class SqliteLock {
public:
    enum class Kind {
        Write, // "begin immediate": other writers wait, readers go on
        Read   // a read transaction: a writer of a rollback-journal file cannot commit
    };

    // Takes the lock and returns once it is held; the shell lets go after holdMs on its own,
    // so that the lock also ends while the test's thread is blocked in a statement.
    SqliteLock(const QString& fileName, Kind kind, int holdMs) {
        const QString flag = m_dir.filePath(QStringLiteral("held"));
        const QString begin = kind == Kind::Write
                                  ? QStringLiteral("begin immediate;\n")
                                  : QStringLiteral("begin;\nselect count(*) from sqlite_schema;\n");
        // The script goes in as a file: a QProcess without an event loop would keep written
        // bytes in its buffer.
        const QString script = m_dir.filePath(QStringLiteral("script.sql"));
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write((begin + QStringLiteral(".shell touch '%1'\n.shell sleep %2\ncommit;\n.quit\n")
                                .arg(flag)
                                .arg(holdMs / 1000.0))
                       .toUtf8());
        file.close();
        m_shell.setProgram(QStringLiteral("sqlite3"));
        m_shell.setArguments({QStringLiteral("-batch"), fileName});
        m_shell.setProcessChannelMode(QProcess::MergedChannels);
        m_shell.setStandardInputFile(script);
        m_shell.start();
        m_shell.waitForStarted();
        QDeadlineTimer deadline(30000);
        while (!QFileInfo::exists(flag) && !deadline.hasExpired() && !m_shell.waitForFinished(10))
            ;
        m_held = QFileInfo::exists(flag);
    }
    ~SqliteLock() { release(); }

    bool held() const { return m_held; }
    // Waits until the shell has let go.
    void release() {
        if (m_shell.state() != QProcess::NotRunning && !m_shell.waitForFinished(60000)) {
            m_shell.kill();
            m_shell.waitForFinished();
        }
    }

private:
    QTemporaryDir m_dir;
    QProcess m_shell;
    bool m_held = false;
};

// Runs one statement on the file from another process; true when the shell succeeded.
inline bool runInOtherProcess(const QString& file, const QString& sql) {
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-batch"), QStringLiteral("-bail"), QStringLiteral("-cmd"),
                 QStringLiteral(".timeout 10000"), file, sql});
    return shell.waitForFinished(60000) && shell.exitStatus() == QProcess::NormalExit &&
           shell.exitCode() == 0;
}

} // namespace tv::test
