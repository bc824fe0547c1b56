// Orders that change between the scan's selection and its save: deleted, completed or packed
// out by another process while the Yes/No box is open, or between the orders of one waybill.
// The save requires the state the selection saw; an order that left it is not written at all
// and gets the state-changed line, and the scan goes on with the next order.
#include "platform/Error.h"
#include "shipping/Scan.h"

#include "OrderFixture.h"
#include "support/RecordingSink.h"
#include "support/SqliteLock.h"

#include <QTest>
#include <functional>

using namespace tv;
using test::OrderFixture;

namespace {

const QString kShipped =
    QStringLiteral("14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg");
const QString kChanged = QStringLiteral("14:05:09 : YT1001 : 订单状态已改变,未发货");

// Runs a statement from another process at the moment the Yes/No box is open.
class AskingSink : public test::RecordingSink {
public:
    bool askYesNo(const QString& text) override {
        if (whileAsking)
            whileAsking(int(questions.size()));
        return RecordingSink::askYesNo(text);
    }
    std::function<void(int)> whileAsking; // gets the number of questions asked before
};

ScanInput input(bool packOut, bool ask) {
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    in.recordShipper = true;
    in.packOutMode = packOut;
    in.askBeforeFinishing = ask;
    return in;
}

QString ordersFile(OrderFixture& f) {
    return f.orders.database().databaseName().section(u'?', 0, 0).mid(5);
}

int rowsOf(OrderFixture& f, const QString& table, int tradeId) {
    return int(selectRows(f.orders,
                          QStringLiteral("select 1 from ") + ident(table) +
                              QStringLiteral(" where [TradeID] = ?"),
                          {tradeId})
                   .size());
}

} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void changedWhileAsking_data();
    void changedWhileAsking();
    void changedBetweenOrders_data();
    void changedBetweenOrders();
};

void TestGuard::changedWhileAsking_data() {
    QTest::addColumn<bool>("packOut");
    QTest::addColumn<QString>("change"); // run by another process; %1 is the order's ID
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ships");

    const QString deleted = QStringLiteral("delete from df_Trade where ID = %1");
    const QString completed =
        QStringLiteral("update df_Trade set TradeStatus = '交易完成', overtime = "
                       "'2024-03-04 00:00:00' where ID = %1");
    const QString packedOut = QStringLiteral("update df_Trade set bSnd = 1, sndTime = "
                                             "'2024-03-04 00:00:00' where ID = %1");
    const QString unpacked = QStringLiteral("update df_Trade set bSnd = 0 where ID = %1");
    const QString noted = QStringLiteral("update df_Trade set Remark = '改地址' where ID = %1");
    for (const bool answer : {true, false}) {
        const char* a = answer ? "Yes" : "No";
        QTest::addRow("deleted, %s", a) << false << deleted << answer << kChanged << false;
        QTest::addRow("completed elsewhere, %s", a)
            << false << completed << answer << kChanged << false;
        QTest::addRow("packed out elsewhere, %s", a)
            << true << packedOut << answer << kChanged << false;
        QTest::addRow("deleted in pack-out mode, %s", a)
            << true << deleted << answer << kChanged << false;
        QTest::addRow("pack-out undone, completing mode, %s", a)
            << false << unpacked << answer << kChanged << false;
    }
    // Other columns are the order-management system's business: the state alone counts.
    QTest::newRow("seller's note changed, Yes") << false << noted << true << kShipped << true;
    QTest::newRow("seller's note changed, No")
        << false << noted << false << kShipped + QStringLiteral("，未发货") << false;
}

void TestGuard::changedWhileAsking() {
    QFETCH(bool, packOut);
    QFETCH(QString, change);
    QFETCH(bool, answer);
    QFETCH(QString, line);
    QFETCH(bool, ships);

    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    const int id = f.addTrade({{QStringLiteral("bSnd"), packOut ? 0 : 1}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    const QString file = ordersFile(f);

    AskingSink sink;
    sink.answers = {answer};
    sink.whileAsking = [&](int) {
        QVERIFY(test::runInOtherProcess(file, change.arg(id)));
    };
    Scan(f.orders, f.config, sink).run(input(packOut, true));
    QVERIFY(!f.orders.inTransaction());

    QCOMPARE(sink.lines, QStringList{line});
    QCOMPARE(sink.successes, QList<bool>{ships});
    QCOMPARE(rowsOf(f, QStringLiteral("df_TradeLog"), id), ships ? 1 : 0);
    QCOMPARE(rowsOf(f, QStringLiteral("df_PostageCharge"), id), ships ? 1 : 0);
    QCOMPARE(f.esStates(), QList<int>{ships ? 2 : 1});
    const Record t = f.trade(id);
    if (line == kChanged) {
        // Nothing of this scan reached the order: not its weight, not its state.
        if (!t.sqlRecord().isEmpty()) {
            QVERIFY(t.isNull("weight2"));
            QVERIFY(t.isNull("profit"));
            QVERIFY(t.isNull("sndOperator"));
        }
    } else {
        QCOMPARE(t.integer("weight2"), 1250);
        QCOMPARE(t.text("Remark"), QStringLiteral("改地址"));
        QCOMPARE(t.text("TradeStatus"),
                 ships ? QStringLiteral("交易完成") : QStringLiteral("收款发货"));
    }
}

void TestGuard::changedBetweenOrders_data() {
    QTest::addColumn<int>("changed"); // which order of the waybill another process completes
    QTest::addColumn<bool>("ask");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<bool>>("successes");

    const QString secondShipped =
        QStringLiteral("14:05:09 : YT1001 : 商品:0.800kg，包裹:0.000kg，差:-0.800kg");
    QTest::newRow("second order completed after the first shipped")
        << 2 << false << QStringList{kShipped, kChanged} << QList<bool>{true, false};
    QTest::newRow("second order completed while its question is open")
        << 2 << true << QStringList{kShipped, kChanged} << QList<bool>{true, false};
    // The refused first order is handled as after a No: the parcel's weight and postage are
    // taken, and the second order goes with 0.
    QTest::newRow("first order completed while its question is open")
        << 1 << true << QStringList{kChanged, secondShipped} << QList<bool>{false, true};
}

void TestGuard::changedBetweenOrders() {
    QFETCH(int, changed);
    QFETCH(bool, ask);
    QFETCH(QStringList, lines);
    QFETCH(QList<bool>, successes);

    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    const int first = f.addTrade();
    const int second = f.addTrade(
        {{QStringLiteral("weight"), 800}, {QStringLiteral("sTradeNO"), QStringLiteral("T2")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 1);
    const QString file = ordersFile(f);
    const int target = changed == 1 ? first : second;
    const auto complete = [&] {
        QVERIFY(test::runInOtherProcess(
            file, QStringLiteral("update df_Trade set TradeStatus = '交易完成' where ID = %1")
                      .arg(target)));
    };

    AskingSink sink;
    if (ask)
        sink.whileAsking = [&](int asked) {
            if (asked + 1 == changed)
                complete();
        };
    else
        sink.afterResult = [&](int n) {
            if (n == 1)
                complete();
        };
    Scan(f.orders, f.config, sink).run(input(false, ask));

    QCOMPARE(sink.lines, lines);
    QCOMPARE(sink.successes, successes);
    const int shipped = changed == 1 ? second : first;
    QCOMPARE(rowsOf(f, QStringLiteral("df_TradeLog"), shipped), 1);
    QCOMPARE(rowsOf(f, QStringLiteral("df_PostageCharge"), shipped), 1);
    QCOMPARE(rowsOf(f, QStringLiteral("df_TradeLog"), target), 0);
    QCOMPARE(rowsOf(f, QStringLiteral("df_PostageCharge"), target), 0);
    QVERIFY(f.trade(target).isNull("weight2"));
    QCOMPARE(f.trade(shipped).integer("weight2"), changed == 1 ? 0 : 1250);
    QCOMPARE(f.esStates(), changed == 1 ? (QList<int>{1, 2}) : (QList<int>{2, 1}));
}

QTEST_APPLESS_MAIN(TestGuard)
#include "tst_guard.moc"
