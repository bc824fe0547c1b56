#include "shipping/BatchPackOut.h"

#include "OrderFixture.h"

#include <QTest>

using namespace tv;
using test::OrderFixture;

class TestBatchPackOut : public QObject {
    Q_OBJECT
private slots:
    void nothingToDo();
    void resetsPackedOutParcelsOnly();
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

QTEST_APPLESS_MAIN(TestBatchPackOut)
#include "tst_batchpackout.moc"
