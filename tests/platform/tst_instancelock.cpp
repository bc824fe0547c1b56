#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using tv::InstanceLock;

class TestInstanceLock : public QObject {
    Q_OBJECT
private slots:
    void status_data();
    void status();
    void releasedWhenTheHolderEnds();
};

void TestInstanceLock::status_data() {
    QTest::addColumn<QString>("setup");  // what stands in the folder before the lock is taken
    QTest::addColumn<QString>("folder"); // the lock's folder below the temporary one
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error"); // the reason's errno, 0 for none

    QTest::newRow("free") << ""
                          << "run" << int(InstanceLock::Status::Acquired) << 0;
    QTest::newRow("runtime folder made when missing")
        << ""
        << "a/b/run" << int(InstanceLock::Status::Acquired) << 0;
    QTest::newRow("left over by a copy that died")
        << "stale file"
        << "run" << int(InstanceLock::Status::Acquired) << 0;
    QTest::newRow("held by another process")
        << "held"
        << "run" << int(InstanceLock::Status::HeldElsewhere) << 0;
    QTest::newRow("a folder of the lock's name")
        << "folder"
        << "run" << int(InstanceLock::Status::Unavailable) << EISDIR;
    QTest::newRow("no runtime folder: a file in its place")
        << "file as folder"
        << "run" << int(InstanceLock::Status::Unavailable) << ENOTDIR;
}

void TestInstanceLock::status() {
    QFETCH(QString, setup);
    QFETCH(QString, folder);
    QFETCH(int, status);
    QFETCH(int, error);

    QTemporaryDir dir;
    const QString lockFolder = dir.filePath(folder);
    const QString lockFile = lockFolder + QStringLiteral("/Dorsk.lock");
    QProcess holder;
    if (setup == QStringLiteral("stale file") || setup == QStringLiteral("held")) {
        QDir().mkpath(lockFolder);
        QFile f(lockFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    if (setup == QStringLiteral("held")) {
        // Another process, as a running copy would be: flock(1) holds it while sleep runs.
        holder.start(QStringLiteral("flock"),
                     {QStringLiteral("-n"), lockFile, QStringLiteral("sh"), QStringLiteral("-c"),
                      QStringLiteral("echo held; sleep 30")});
        QVERIFY(holder.waitForReadyRead(10000));
    } else if (setup == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(lockFile));
    } else if (setup == QStringLiteral("file as folder")) {
        QFile f(lockFolder);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    const InstanceLock lock(QStringLiteral("Dorsk"), lockFolder);
    QCOMPARE(int(lock.status()), status);
    QCOMPARE(lock.acquired(), status == int(InstanceLock::Status::Acquired));
    QCOMPARE(lock.path(), lockFile);
    if (error) {
        const QString reason = QString::fromLocal8Bit(std::strerror(error));
        QCOMPARE(lock.reason(), reason);
        QCOMPARE(lock.unavailableMessage(),
                 QStringLiteral("无法使用单实例锁文件 %1：%2\n本次运行不检查是否已有程序在运行。")
                     .arg(lockFile, reason));
    } else {
        QCOMPARE(lock.reason(), QString());
    }
    if (holder.state() != QProcess::NotRunning) {
        holder.kill();
        holder.waitForFinished();
    }
}

// The kernel releases the lock with its holder: the next copy gets it.
void TestInstanceLock::releasedWhenTheHolderEnds() {
    QTemporaryDir dir;
    {
        const InstanceLock first(QStringLiteral("Dorsk"), dir.path());
        QVERIFY(first.acquired());
        const InstanceLock second(QStringLiteral("Dorsk"), dir.path());
        QCOMPARE(second.status(), InstanceLock::Status::HeldElsewhere);
    }
    const InstanceLock again(QStringLiteral("Dorsk"), dir.path());
    QVERIFY(again.acquired());
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
