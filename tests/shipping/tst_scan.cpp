#include "platform/Error.h"
#include "shipping/Scan.h"

#include "OrderFixture.h"
#include "support/RecordingSink.h"

#include <QTest>

using namespace tv;
using test::OrderFixture;
using test::RecordingSink;

namespace {

ScanInput input(const QString& waybill = QStringLiteral("YT1001"),
                const QString& weight = QStringLiteral("1.25")) {
    ScanInput in;
    in.waybill = waybill;
    in.weight = weight;
    in.operatorName = QStringLiteral("张三");
    return in;
}

const QString kDay = QStringLiteral("2024-03-05 00:00:00");
const QString kNow = QStringLiteral("2024-03-05 14:05:09");

} // namespace

class TestScan : public QObject {
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
    void notANumber_data();
    void notANumber();
    void completingWritesEveryColumn();
    void packOutWritesEveryColumn();
    void twoOrdersShareOneParcel();
    void noMatchingRuleShipsAtZero();
    void answeredNoSavesWeightAndPostageOnly();
    void weightAndPostage_data();
    void weightAndPostage();
    void postageChargeByMethod_data();
    void postageChargeByMethod();
    void tradeNumbers_data();
    void tradeNumbers();
    void blankTradeNumbers_data();
    void blankTradeNumbers();
    void failedOrderLeftAsItWas();
};

void TestScan::refusals_data() {
    QTest::addColumn<QString>("waybill");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<bool>("packOut");
    QTest::addColumn<QString>("line");

    QTest::newRow("missing waybill") << ""
                                     << "1.25"
                                     << "张三" << false << "14:05:09 :  : 请输入单号!";
    QTest::newRow("everything empty: waybill first") << ""
                                                     << ""
                                                     << "" << false << "14:05:09 :  : 请输入单号!";
    QTest::newRow("missing weight") << "YT1001"
                                    << ""
                                    << "张三" << false << "14:05:09 :  : 重量值错误!";
    QTest::newRow("missing operator") << "YT1001"
                                      << "1.25"
                                      << "" << false << "14:05:09 :  : 请选择操作员!";
    QTest::newRow("unknown waybill")
        << "YT9999"
        << "1.25"
        << "张三" << false << "14:05:09 : YT9999 : 没有符合条件的记录!";
    QTest::newRow("completed order")
        << "YT2002"
        << "1.25"
        << "张三" << false << "14:05:09 : YT2002 : 没有符合条件的记录!";
    QTest::newRow("packed out, pack-out mode")
        << "YT1001"
        << "1.25"
        << "张三" << true << "14:05:09 : YT1001 : 没有符合条件的记录!";
    QTest::newRow("not packed out, completing mode")
        << "YT3003"
        << "1.25"
        << "张三" << false << "14:05:09 : YT3003 : 没有符合条件的记录!";
    QTest::newRow("injection") << "' or '1'='1"
                               << "1.25"
                               << "张三" << false << "14:05:09 : ' or '1'='1 : 没有符合条件的记录!";
    QTest::newRow("pattern is not a wildcard")
        << "YT%"
        << "1.25"
        << "张三" << false << "14:05:09 : YT% : 没有符合条件的记录!";
}

void TestScan::refusals() {
    QFETCH(QString, waybill);
    QFETCH(QString, weight);
    QFETCH(QString, operatorName);
    QFETCH(bool, packOut);
    QFETCH(QString, line);

    OrderFixture f;
    f.addTrade();
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")},
                {QStringLiteral("TradeStatus"), QStringLiteral("交易完成")}});
    f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT3003")}, {QStringLiteral("bSnd"), 0}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    const QStringList before = f.snapshot();

    RecordingSink sink;
    ScanInput in = input(waybill, weight);
    in.operatorName = operatorName;
    in.packOutMode = packOut;
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.lines, QStringList{line});
    QCOMPARE(sink.successes, QList<bool>{false});
    QCOMPARE(sink.clears, 0);
    QVERIFY(sink.postages.isEmpty());
    QCOMPARE(f.snapshot(), before);
}

void TestScan::notANumber_data() {
    QTest::addColumn<QString>("weight");
    QTest::addColumn<bool>("manualPostage");
    QTest::addColumn<QString>("postage");
    QTest::addColumn<QString>("message");

    QTest::newRow("scale not connected") << "电子秤未连接" << false << ""
                                         << "\"电子秤未连接\" is not a valid number.";
    QTest::newRow("negative warning") << "警告：重量为负!" << false << ""
                                      << "\"警告：重量为负!\" is not a valid number.";
    QTest::newRow("unit warning") << "警告：单位错误!" << false << ""
                                  << "\"警告：单位错误!\" is not a valid number.";
    QTest::newRow("lone point") << "." << false << ""
                                << "\".\" is not a valid number.";
    QTest::newRow("lone minus") << "-" << false << ""
                                << "\"-\" is not a valid number.";
    QTest::newRow("weight out of range") << "3000000" << false << ""
                                         << "\"3000000\" is not a valid number.";
    QTest::newRow("manual postage not a number") << "1.25" << true << "免邮"
                                                 << "\"免邮\" is not a valid number.";
    QTest::newRow("manual postage empty") << "1.25" << true << ""
                                          << "\"\" is not a valid number.";
}

void TestScan::notANumber() {
    QFETCH(QString, weight);
    QFETCH(bool, manualPostage);
    QFETCH(QString, postage);
    QFETCH(QString, message);

    OrderFixture f;
    f.addTrade();
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    const QStringList before = f.snapshot();

    RecordingSink sink;
    ScanInput in = input(QStringLiteral("YT1001"), weight);
    in.manualPostage = manualPostage;
    in.postage = postage;
    try {
        Scan(f.orders, f.config, sink).run(in);
        QFAIL("the scan went on");
    } catch (const Error& e) {
        QCOMPARE(e.message(), message);
    }
    QVERIFY(sink.lines.isEmpty());
    QCOMPARE(f.snapshot(), before);
}

void TestScan::completingWritesEveryColumn() {
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    f.addRule(QStringLiteral("圆通速递"), QStringLiteral("浙江省"), 0, 5000, 2000, 7.5, 500, 1);
    const int id = f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T1")}});
    f.addGoods(id, QStringLiteral("纯棉T恤"), QStringLiteral("红色 XL"), QStringLiteral("2"));
    f.addGoods(id, QStringLiteral("保温杯"), QStringLiteral("500ml"), QStringLiteral("1"));
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1); // only the first row moves

    RecordingSink sink;
    ScanInput in = input();
    in.showSummary = true;
    in.recordShipper = true;
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.lines, QStringList{"14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg"});
    QCOMPARE(sink.successes, QList<bool>{true});
    QCOMPARE(sink.postages, QStringList{"7.5"});
    QCOMPARE(sink.notes, (QStringList{"客户备注：请尽快发货", "卖家备注：送小礼品"}));
    QCOMPARE(sink.goods, (QStringList{"纯棉T恤|红色 XL|2", "保温杯|500ml|1"}));

    const Record t = f.trade(id);
    QCOMPARE(t.integer("weight2"), 1250);
    QCOMPARE(t.number("PostFee2"), 7.5);
    QCOMPARE(t.number("profit"), 12.5);
    QCOMPARE(t.text("profitCalc"),
             QStringLiteral("12.5(毛利)=100(实际收款)-80(货品成本)-7.5(实际邮资)-0(其他开销)-0("
                            "包装成本)"));
    QCOMPARE(t.text("TradeStatus"), QStringLiteral("交易完成"));
    QCOMPARE(t.text("overtime"), kDay);
    QCOMPARE(t.text("sndOperator"), QStringLiteral("张三"));
    QCOMPARE(t.integer("bSnd"), 1);
    QVERIFY(t.isNull("sndTime"));

    const QList<Record> charges = f.rows(QStringLiteral("df_PostageCharge"));
    QCOMPARE(charges.size(), 1);
    const Record& c = charges[0];
    QCOMPARE(c.integer("TradeID"), id);
    QCOMPARE(c.text("TradeType"), QStringLiteral("销售发货"));
    QCOMPARE(c.text("PackageBill"), QStringLiteral("YT1001"));
    QCOMPARE(c.number("Postage"), 7.5);
    QCOMPARE(c.text("SndDate"), kDay);
    QCOMPARE(c.text("FreightCorp"), QStringLiteral("圆通速递"));
    QCOMPARE(c.integer("ChargeStatus"), 0);
    QCOMPARE(c.text("Summary"), QStringLiteral("重量：1250"));
    QCOMPARE(c.text("Remark"), QStringLiteral("送小礼品"));
    QCOMPARE(c.text("SndTo"), QStringLiteral("文三路1号"));
    QCOMPARE(c.text("Operator"), QStringLiteral("张三"));

    const QList<Record> logs = f.rows(QStringLiteral("df_TradeLog"));
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].integer("TradeID"), id);
    QCOMPARE(logs[0].text("Time"), kNow);
    QCOMPARE(logs[0].text("User"), QStringLiteral("张三"));
    QCOMPARE(logs[0].text("Event"), QStringLiteral("完成关闭"));

    QCOMPARE(f.esStates(), (QList<int>{2, 1}));
}

void TestScan::packOutWritesEveryColumn() {
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), false);
    f.addRule(QStringLiteral("圆通速递"), QStringLiteral("浙江省"), 0, 5000, 1000, 10, 500, 5);
    const int id = f.addTrade({{QStringLiteral("bSnd"), 0}, {QStringLiteral("otherFee"), 1.5}});
    f.addGoods(id, QStringLiteral("纯棉T恤"), QStringLiteral("红色 XL"), QStringLiteral("2"));
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);

    RecordingSink sink;
    ScanInput in = input();
    in.packOutMode = true;
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.lines, QStringList{"14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg"});
    QCOMPARE(sink.postages, QStringList{"15"});
    QVERIFY(sink.goods.isEmpty()); // summary off: goods not read
    const Record t = f.trade(id);
    QCOMPARE(t.integer("weight2"), 1250);
    QCOMPARE(t.number("PostFee2"), 15.0);
    QCOMPARE(t.number("profit"), 3.5);
    QCOMPARE(t.text("profitCalc"),
             QStringLiteral("3.5(毛利)=100(实际收款)-80(货品成本)-15(实际邮资)-1.5(其他开销)-0("
                            "包装成本)"));
    QCOMPARE(t.integer("bSnd"), 1);
    QCOMPARE(t.text("sndTime"), kDay);
    QCOMPARE(t.text("TradeStatus"), QStringLiteral("收款发货"));
    QVERIFY(t.isNull("overtime"));
    QVERIFY(t.isNull("sndOperator")); // shipper not recorded
    QVERIFY(f.rows(QStringLiteral("df_PostageCharge")).isEmpty());
    const QList<Record> logs = f.rows(QStringLiteral("df_TradeLog"));
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].text("Event"), QStringLiteral("发货出库"));
    QCOMPARE(logs[0].text("Time"), kNow);
    QCOMPARE(f.esStates(), QList<int>{2});
}

void TestScan::twoOrdersShareOneParcel() {
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    f.addRule(QStringLiteral("圆通速递"), QStringLiteral("浙江省"), 0, 5000, 2000, 7.5, 500, 1);
    const int first = f.addTrade();
    const int second = f.addTrade({{QStringLiteral("weight"), 800},
                                   {QStringLiteral("sTradeNO"), QStringLiteral("T2")},
                                   {QStringLiteral("CustomerNeeds"), QString()},
                                   {QStringLiteral("Remark"), QStringLiteral("同一包裹")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 1);

    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(input());

    QCOMPARE(sink.lines,
             (QStringList{"14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg",
                          "14:05:09 : YT1001 : 商品:0.800kg，包裹:0.000kg，差:-0.800kg"}));
    QCOMPARE(sink.successes, (QList<bool>{true, true}));
    QCOMPARE(sink.postages, QStringList{"7.5"});
    QCOMPARE(sink.notes, (QStringList{"客户备注：请尽快发货", "卖家备注：送小礼品", "客户备注：",
                                      "卖家备注：同一包裹"}));
    QCOMPARE(f.trade(first).integer("weight2"), 1250);
    const Record t = f.trade(second);
    QCOMPARE(t.integer("weight2"), 0);
    QCOMPARE(t.number("PostFee2"), 0.0);
    QCOMPARE(t.number("profit"), 20.0);
    QCOMPARE(t.text("TradeStatus"), QStringLiteral("交易完成"));
    const QList<Record> charges = f.rows(QStringLiteral("df_PostageCharge"));
    QCOMPARE(charges.size(), 2);
    QCOMPARE(charges[1].text("Summary"), QStringLiteral("重量：0"));
    QCOMPARE(charges[1].number("Postage"), 0.0);
    QCOMPARE(f.rows(QStringLiteral("df_TradeLog")).size(), 2);
    QCOMPARE(f.esStates(), (QList<int>{2, 2}));
}

void TestScan::noMatchingRuleShipsAtZero() {
    OrderFixture f;
    const int id = f.addTrade({{QStringLiteral("sndStyle"), QStringLiteral("顺丰速运")}});
    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(input());
    QCOMPARE(sink.postages, QStringList{"0"});
    QCOMPARE(sink.successes, QList<bool>{true});
    QCOMPARE(f.trade(id).number("PostFee2"), 0.0);
    QCOMPARE(f.trade(id).text("TradeStatus"), QStringLiteral("交易完成"));
}

void TestScan::answeredNoSavesWeightAndPostageOnly() {
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    f.addRule(QStringLiteral("圆通速递"), QStringLiteral("浙江省"), 0, 5000, 2000, 7.5, 500, 1);
    const int first = f.addTrade();
    const int second = f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T2")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 1);
    const QStringList untouched = f.snapshot({QStringLiteral("df_PostageCharge")});

    RecordingSink sink;
    sink.answers = {false, true};
    ScanInput in = input();
    in.askBeforeFinishing = true;
    in.recordShipper = true;
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.questions, (QStringList{"是否完成发货？", "是否完成发货？"}));
    QCOMPARE(sink.lines,
             (QStringList{"14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg，未发货",
                          "14:05:09 : YT1001 : 商品:1.200kg，包裹:0.000kg，差:-1.200kg"}));
    QCOMPARE(sink.successes, (QList<bool>{false, true}));

    const Record t = f.trade(first);
    QCOMPARE(t.integer("weight2"), 1250);
    QCOMPARE(t.number("PostFee2"), 7.5);
    QVERIFY(t.isNull("profit"));
    QVERIFY(t.isNull("profitCalc"));
    QCOMPARE(t.text("TradeStatus"), QStringLiteral("收款发货"));
    QVERIFY(t.isNull("overtime"));
    QVERIFY(t.isNull("sndOperator"));

    // The second order of the parcel is finished with weight and postage 0.
    QCOMPARE(f.trade(second).text("TradeStatus"), QStringLiteral("交易完成"));
    const QList<Record> charges = f.rows(QStringLiteral("df_PostageCharge"));
    QCOMPARE(charges.size(), untouched.size() + 1);
    QCOMPARE(charges[0].integer("TradeID"), second);
    const QList<Record> logs = f.rows(QStringLiteral("df_TradeLog"));
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].integer("TradeID"), second);
    QCOMPARE(f.esStates(), (QList<int>{1, 2}));
}

void TestScan::weightAndPostage_data() {
    QTest::addColumn<QString>("weight");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QString>("postage");
    QTest::addColumn<int>("weight2");
    QTest::addColumn<double>("postFee2");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("line");

    QTest::newRow("fraction of a gram dropped")
        << "1.2345" << false << "" << 1234 << 15.0 << QStringList{"15"}
        << "14:05:09 : YT1001 : 商品:1.200kg，包裹:1.234kg，差:0.034kg";
    QTest::newRow("negative weight finds no rule")
        << "-0.5" << false << "" << -500 << 0.0 << QStringList{"0"}
        << "14:05:09 : YT1001 : 商品:1.200kg，包裹:-0.500kg，差:-1.700kg";
    QTest::newRow("manual postage used, not shown")
        << "1.25" << true << " 6.5 " << 1250 << 6.5 << QStringList{}
        << "14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg";
}

void TestScan::weightAndPostage() {
    QFETCH(QString, weight);
    QFETCH(bool, manual);
    QFETCH(QString, postage);
    QFETCH(int, weight2);
    QFETCH(double, postFee2);
    QFETCH(QStringList, shown);
    QFETCH(QString, line);

    OrderFixture f;
    f.addRule(QStringLiteral("圆通速递"), QStringLiteral("浙江省"), 0, 5000, 1000, 10, 500, 5);
    const int id = f.addTrade();
    RecordingSink sink;
    ScanInput in = input(QStringLiteral("YT1001"), weight);
    in.manualPostage = manual;
    in.postage = postage;
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.lines, QStringList{line});
    QCOMPARE(sink.postages, shown);
    QCOMPARE(f.trade(id).integer("weight2"), weight2);
    QCOMPARE(f.trade(id).number("PostFee2"), postFee2);
}

void TestScan::postageChargeByMethod_data() {
    QTest::addColumn<int>("styleRow"); // 1 bMonth true, 0 false, -1 no df_SndStyle row
    QTest::addColumn<int>("charges");
    QTest::newRow("bMonth true") << 1 << 1;
    QTest::newRow("bMonth false") << 0 << 0;
    QTest::newRow("method without a df_SndStyle row") << -1 << 0;
}

void TestScan::postageChargeByMethod() {
    QFETCH(int, styleRow);
    QFETCH(int, charges);
    OrderFixture f;
    f.addStyle(QStringLiteral("申通快递"), true); // another method's flag must not leak
    if (styleRow >= 0)
        f.addStyle(QStringLiteral("圆通速递"), styleRow == 1);
    f.addTrade();
    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(input());
    QCOMPARE(f.rows(QStringLiteral("df_PostageCharge")).size(), charges);
    QCOMPARE(f.rows(QStringLiteral("df_TradeLog")).size(), 1);
}

void TestScan::tradeNumbers_data() {
    QTest::addColumn<QString>("sTradeNO");
    QTest::addColumn<QList<int>>("states");

    // es_TradeLog rows: a 1, b 1, "" 1, c 2, a 1 (a second row of a).
    QTest::newRow("two numbers") << "a,b" << QList<int>{2, 2, 1, 2, 1};
    QTest::newRow("trailing comma") << "a," << QList<int>{2, 1, 1, 2, 1};
    QTest::newRow("two commas in a row: no empty lookup") << "a,,b" << QList<int>{2, 2, 1, 2, 1};
    QTest::newRow("leading comma") << ",b" << QList<int>{1, 2, 1, 2, 1};
    QTest::newRow("empty") << "" << QList<int>{1, 1, 1, 2, 1};
    QTest::newRow("state 2 stays 2") << "c" << QList<int>{1, 1, 1, 2, 1};
    QTest::newRow("number without a row") << "zz" << QList<int>{1, 1, 1, 2, 1};
    QTest::newRow("listed twice: first row only") << "a,a" << QList<int>{2, 1, 1, 2, 1};
    QTest::newRow("quote in a number") << "a'b" << QList<int>{1, 1, 1, 2, 1};
}

void TestScan::tradeNumbers() {
    QFETCH(QString, sTradeNO);
    QFETCH(QList<int>, states);
    OrderFixture f;
    f.addTrade({{QStringLiteral("sTradeNO"), sTradeNO}});
    for (const auto& [no, state] :
         QList<QPair<QString, int>>{{"a", 1}, {"b", 1}, {"", 1}, {"c", 2}, {"a", 1}})
        f.addEs(no, QStringLiteral("YT1001"), state);
    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(input());
    QCOMPARE(sink.successes, QList<bool>{true});
    QCOMPARE(f.esStates(), states);
}

void TestScan::blankTradeNumbers_data() {
    QTest::addColumn<QString>("sTradeNO");
    QTest::addColumn<QList<int>>("states");

    // es_TradeLog rows: "" 1, " " 1, "a" 1. SQL Server finds the rows of "" for " " too, so a
    // blank piece names no trade on either engine.
    QTest::newRow("blank between two numbers") << "a, ,b" << QList<int>{1, 1, 2};
    QTest::newRow("blank after a number") << "a,  " << QList<int>{1, 1, 2};
    QTest::newRow("blank alone") << " " << QList<int>{1, 1, 1};
    QTest::newRow("number with blanks around is still looked up") << " a" << QList<int>{1, 1, 1};
}

void TestScan::blankTradeNumbers() {
    QFETCH(QString, sTradeNO);
    QFETCH(QList<int>, states);
    OrderFixture f;
    f.addTrade({{QStringLiteral("sTradeNO"), sTradeNO}});
    for (const QString& no : {QString(), QStringLiteral(" "), QStringLiteral("a")})
        f.addEs(no, QStringLiteral("YT1001"), 1);
    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(input());
    QCOMPARE(sink.successes, QList<bool>{true});
    QCOMPARE(f.esStates(), states);
}

void TestScan::failedOrderLeftAsItWas() {
    // Three orders in one parcel; the log append of the second fails after its df_Trade row
    // and its postage-charge row were written.
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    const int first = f.addTrade();
    const int second = f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T2")}});
    f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T3")}});
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 1);
    f.addEs(QStringLiteral("T3"), QStringLiteral("YT1001"), 1);
    execute(f.orders, QStringLiteral("create trigger [refuse_log] before insert on [df_TradeLog] "
                                     "when new.[TradeID] = %1 begin select raise(abort, "
                                     "'log refused'); end")
                          .arg(second));
    const QStringList tradesBefore = f.snapshot({QStringLiteral("df_Trade")});

    RecordingSink sink;
    try {
        Scan(f.orders, f.config, sink).run(input());
        QFAIL("the failure did not end the scan");
    } catch (const Error& e) {
        QVERIFY2(e.message().contains(QStringLiteral("log refused")), qPrintable(e.message()));
    }
    QVERIFY(!f.orders.inTransaction());
    QCOMPARE(sink.successes, QList<bool>{true});

    // The first order is finished; the second and third are exactly as they were.
    const QStringList tradesAfter = f.snapshot({QStringLiteral("df_Trade")});
    QCOMPARE(f.trade(first).text("TradeStatus"), QStringLiteral("交易完成"));
    QCOMPARE(tradesAfter.mid(1), tradesBefore.mid(1));
    const QList<Record> charges = f.rows(QStringLiteral("df_PostageCharge"));
    QCOMPARE(charges.size(), 1);
    QCOMPARE(charges[0].integer("TradeID"), first);
    const QList<Record> logs = f.rows(QStringLiteral("df_TradeLog"));
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].integer("TradeID"), first);
    QCOMPARE(f.esStates(), (QList<int>{2, 1, 1}));
}

QTEST_APPLESS_MAIN(TestScan)
#include "tst_scan.moc"
