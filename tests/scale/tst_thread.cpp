#include "platform/Thread.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

// A body that hands `handOvers` calls to the UI thread, then idles at its pause point until
// stopped. The hand-overs record the thread they ran on.
class Worker : public tv::Thread {
public:
    explicit Worker(int handOvers, bool createSuspended = false)
        : tv::Thread(createSuspended)
        , m_handOvers(handOvers) {
        Start();
    }
    ~Worker() override { stopAndWait(); }

    std::atomic<int> handingOver{0}; // hand-overs asked for so far
    std::atomic<int> ranOnUi{0};
    std::atomic<int> ranElsewhere{0};
    std::atomic<bool> executed{false};
    std::atomic<int> turns{0};

protected:
    void Execute() override {
        executed = true;
        for (int i = 0; i < m_handOvers && !Terminated(); ++i) {
            ++handingOver;
            Synchronize([this] { ++(isUiThread() ? ranOnUi : ranElsewhere); });
        }
        while (pausePoint()) {
            ++turns;
            sleepFor(5);
        }
    }

private:
    int m_handOvers;
};

} // namespace

class TestThread : public QObject {
    Q_OBJECT
private slots:
    void waitForServesHandOvers();
    void createdSuspendedStartsOnResume();
    void terminateEndsSuspendedThreads_data();
    void terminateEndsSuspendedThreads();
    void destroyingRunningThread();
};

// WaitFor on the UI thread must run the hand-overs itself: no event loop runs meanwhile, and a
// worker blocked in Synchronize would otherwise never end.
void TestThread::waitForServesHandOvers() {
    Worker w(50);
    QTRY_VERIFY(w.ranOnUi > 0);
    w.Terminate();
    QVERIFY(w.WaitFor(5000));
    QCOMPARE(w.ranElsewhere.load(), 0);

    Worker blocked(1000);
    // Without an event loop the first hand-over cannot run: the worker blocks in it.
    QDeadlineTimer deadline(10000);
    while (blocked.handingOver == 0 && !deadline.hasExpired())
        QThread::usleep(200);
    QCOMPARE(blocked.handingOver.load(), 1);
    blocked.Terminate();
    QVERIFY(blocked.WaitFor(5000));
    QVERIFY(blocked.ranOnUi >= 1);
}

void TestThread::createdSuspendedStartsOnResume() {
    Worker w(0, true);
    QThread::msleep(100);
    QVERIFY(!w.executed);
    w.Resume();
    QTRY_VERIFY(w.turns > 0);
}

void TestThread::terminateEndsSuspendedThreads_data() {
    QTest::addColumn<bool>("createSuspended");
    QTest::addColumn<bool>("executes");
    QTest::newRow("paused while running") << false << true;
    QTest::newRow("created suspended, never started") << true << false;
}

void TestThread::terminateEndsSuspendedThreads() {
    QFETCH(bool, createSuspended);
    QFETCH(bool, executes);
    Worker w(0, createSuspended);
    if (!createSuspended) {
        QTRY_VERIFY(w.turns > 0);
        w.Suspend();
        // At most the turn under way when asked finishes; then it waits.
        const int turns = w.turns;
        QThread::msleep(100);
        QVERIFY(w.turns <= turns + 1);
    }
    QElapsedTimer timer;
    timer.start();
    w.Terminate();
    QVERIFY(w.WaitFor(5000));
    QVERIFY(timer.elapsed() < 3000);
    QCOMPARE(w.executed.load(), executes);
}

// Deleting a thread object whose body still runs (even blocked in a hand-over) must stop it
// rather than abort the process.
void TestThread::destroyingRunningThread() {
    auto* idle = new Worker(0);
    QTRY_VERIFY(idle->turns > 0);
    delete idle;

    auto* handingOver = new Worker(1000000);
    QTRY_VERIFY(handingOver->ranOnUi > 0);
    delete handingOver;
}

QTEST_GUILESS_MAIN(TestThread)
#include "tst_thread.moc"
