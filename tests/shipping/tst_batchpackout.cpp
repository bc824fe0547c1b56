#include "shipping/BatchPackOut.h"

#include "OrderFixture.h"
#include "support/SqliteLock.h"

#include <QTest>

using namespace tv;
using test::OrderFixture;

class TestBatchPackOut : public QObject {
    Q_OBJECT
private slots:
    void nothingToDo();
    void resetsPackedOutParcelsOnly();
    void changedMeanwhile_data();
    void changedMeanwhile();
};

void TestBatchPackOut::nothingToDo() {
    OrderFixture f;
    f.addTrade({{QStringLiteral("TradeStatus"), QStringLiteral("交易完成")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 2);
    const QStringList before = f.snapshot();
    QCOMPARE(BatchPackOut(f.orders).run(), 0);
    QCOMPARE(f.snapshot(), before);
}

void TestBatchPackOut::resetsPackedOutParcelsOnly() {
    OrderFixture f;
    f.addTrade(); // YT1001: packed out, not completed
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")},
                {QStringLiteral("TradeStatus"), QStringLiteral("交易完成")}});
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT3003")}, {QStringLiteral("bSnd"), 0}});
    f.addTrade({{QStringLiteral("PostID"), QString()}}); // no waybill: skipped
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT5005")}});
    const QList<QPair<QString, int>> es{
        {QStringLiteral("YT1001"), 2}, {QStringLiteral("YT1001"), 2},
        {QStringLiteral("YT1001"), 1}, {QStringLiteral("YT1001"), 0},
        {QStringLiteral("YT1001"), 3}, {QStringLiteral("YT2002"), 2},
        {QStringLiteral("YT3003"), 2}, {QString(), 2},
        {QStringLiteral("YT5005"), 2}, {QStringLiteral("YT9999"), 2}};
    for (const auto& [sndId, state] : es)
        f.addEs(QStringLiteral("T"), sndId, state);
    const QStringList others =
        f.snapshot({QStringLiteral("df_Trade"), QStringLiteral("df_TradeLog"),
                    QStringLiteral("df_PostageCharge")});

    QCOMPARE(BatchPackOut(f.orders).run(), 3);
    QCOMPARE(f.esStates(), (QList<int>{1, 1, 1, 0, 3, 2, 2, 2, 1, 2}));
    QCOMPARE(f.snapshot({QStringLiteral("df_Trade"), QStringLiteral("df_TradeLog"),
                         QStringLiteral("df_PostageCharge")}),
             others);

    const QStringList once = f.snapshot();
    QCOMPARE(BatchPackOut(f.orders).run(), 0);
    QCOMPARE(f.snapshot(), once);
}

void TestBatchPackOut::changedMeanwhile_data() {
    QTest::addColumn<QString>("change"); // run by another process between selection and reset
    QTest::addColumn<int>("moved");
    QTest::addColumn<QList<int>>("states");

    // Orders: YT1001 packed out; YT2002 packed out, two orders. es_TradeLog rows: YT1001 2,
    // YT1001 2, YT2002 2.
    QTest::newRow("nothing changed") << "" << 3 << QList<int>{1, 1, 1};
    QTest::newRow("order completed by a scan")
        << "update df_Trade set TradeStatus = '交易完成' where PostID = 'YT1001'" << 1
        << QList<int>{2, 2, 1};
    QTest::newRow("order deleted")
        << "delete from df_Trade where PostID = 'YT1001'" << 1 << QList<int>{2, 2, 1};
    QTest::newRow("one of two orders of a parcel completed")
        << "update df_Trade set TradeStatus = '交易完成' where ID = 2" << 3 << QList<int>{1, 1, 1};
    QTest::newRow("row moved back by someone else: not counted")
        << "update es_TradeLog set PostStatus = 1 where ID = 1" << 2 << QList<int>{1, 1, 1};
    QTest::newRow("row added in state 2 meanwhile")
        << "insert into es_TradeLog (TradeNO, SndID, PostStatus) values ('T9', 'YT1001', 2)" << 4
        << QList<int>{1, 1, 1, 1};
}

void TestBatchPackOut::changedMeanwhile() {
    QFETCH(QString, change);
    QFETCH(int, moved);
    QFETCH(QList<int>, states);

    OrderFixture f;
    f.addTrade();
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")}});
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 2);
    f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 2);
    f.addEs(QStringLiteral("T3"), QStringLiteral("YT2002"), 2);

    BatchPackOut pass(f.orders);
    const QStringList waybills = pass.select();
    QCOMPARE(waybills, (QStringList{"YT1001", "YT2002"}));
    if (!change.isEmpty()) {
        const QString file = f.orders.database().databaseName().section(u'?', 0, 0).mid(5);
        QVERIFY(test::runInOtherProcess(file, change));
    }
    QCOMPARE(pass.reset(waybills), moved);
    QCOMPARE(f.esStates(), states);
}

QTEST_APPLESS_MAIN(TestBatchPackOut)
#include "tst_batchpackout.moc"
