// The scale settings dialog and the reader it restarts, and manual weight entry pausing it.
#include "FormBench.h"
#include "app/ScaleStatus.h"
#include "config/dzcsz.h"
#include "platform/Messages.h"
#include "platform/gui/GuiDialogs.h"
#include "scale/ComThd.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tv;

namespace {

// Answers the scale settings dialog: optionally picks a port (as the user does), then OK or Cancel.
void answerScaleDialog(int pickPortIndex, bool ok) {
    setModalRunner([=](QDialog& d) {
        auto* dlg = static_cast<TDzcszDlg*>(&d);
        if (pickPortIndex >= 0) {
            dlg->ComboBox2->setCurrentIndex(pickPortIndex);
            emit dlg->ComboBox2->activated(pickPortIndex);
        }
        ok ? d.accept() : d.reject();
        return d.result();
    });
}

QByteArray line(const char* kg) {
    return test::PtyPair::reading(kg);
}

// Sends the reading as a scale does, again and again, until the field shows it: a line that
// arrives before a new reader's thread has started is discarded by its purge.
bool showsReading(test::PtyPair& pty, QLineEdit* field, const char* kg) {
    const QString expected = QString::fromLatin1(kg);
    return pty.sendUntil(line(kg), [&] { return field->text().endsWith(expected); });
}

} // namespace

class TestScaleSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<test::PtyPair> m_pty;

private slots:
    void init() {
        m_pty = std::make_unique<test::PtyPair>();
        QVERIFY(m_pty->ready());
        TComThread::setDeviceFolder(m_pty->folder());
    }
    void cleanup() {
        setModalRunner({});
        TComThread::setDeviceFolder(QString());
        m_pty.reset();
    }

    void okWithoutChangeRestartsOnTheSamePort() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start({}, true);
        form->createDialogs();
        QCOMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
        QVERIFY(showsReading(*m_pty, form->Edit2, "1.250"));

        answerScaleDialog(-1, true);
        form->BitBtn1->click();
        QVERIFY(form->scaleReader());
        QVERIFY(!form->scaleReader()->IsTerminated());
        const Record row = bench.settings();
        QCOMPARE(row.integer(QStringLiteral("Com")), 1);
        QCOMPARE(row.integer(QStringLiteral("ScaleType")), 0);
        // The old reader's end leaves no weight standing until the new reader decodes one.
        QCOMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
        QVERIFY(showsReading(*m_pty, form->Edit2, "2.000"));
        QVERIFY(boxes.texts().isEmpty());
    }

    void cancelKeepsThePickForTheNextOk() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start({}, true);
        form->createDialogs();
        TComThread* before = form->scaleReader();

        answerScaleDialog(2, false);
        form->BitBtn1->click();
        QCOMPARE(form->scaleReader(), before);
        QCOMPARE(bench.settings().integer(QStringLiteral("Com")), 1);
        QCOMPARE(form->DzcszDlg->ComboBox2->currentIndex(), 2);

        answerScaleDialog(-1, true);
        form->BitBtn1->click();
        QCOMPARE(bench.settings().integer(QStringLiteral("Com")), 3);
        QCOMPARE(form->comCopy(), 3);
        // No com3 in the device folder: the new reader reports its port and is dead.
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("COM3:无法连接，请检查!")});
        QVERIFY(form->scaleReader()->IsTerminated());
        QTRY_COMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
    }

    void storedPortZero() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        bench.setSettings(QStringLiteral("Com = 0"));
        auto form = bench.start({}, true);
        form->createDialogs();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("COM0:无法连接，请检查!")});
        QCOMPARE(form->DzcszDlg->ComboBox2->currentIndex(), -1);
        QCOMPARE(form->DzcszDlg->ComboBox1->currentIndex(), 0);

        answerScaleDialog(-1, true);
        form->BitBtn1->click();
        QCOMPARE(bench.settings().integer(QStringLiteral("Com")), 0);
        QCOMPARE(boxes.texts().size(), 2);
        QCOMPARE(boxes.texts().back(), QStringLiteral("COM0:无法连接，请检查!"));
    }

    void manualWeightPausesTheReaderAndRestartWhilePausedReturns() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start({}, true);
        form->createDialogs();
        QVERIFY(showsReading(*m_pty, form->Edit2, "1.250"));

        form->CheckBox1->click();
        QVERIFY(!form->Edit2->isReadOnly());
        QCOMPARE(form->Edit2->text(), QString());
        form->Edit2->setText(QStringLiteral("0.800"));
        m_pty->write(line("3.000"));
        QTest::qWait(test::PtyPair::QuietMs);
        QCOMPARE(form->Edit2->text(), QStringLiteral("0.800"));

        // A restart must end the paused reader rather than wait for it forever.
        answerScaleDialog(-1, true);
        QElapsedTimer timer;
        timer.start();
        form->BitBtn1->click();
        QVERIFY2(timer.elapsed() < 10000, "the restart waited for a paused reader");
        m_pty->write(line("3.500"));
        QTest::qWait(test::PtyPair::QuietMs);
        QCOMPARE(form->Edit2->text(), QStringLiteral("0.800"));

        form->CheckBox1->click();
        QVERIFY(form->Edit2->isReadOnly());
        QCOMPARE(form->Edit2->text(), QString());
        QVERIFY(showsReading(*m_pty, form->Edit2, "4.000"));
        QVERIFY(boxes.texts().isEmpty());
    }

    // The dot beside the weight field follows what the scale says: steady, swinging, silent.
    void indicatorFollowsTheScale() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start({}, true);
        form->createDialogs();
        QCOMPARE(form->WeightIndicator->state(), ScaleIndicator::State::NoReading);
        // A line every 100 ms, as a scale sends them.
        const auto showsWhileSending = [&](const QByteArray& line, ScaleIndicator::State state) {
            QElapsedTimer pace;
            return QTest::qWaitFor(
                [&] {
                    if (!pace.isValid() || pace.elapsed() >= 100) {
                        m_pty->write(line);
                        pace.start();
                    }
                    return form->WeightIndicator->state() == state;
                },
                20000);
        };
        QVERIFY(showsWhileSending("US,GS,+  1.250kg\r\n", ScaleIndicator::State::Unsteady));
        QVERIFY(showsWhileSending("ST,GS,+  1.250kg\r\n", ScaleIndicator::State::Steady));
        QTRY_COMPARE_WITH_TIMEOUT(form->WeightIndicator->state(), ScaleIndicator::State::NoReading,
                                  20000);
        QCOMPARE(form->Edit2->text(), QStringLiteral("1.250"));
    }
};

QTEST_MAIN(TestScaleSettings)
#include "tst_scalesettings_gui.moc"
