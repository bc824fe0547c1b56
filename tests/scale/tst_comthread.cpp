#include "platform/Messages.h"
#include "scale/ComThd.h"
#include "scale/ScaleDecoder.h"
#include "support/HistoryTarget.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

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
    void deviceVanishes();

private:
    Reader reader(tv::TextTarget* target, int portNo = 1, bool createSuspended = false) {
        return Reader(new TComThread(target, 0, portNo, 9600, 'N', 8, 1, createSuspended),
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
};

// Every test gets its own scale line, box recorder and weight field.
void TestComThread::init() {
    m_pty = std::make_unique<PtyPair>();
    m_boxes = std::make_unique<tv::ScopedRecordingBoxes>();
    m_target = std::make_unique<HistoryTarget>();
    QVERIFY(m_pty->ready());
}

void TestComThread::cleanup() {
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
    TComThread r(m_target.get(), 0, 1, 9600, parity, dataBits, stopBits, false);
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

// The scale's end going away: one error box, then the reader ends by itself.
void TestComThread::deviceVanishes() {
    auto r = reader(m_target.get());
    QVERIFY(listening());
    m_pty->write(line(1235).toLatin1());
    QVERIFY(shows({"1.235"}));

    m_pty->kill();
    QVERIFY(runUntil([&] { return r->Finished(); }, Slack));
    QVERIFY(r->IsTerminated());
    // Boxes are handed over synchronously: once the reader has ended, none can follow.
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().first().kind, tv::RecordingMessageBoxes::Kind::ApplicationError);
    const QString text = m_boxes->shown().first().text;
    QVERIFY2(text.startsWith("WARNING:  WaitCommEvent() Failed with the following error: \n"),
             qPrintable(text));
    QVERIFY2(text.endsWith("\nPort: 1\n"), qPrintable(text));
    QCOMPARE(data(), QStringList{"1.235"});
}

QTEST_GUILESS_MAIN(TestComThread)
#include "tst_comthread.moc"
