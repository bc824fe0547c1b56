#include "platform/Messages.h"
#include "scale/ComThd.h"
#include "scale/ScaleDecoder.h"
#include "support/HistoryTarget.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingScaleEvents.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// The shared socat pair, with the reader's device folder pointed at it for the test's length.
class PtyPair : public tv::test::PtyPair {
public:
    PtyPair() { TComThread::setDeviceFolder(folder()); }
    ~PtyPair() { TComThread::setDeviceFolder(QString()); }
};

// Ends a reader the test is done with: a byte the decoder ignores wakes its wait for data at
// once, rather than at the end of the wait's 500 ms bound.
struct StopReader {
    tv::test::PtyPair* pty = nullptr;
    void operator()(TComThread* r) const {
        r->Terminate();
        if (pty)
            pty->write("x");
        delete r;
    }
};
using Reader = std::unique_ptr<TComThread, StopReader>;

QString line(int grams) {
    return QStringLiteral("ST,GS,+%1.%2kg\r\n")
        .arg(grams / 1000, 3)
        .arg(grams % 1000, 3, 10, QLatin1Char('0'));
}

QString weight(int grams) {
    return QStringLiteral("%1.%2").arg(grams / 1000).arg(grams % 1000, 3, 10, QLatin1Char('0'));
}

constexpr int Slack = 10000;

using tv::test::runUntil;

} // namespace

class TestComThread : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void portDevice_data();
    void portDevice();
    void burstInArrivalOrder();
    void bytesBeforeRunDiscarded();
    void terminateWithoutData();
    void unusableLineSettings_data();
    void unusableLineSettings();
    void missingPortThenValidPort_data();
    void missingPortThenValidPort();
    void portHeldExclusively();
    void suspendAndResume();
    void lineCarriesOverToNextReader();
    void deviceVanishesAndComesBack();
    void repeatedUnplugLeaksNothing();
    void stopWhileTheDeviceIsAway();

private:
    Reader reader(tv::TextTarget* target, int portNo = 1, bool createSuspended = false) {
        return Reader(
            new TComThread(target, 0, portNo, 9600, 'N', 8, 1, createSuspended, &m_events),
            StopReader{m_pty.get()});
    }
    // Sends carriage returns until the reader shows one: from then on it has purged its port and
    // decodes every byte written. A carriage return shows the line gathered so far (echo) and
    // changes nothing, so each one shown must show exactly that. The history is then cleared;
    // carriage returns still on their way show the echo ahead of anything written later.
    bool listening(const QString& echo = QString()) {
        m_echo = echo;
        if (!m_pty->sendUntil(
                "\r", [&] { return !m_target->shown.isEmpty(); }, Slack, 100)) {
            qWarning("the reader showed nothing");
            return false;
        }
        for (const QString& shown : std::as_const(m_target->shown)) {
            if (shown != echo) {
                qWarning() << "shown before the data:" << m_target->shown;
                return false;
            }
        }
        m_target->shown.clear();
        return true;
    }
    // What the reader showed of the data written after listening().
    QStringList data() const {
        QStringList shown = m_target->shown;
        while (!shown.isEmpty() && shown.first() == m_echo)
            shown.removeFirst();
        return shown;
    }
    bool shows(const QStringList& expected) {
        return runUntil([&] { return data() == expected; }, Slack);
    }

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<tv::ScopedRecordingBoxes> m_boxes;
    std::unique_ptr<HistoryTarget> m_target;
    QString m_echo;
    tv::RecordingScaleEvents m_events;
};

// Every test gets its own scale line, box recorder and weight field.
void TestComThread::init() {
    m_pty = std::make_unique<PtyPair>();
    m_boxes = std::make_unique<tv::ScopedRecordingBoxes>();
    m_target = std::make_unique<HistoryTarget>();
    m_events.lost = 0;
    QVERIFY(m_pty->ready());
}

void TestComThread::cleanup() {
    TComThread::setReopenIntervalMs(-1);
    m_target.reset();
    m_boxes.reset();
    m_pty.reset();
}

void TestComThread::portDevice_data() {
    QTest::addColumn<int>("portNo");
    QTest::addColumn<QString>("expected"); // "@" stands for the dosdevices folder
    QTest::newRow("link present") << 2 << "@/com2";
    QTest::newRow("link pointing nowhere") << 4 << "@/com4";
    QTest::newRow("no link: serial device") << 3 << "/dev/ttyS2";
    QTest::newRow("COM0 names no device") << 0 << "";
    QTest::newRow("negative port") << -1 << "";
}

void TestComThread::portDevice() {
    QFETCH(int, portNo);
    QFETCH(QString, expected);
    const QString folder = m_pty->folder();
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), folder + "/com2"));
    QVERIFY(QFile::link(folder + "/missing", folder + "/com4"));
    QCOMPARE(TComThread::portDevice(portNo), expected.replace("@", folder));
}

void TestComThread::burstInArrivalOrder() {
    auto r = reader(m_target.get());
    QByteArray burst;
    QStringList expected;
    for (int g = 1; g <= 200; ++g) {
        burst += line(g * 37).toLatin1();
        expected << weight(g * 37);
    }
    QVERIFY(listening());
    m_pty->write(burst);
    QVERIFY(shows(expected));
    QVERIFY(m_boxes->shown().isEmpty());
}

void TestComThread::bytesBeforeRunDiscarded() {
    QVERIFY(m_pty->watchPort());
    auto r = reader(m_target.get(), 1, true);
    const QByteArray early = line(9999).toLatin1();
    m_pty->write(early);
    // socat has passed it on to the reader's port
    QVERIFY(runUntil([&] { return m_pty->queuedAtPort() >= early.size(); }, Slack));
    r->Resume();
    QVERIFY(listening());
    m_pty->write(line(1235).toLatin1());
    QVERIFY(shows({"1.235"}));
}

void TestComThread::terminateWithoutData() {
    auto r = reader(m_target.get());
    QVERIFY(listening()); // running and waiting on a quiet port
    QElapsedTimer timer;
    timer.start();
    r->Terminate();
    QVERIFY(r->WaitFor(Slack));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_boxes->shown().isEmpty());
    QCOMPARE(m_events.lost.load(), 1); // the end of a reader is reported too
}

void TestComThread::unusableLineSettings_data() {
    QTest::addColumn<char>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("unknown parity letter") << 'X' << 8 << 1;
    QTest::newRow("nine data bits") << 'N' << 9 << 1;
    QTest::newRow("four data bits") << 'N' << 4 << 1;
    QTest::newRow("three stop bits") << 'N' << 8 << 3;
    QTest::newRow("no stop bit") << 'e' << 8 << 0;
}

// Settings the port cannot take are reported as the failed build of the line settings, once.
void TestComThread::unusableLineSettings() {
    QFETCH(char, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    TComThread r(m_target.get(), 0, 1, 9600, parity, dataBits, stopBits, false, &m_events);
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().first().kind, tv::RecordingMessageBoxes::Kind::ApplicationError);
    QVERIFY2(m_boxes->texts().first().startsWith("WARNING:  BuildCommDCB() Failed"),
             qPrintable(m_boxes->texts().first()));
    QVERIFY(m_boxes->texts().first().endsWith("Port: 1\n"));
}

void TestComThread::missingPortThenValidPort_data() {
    QTest::addColumn<int>("portNo");
    QTest::addColumn<QString>("message");
    QTest::newRow("COM0") << 0 << "COM0:无法连接，请检查!";
    QTest::newRow("link to a missing device") << 7 << "COM7:无法连接，请检查!";
}

void TestComThread::missingPortThenValidPort() {
    QFETCH(int, portNo);
    QFETCH(QString, message);
    QVERIFY(QFile::link(m_pty->folder() + "/missing", m_pty->folder() + "/com7"));

    auto dead = reader(m_target.get(), portNo);
    QVERIFY(dead->IsTerminated());
    QVERIFY(dead->WaitFor(Slack));
    QCOMPARE(m_boxes->texts(), QStringList{message});
    QCOMPARE(m_boxes->shown().first().kind, tv::RecordingMessageBoxes::Kind::Information);
    dead.reset();

    auto live = reader(m_target.get());
    QVERIFY(listening());
    m_pty->write(line(1235).toLatin1());
    QVERIFY(shows({"1.235"}));
    QCOMPARE(m_boxes->texts(), QStringList{message});
}

void TestComThread::portHeldExclusively() {
    auto first = reader(m_target.get());
    QSerialPort other(TComThread::portDevice(1));
    QVERIFY(!other.open(QIODevice::ReadWrite));
    HistoryTarget secondTarget;
    auto second = reader(&secondTarget);
    QVERIFY(second->IsTerminated());
    QCOMPARE(m_boxes->texts(), QStringList{"COM1:无法连接，请检查!"});

    first->Terminate();
    QVERIFY(first->WaitFor(Slack));
    QVERIFY(other.open(QIODevice::ReadWrite)); // released when the reader ended
}

void TestComThread::suspendAndResume() {
    auto r = reader(m_target.get());
    QVERIFY(listening());
    m_pty->write(line(1000).toLatin1());
    QVERIFY(shows({"1.000"}));

    r->Suspend();
    m_pty->write(line(2000).toLatin1());
    QTest::qWait(PtyPair::QuietMs);
    QCOMPARE(data(), QStringList{"1.000"});
    r->Resume();
    QVERIFY(shows({"1.000", "2.000"}));

    r->Suspend();
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    r->Terminate();
    QVERIFY(r->WaitFor(Slack));
    QVERIFY(timer.elapsed() < 3000);
}

// A change of reader in the middle of a line finishes that line in the new reader.
void TestComThread::lineCarriesOverToNextReader() {
    auto r = reader(m_target.get());
    QVERIFY(listening());
    m_pty->write("\n  1.2");
    QVERIFY(runUntil([&] { return tv::scaleDecoderState().ScaleText == QString("1.2"); }, Slack));
    r->Terminate();
    QVERIFY(r->WaitFor(Slack));
    r.reset();

    r = reader(m_target.get());
    QVERIFY(listening("1.2"));
    m_pty->write("35kg\r\n");
    QVERIFY(shows({"1.235"}));
}

// The scale's end going away: one error box with the port's own text and the loss reported at
// once; the reader looks for the device quietly and reads again, without a click, once it is back.
void TestComThread::deviceVanishesAndComesBack() {
    auto r = reader(m_target.get());
    QVERIFY(listening());
    m_pty->write(line(1235).toLatin1());
    QVERIFY(shows({"1.235"}));
    QVERIFY(runUntil([&] { return r->lastReading().present; }));
    const tv::ScaleReading before = r->lastReading();
    QCOMPARE(before.grams, 1235);
    QVERIFY(before.stable);
    QVERIFY(before.hasWeight);

    QElapsedTimer timer;
    timer.start();
    m_pty->unplug();
    QVERIFY(runUntil([&] { return m_events.lost == 1; }));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!r->lastReading().present);
    QVERIFY(!r->IsTerminated());
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().first().kind, tv::RecordingMessageBoxes::Kind::ApplicationError);
    const QString text = m_boxes->shown().first().text;
    static const QRegularExpression report(
        QStringLiteral("^WARNING:  (WaitCommEvent|ReadFile)\\(\\) Failed with the following "
                       "error: \n(.+)\nPort: 1\n$"));
    const QRegularExpressionMatch match = report.match(text);
    QVERIFY2(match.hasMatch(), qPrintable(text));
    // The system says why: the device went away, not "No error" or a shrug.
    QCOMPARE(match.captured(2), QString::fromLocal8Bit(std::strerror(EIO)));

    // Reopening fails quietly while the device is away: still one box.
    QTest::qWait(TComThread::ReopenIntervalMs + 500);
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_events.lost.load(), 1);

    QVERIFY(m_pty->plugIn());
    timer.restart();
    QVERIFY2(
        runUntil([&] {
            m_pty->write(line(2500).toLatin1());
            return m_target->text() == QStringLiteral("2.500");
        }),
        qPrintable(m_target->shown.join(u'|').right(200) + u' ' + m_boxes->texts().join(u'|')));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(data().first(), QStringLiteral("1.235"));
    QCOMPARE(m_boxes->shown().size(), 1);
}

namespace {

int entries(const char* dir) {
    return int(QDir(QString::fromLatin1(dir))
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

} // namespace

// Pulling and pushing back the cable 20 times leaves no descriptor and no thread behind, and
// gives one box per pull.
void TestComThread::repeatedUnplugLeaksNothing() {
    TComThread::setReopenIntervalMs(100);
    auto r = reader(m_target.get());
    const auto cycle = [&](int n) {
        m_pty->unplug();
        if (!runUntil([&] { return m_events.lost == n; }))
            return false;
        if (!m_pty->plugIn())
            return false;
        const QString expected = weight(1000 + n);
        return runUntil([&] {
            m_pty->write(line(1000 + n).toLatin1());
            return m_target->text() == expected;
        });
    };
    QVERIFY(cycle(1));
    const int fds = entries("/proc/self/fd");
    const int threads = entries("/proc/self/task");
    for (int n = 2; n <= 20; ++n)
        QVERIFY2(cycle(n), qPrintable(QString::number(n)));
    TComThread::setReopenIntervalMs(-1);
    QCOMPARE(entries("/proc/self/fd"), fds);
    QCOMPARE(entries("/proc/self/task"), threads);
    QCOMPARE(m_boxes->shown().size(), 20);
    QVERIFY(!r->IsTerminated());
}

// A stop request while the device is away ends the reader at once, and its end is reported.
void TestComThread::stopWhileTheDeviceIsAway() {
    auto r = reader(m_target.get());
    QVERIFY(listening());
    m_pty->unplug();
    QVERIFY(runUntil([&] { return m_events.lost == 1; }));
    QElapsedTimer timer;
    timer.start();
    r->Terminate();
    QVERIFY(r->WaitFor(Slack));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_events.lost.load(), 2);
}

QTEST_GUILESS_MAIN(TestComThread)
#include "tst_comthread.moc"
