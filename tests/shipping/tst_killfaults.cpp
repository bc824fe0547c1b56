// SIGKILL at random moments of a long run of scans: scan_driver scans the demo waybills and is
// killed, round after round, each round going on from the last waybill it finished. Afterwards
// every order is either fully shipped (its row, the postage-charge row when its method has
// bMonth, one log row, its trades moved) or exactly as it was, and every waybill the driver
// reported finished is shipped. TOLVANE_KILL_ROUNDS sets the rounds (default 4).
#include "platform/Database.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace tv;

class TestKillFaults : public QObject {
    Q_OBJECT

private slots:
    void killedAtRandomMoments() {
        QTemporaryDir dir;
        const QString ordersPath = test::createOrderDb(dir.path());
        const QString configPath = test::createConfigDb(dir.path());
        const QString originalPath = dir.filePath(QStringLiteral("original.db"));
        const int rounds = qEnvironmentVariableIntValue("TOLVANE_KILL_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("TOLVANE_KILL_ROUNDS")
                               : 4;
        // Enough waybills that every round is cut off in the middle of its run.
        DemoOptions demo;
        demo.orders = qMax(4000, rounds * 800);
        {
            Connection orders, config;
            test::openOrders(orders, ordersPath);
            test::openConfig(config, configPath);
            fillDemoOrders(orders, demo);
            fillDemoRules(config, demo);
        }
        QVERIFY(QFile::copy(ordersPath, originalPath));
        int lastWaybill = 0;
        for (int orders = 0; orders < demo.orders; orders += demoOrdersOnWaybill(lastWaybill))
            ++lastWaybill;

        const quint32 seed = QRandomGenerator::system()->generate();
        qInfo("seed %u, %d rounds", seed, rounds);
        QRandomGenerator random(seed);
        QSet<int> reported;
        int next = 1;
        int killedMidRun = 0;
        for (int round = 0; round < rounds && next <= lastWaybill; ++round) {
            QProcess driver;
            driver.start(
                QStringLiteral(TOLVANE_SCAN_DRIVER),
                {ordersPath, configPath, QString::number(next), QString::number(lastWaybill)});
            QVERIFY(driver.waitForStarted(30000));
            QTest::qWait(int(random.bounded(20, 250)));
            if (driver.state() == QProcess::Running) {
                driver.kill(); // SIGKILL
                ++killedMidRun;
            }
            QVERIFY(driver.state() == QProcess::NotRunning || driver.waitForFinished(60000));
            if (driver.exitStatus() == QProcess::NormalExit)
                QVERIFY2(driver.exitCode() == 0, driver.readAllStandardError().constData());
            for (const QByteArray& line : driver.readAllStandardOutput().split('\n')) {
                if (line.startsWith("done "))
                    reported.insert(line.mid(5).toInt());
                QVERIFY2(!line.startsWith("error"), line.constData());
            }
            for (const int w : std::as_const(reported))
                next = qMax(next, w + 1);
        }
        QVERIFY(killedMidRun > 0);

        Connection db;
        test::openOrders(db, ordersPath);
        execute(db, QStringLiteral("attach database ? as [original]"), {originalPath});
        const QString all = QStringLiteral("select * from %1.[df_Trade] order by [ID]");
        const QList<Record> now = selectRows(db, all.arg(QStringLiteral("[main]")));
        const QList<Record> before = selectRows(db, all.arg(QStringLiteral("[original]")));
        QCOMPARE(now.size(), before.size());

        QHash<int, int> logs, charges;
        for (const Record& r :
             selectRows(db, QStringLiteral("select [TradeID] from [df_TradeLog]")))
            ++logs[r.integer(QStringLiteral("TradeID"))];
        for (const Record& r :
             selectRows(db, QStringLiteral("select [TradeID] from [df_PostageCharge]")))
            ++charges[r.integer(QStringLiteral("TradeID"))];
        QHash<QString, QPair<int, int>> es; // TradeNO: state before, state now
        for (const Record& r : selectRows(
                 db, QStringLiteral("select e.[TradeNO], o.[PostStatus] as [was], e.[PostStatus] "
                                    "from [es_TradeLog] e join [original].[es_TradeLog] o "
                                    "on o.[ID] = e.[ID]")))
            es[r.text(QStringLiteral("TradeNO"))] = {r.integer(QStringLiteral("was")),
                                                     r.integer(QStringLiteral("PostStatus"))};
        QHash<QString, bool> bMonth;
        for (const Record& r : selectRows(db, QStringLiteral("select * from [df_SndStyle]")))
            bMonth[r.text(QStringLiteral("Style"))] = r.bit(QStringLiteral("bMonth"));

        int shipped = 0, untouched = 0;
        QSet<QString> shippedWaybills, openWaybills;
        for (qsizetype i = 0; i < now.size(); ++i) {
            const Record& t = now[i];
            const Record& o = before[i];
            const int id = t.integer(QStringLiteral("ID"));
            const QStringList trades =
                o.text(QStringLiteral("sTradeNO")).split(u',', Qt::SkipEmptyParts);
            const bool wasPackedOut = o.bit(QStringLiteral("bSnd"));
            const bool done =
                o.text(QStringLiteral("TradeStatus")) == QStringLiteral("收款发货") &&
                (wasPackedOut ? t.text(QStringLiteral("TradeStatus")) == QStringLiteral("交易完成")
                              : t.bit(QStringLiteral("bSnd")));
            const QByteArray what = QByteArray::number(id);
            if (done) {
                ++shipped;
                shippedWaybills.insert(t.text(QStringLiteral("PostID")));
                QVERIFY2(!t.isNull(QStringLiteral("weight2")), what);
                QVERIFY2(!t.text(QStringLiteral("profitCalc")).isEmpty(), what);
                QCOMPARE(t.text(QStringLiteral("sndOperator")), QStringLiteral("张三"));
                QVERIFY2(logs.value(id) == 1, what);
                QVERIFY2(charges.value(id) ==
                             (bMonth.value(t.text(QStringLiteral("sndStyle"))) ? 1 : 0),
                         what);
                for (const QString& tn : trades)
                    QVERIFY2(es.value(tn).second ==
                                 (es.value(tn).first == 1 ? 2 : es.value(tn).first),
                             what);
            } else {
                ++untouched;
                openWaybills.insert(o.text(QStringLiteral("PostID")));
                QVERIFY2(t.sqlRecord() == o.sqlRecord(), what);
                QVERIFY2(logs.value(id) == 0 && charges.value(id) == 0, what);
                for (const QString& tn : trades)
                    QVERIFY2(es.value(tn).second == es.value(tn).first, what);
            }
        }
        for (const int w : std::as_const(reported))
            QVERIFY2(!openWaybills.contains(demoWaybill(w)) || demoWaybillCompleted(w),
                     qPrintable(demoWaybill(w)));
        qInfo("%d rounds (%d killed mid-run): %lld waybills reported, %d orders shipped, %d "
              "untouched",
              rounds, killedMidRun, qlonglong(reported.size()), shipped, untouched);
    }
};

QTEST_GUILESS_MAIN(TestKillFaults)
#include "tst_killfaults.moc"
