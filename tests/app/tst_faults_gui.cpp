// Faults met through the main window: another process locking either database while the
// operator scans or clicks an option, and the scale's device vanishing and coming back.
#include "FormBench.h"
#include "config/dzcsz.h"
#include "platform/Messages.h"
#include "platform/gui/GuiDialogs.h"
#include "platform/gui/GuiMessageBoxes.h"
#include "scale/ComThd.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxes.h"
#include "support/SqliteLock.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace tv;
using test::LockTimes;
using test::SqliteLock;

namespace {

void addOrder(test::FormBench& bench) {
    insertRow(bench.orders, QStringLiteral("df_Trade"),
              {{QStringLiteral("ID"), 1},
               {QStringLiteral("PostID"), QStringLiteral("YT1001")},
               {QStringLiteral("TradeStatus"), QStringLiteral("收款发货")},
               {QStringLiteral("bSnd"), 1},
               {QStringLiteral("sndStyle"), QStringLiteral("圆通速递")},
               {QStringLiteral("Province"), QStringLiteral("浙江省")},
               {QStringLiteral("weight"), 1200},
               {QStringLiteral("RcvValue"), 100},
               {QStringLiteral("goodsCost"), 80},
               {QStringLiteral("otherFee"), 0}});
}

QStringList rowsOf(Connection& c, const QString& table) {
    QStringList out;
    for (const Record& r : selectRows(c, QStringLiteral("select * from ") + ident(table))) {
        QStringList f;
        for (int i = 0; i < r.sqlRecord().count(); ++i)
            f.append(Record::textOf(r.sqlRecord().value(i)));
        out.append(f.join(u'|'));
    }
    return out;
}

} // namespace

class TestFaultsGui : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        setModalRunner({});
        TComThread::setDeviceFolder(QString());
    }

    void scanWhileTheOrderDatabaseIsLocked() {
        test::ScopedBusyTimeout busyTimeout;
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        addOrder(bench);
        auto form = bench.start();
        form->ComboBoxOpr->setCurrentText(QStringLiteral("张三"));
        form->Edit2->setText(QStringLiteral("1.250"));
        form->Edit1->setText(QStringLiteral("YT1001"));
        const QStringList before = rowsOf(bench.orders, QStringLiteral("df_Trade"));
        {
            SqliteLock lock(bench.ordersPath, SqliteLock::Kind::Write, LockTimes::LongHoldMs);
            QVERIFY(lock.held());
            form->Button1->click();
        }
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].kind, RecordingMessageBoxes::Kind::Error);
        QVERIFY2(boxes.texts()[0].contains(QStringLiteral("locked")), qPrintable(boxes.texts()[0]));
        QCOMPARE(form->Memo1->toPlainText(), QString());
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_Trade")), before);
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_TradeLog")), QStringList());
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_PostageCharge")), QStringList());

        // The window goes on: the next scan ships the order.
        form->Button1->click();
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY(form->Memo1->toPlainText().endsWith(QStringLiteral("差:0.050kg")));
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_TradeLog")).size(), 1);
    }

    void optionClickWhileTheConfigurationIsLocked() {
        test::ScopedBusyTimeout busyTimeout;
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start();
        const QStringList before = rowsOf(bench.config, QStringLiteral("pwd"));
        {
            SqliteLock lock(bench.folder + QStringLiteral("db.mdb"), SqliteLock::Kind::Write,
                            LockTimes::LongHoldMs);
            QVERIFY(lock.held());
            form->CheckBox5->click();
        }
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].kind, RecordingMessageBoxes::Kind::Error);
        QVERIFY2(boxes.texts()[0].contains(QStringLiteral("locked")), qPrintable(boxes.texts()[0]));
        QCOMPARE(rowsOf(bench.config, QStringLiteral("pwd")), before);

        // Later clicks are stored again.
        form->CheckBox6->click();
        form->CheckBox3->click();
        QCOMPARE(boxes.shown().size(), 1);
        const Record s = bench.settings();
        QCOMPARE(s.integer(QStringLiteral("check5")), 0);
        QCOMPARE(s.integer(QStringLiteral("check6")), 1);
        QCOMPARE(s.integer(QStringLiteral("check3")), 1);
    }

    // Pulled: one box with the system's text, the field says the scale is gone at once and a
    // scan writes nothing. Pushed back: readings come again without a click, a scan ships, and
    // a restart from the settings still works.
    void scaleDeviceVanishesAndComesBack() {
        ScopedRecordingBoxes boxes;
        test::PtyPair scale;
        QVERIFY(scale.ready());
        TComThread::setDeviceFolder(scale.folder());
        test::FormBench bench;
        addOrder(bench);
        auto form = bench.start({}, true);
        form->createDialogs();
        form->ComboBoxOpr->setCurrentText(QStringLiteral("张三"));
        const auto shows = [&](const char* kg) {
            return scale.sendUntil(test::PtyPair::reading(kg),
                                   [&] { return form->Edit2->text() == QLatin1String(kg); });
        };
        QVERIFY(shows("1.250"));

        QElapsedTimer timer;
        timer.start();
        scale.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(form->Edit2->text(), QStringLiteral("电子秤未连接"), 10000);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].kind, RecordingMessageBoxes::Kind::ApplicationError);
        QVERIFY2(boxes.texts()[0].contains(QString::fromLocal8Bit(std::strerror(EIO))),
                 qPrintable(boxes.texts()[0]));

        const QStringList before = rowsOf(bench.orders, QStringLiteral("df_Trade"));
        form->Edit1->setText(QStringLiteral("YT1001"));
        form->Button1->click();
        QCOMPARE(boxes.shown().size(), 2);
        QCOMPARE(boxes.shown()[1].kind, RecordingMessageBoxes::Kind::Error);
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_Trade")), before);
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_TradeLog")), QStringList());

        QVERIFY(scale.plugIn());
        timer.restart();
        QVERIFY(QTest::qWaitFor(
            [&] {
                scale.write(test::PtyPair::reading("1.250"));
                return form->Edit2->text() == QStringLiteral("1.250");
            },
            10000));
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        form->Edit1->setText(QStringLiteral("YT1001"));
        form->Button1->click();
        QVERIFY(form->Memo1->toPlainText().endsWith(QStringLiteral("差:0.050kg")));
        QCOMPARE(rowsOf(bench.orders, QStringLiteral("df_TradeLog")).size(), 1);
        QCOMPARE(boxes.shown().size(), 2);

        setModalRunner([](QDialog& d) {
            d.accept();
            return d.result();
        });
        form->BitBtn1->click();
        QVERIFY(form->scaleReader());
        QVERIFY(!form->scaleReader()->IsTerminated());
        QVERIFY(shows("2.500"));
        scale.write(test::PtyPair::reading("0.750"));
        QTRY_COMPARE_WITH_TIMEOUT(form->Edit2->text(), QStringLiteral("0.750"), 10000);
    }

    // The real error box stays up after a loss; neither a restart from the scale settings nor
    // the window's end waits for it.
    void restartWhileTheReadersBoxIsUp() {
        GuiMessageBoxes gui;
        setMessageBoxes(&gui);
        test::PtyPair scale;
        QVERIFY(scale.ready());
        TComThread::setDeviceFolder(scale.folder());
        test::FormBench bench;
        auto form = bench.start({}, true);
        form->createDialogs();
        QVERIFY(scale.sendUntil(test::PtyPair::reading("1.250"),
                                [&] { return form->Edit2->text() == QStringLiteral("1.250"); }));

        scale.unplug();
        const auto errorBox = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == QStringLiteral("Application Error"))
                    return w;
            return static_cast<QWidget*>(nullptr);
        };
        QTRY_VERIFY_WITH_TIMEOUT(errorBox(), 10000);
        // Back before the restart, so that the new reader finds the scale under its link.
        QVERIFY(scale.plugIn());

        setModalRunner([](QDialog& d) {
            d.accept();
            return d.result();
        });
        QElapsedTimer timer;
        timer.start();
        form->BitBtn1->click();
        QVERIFY2(timer.elapsed() < 10000, "the restart waited for the box");
        QVERIFY(errorBox());
        QVERIFY(form->scaleReader());
        QCOMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
        QVERIFY(QTest::qWaitFor(
            [&] {
                scale.write(test::PtyPair::reading("0.750"));
                return form->Edit2->text() == QStringLiteral("0.750");
            },
            10000));
        form.reset();
        setMessageBoxes(nullptr);
    }
};

QTEST_MAIN(TestFaultsGui)
#include "tst_faults_gui.moc"
