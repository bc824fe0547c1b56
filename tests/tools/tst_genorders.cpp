// The demo generator's output: a database the schema accepts, holding every kind of order the
// scan and the batch pack-out meet.
#include "platform/Database.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

class TestGenOrders : public QObject {
    Q_OBJECT
private slots:
    void smallRun();
};

void TestGenOrders::smallRun() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = test::createConfigDb(dir.path());
    const QString orders = dir.filePath("orders.db");
    QProcess gen;
    gen.start(QDir(test::binDir()).filePath("../tools/gen-orders"),
              {"--rules", config, orders, "200"});
    QVERIFY(gen.waitForFinished(120000));
    QVERIFY2(gen.exitCode() == 0, gen.readAllStandardError().constData());

    Connection c;
    test::openOrders(c, orders);
    auto count = [&](const QString& sql) {
        return selectRows(c, "select count(*) as [n] from " + sql).front().integer("n");
    };
    QCOMPARE(selectRows(c, "pragma integrity_check").front().text("integrity_check"), "ok");
    QCOMPARE(count("[df_Trade]"), 200);
    QVERIFY(count("[df_Trade] where [bSnd] = 0") > 0);
    QVERIFY(count("[df_Trade] where [bSnd] = 1 and [TradeStatus] <> '交易完成'") > 0);
    QVERIFY(count("[df_Trade] where [TradeStatus] = '交易完成'") > 0);
    QVERIFY(count("[df_Trade] where [sTradeNO] like '%,%'") > 0);
    QVERIFY(count("(select [PostID] from [df_Trade] group by [PostID] having count(*) > 1)") > 0);
    QCOMPARE(count("[df_Trade] where [ID] not in (select [TradeID] from [df_TradeGoods])"), 0);
    QVERIFY(count("[es_TradeLog] where [PostStatus] = 1") > 0);
    QVERIFY(count("[es_TradeLog] where [PostStatus] = 2") > 0);
    // One es_TradeLog row per marketplace trade of an order, under its waybill.
    QCOMPARE(count("[es_TradeLog]"), 200 + count("[df_Trade] where [sTradeNO] like '%,%'"));
    QCOMPARE(count("[es_TradeLog] e where not exists (select 1 from [df_Trade] t where "
                   "t.[PostID] = e.[SndID] and instr(t.[sTradeNO], e.[TradeNO]) > 0)"),
             0);
    // The helpers the other tests plan with describe the same rows.
    for (int w = 1; w <= 40; ++w) {
        const auto rows =
            selectRows(c, "select * from [df_Trade] where [PostID] = ?", {demoWaybill(w)});
        QCOMPARE(rows.size(), demoOrdersOnWaybill(w));
        QCOMPARE(rows[0].text("TradeStatus") == "交易完成", demoWaybillCompleted(w));
        QCOMPARE(rows[0].bit("bSnd"), demoWaybillCompleted(w) || demoWaybillPackedOut(w));
    }

    Connection rules;
    test::openConfig(rules, config);
    QCOMPARE(selectRows(rules, "select count(*) as [n] from [rule]").front().integer("n"),
             5 * 30 * 9);
}

QTEST_GUILESS_MAIN(TestGenOrders)
#include "tst_genorders.moc"
