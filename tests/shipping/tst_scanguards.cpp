#include "platform/Error.h"
#include "shipping/Scan.h"
#include "shipping/ScanGuards.h"

#include "OrderFixture.h"
#include "support/RecordingSink.h"

#include <QTest>

using namespace tv;
using test::OrderFixture;
using test::RecordingSink;

Q_DECLARE_METATYPE(tv::ScanCheck)
Q_DECLARE_METATYPE(tv::ScaleReading)

namespace {

// The reader's last reading as a test sets it; counts the scan's questions.
class FixedReading : public WeightSource {
public:
    ScaleReading lastReading() const override {
        ++asks;
        return reading;
    }
    ScaleReading reading;
    mutable int asks = 0;
};

ScaleReading reading(qint32 grams, bool stable, qint64 ageMs, bool hasWeight = true) {
    ScaleReading r;
    r.present = true;
    r.hasWeight = hasWeight;
    r.grams = grams;
    r.stable = stable;
    r.ageMs = ageMs;
    return r;
}

ScanInput input(const QString& weight = QStringLiteral("1.25")) {
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = weight;
    in.operatorName = QStringLiteral("张三");
    return in;
}

const QString kShipped =
    QStringLiteral("14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg");

} // namespace

class TestScanGuards : public QObject {
    Q_OBJECT
private slots:
    void stableWeight_data();
    void stableWeight();
    void readingAfterTheEnterNeverCounts();
    void weightDifference_data();
    void weightDifference();
    void eachOrderOfAParcelAskedForItself();
    void refusalReason_data();
    void refusalReason();
    void statementsPerScan_data();
    void statementsPerScan();
};

void TestScanGuards::stableWeight_data() {
    QTest::addColumn<bool>("stableOnly");
    QTest::addColumn<bool>("manualWeight");
    QTest::addColumn<bool>("hasReader");
    QTest::addColumn<ScaleReading>("scale");
    QTest::addColumn<QString>("weightText"); // Edit2
    QTest::addColumn<QString>("line");       // empty: the order ships
    QTest::addColumn<int>("weight2");        // -1: nothing written

    const ScaleReading none;
    QTest::newRow("off: unsteady reading ships the field's weight")
        << false << false << true << reading(1300, false, 100) << "1.25"
        << "" << 1250;
    QTest::newRow("off: no reader ships the field's weight")
        << false << false << false << none << "1.25"
        << "" << 1250;
    QTest::newRow("on: stable and fresh ships the reading")
        << true << false << true << reading(1240, true, 100) << "1.240"
        << "" << 1240;
    QTest::newRow("on: stable at exactly 2 s ships")
        << true << false << true << reading(1250, true, 2000) << "1.25"
        << "" << 1250;
    QTest::newRow("on: stable 2.001 s old is stale")
        << true << false << true << reading(1250, true, 2001) << "1.25"
        << "14:05:09 : YT1001 : 电子秤无新读数,请检查!" << -1;
    QTest::newRow("on: unsteady") << true << false << true << reading(1234, false, 50) << "1.234"
                                  << "14:05:09 : YT1001 : 重量不稳定,请稍候重新扫描!" << -1;
    QTest::newRow("on: unsteady and stale is stale")
        << true << false << true << reading(1234, false, 5000) << "1.234"
        << "14:05:09 : YT1001 : 电子秤无新读数,请检查!" << -1;
    QTest::newRow("on: nothing read since the start")
        << true << false << true << none << "电子秤未连接"
        << "14:05:09 : YT1001 : 电子秤无新读数,请检查!" << -1;
    QTest::newRow("on: no reader at all") << true << false << false << none << "1.25"
                                          << "14:05:09 : YT1001 : 电子秤无新读数,请检查!" << -1;
    QTest::newRow("on, manual weight: the typed weight ships")
        << true << true << true << reading(900, false, 60000) << "1.25"
        << "" << 1250;
    QTest::newRow("on, manual weight without a reader") << true << true << false << none << "1.25"
                                                        << "" << 1250;
}

void TestScanGuards::stableWeight() {
    QFETCH(bool, stableOnly);
    QFETCH(bool, manualWeight);
    QFETCH(bool, hasReader);
    QFETCH(ScaleReading, scale);
    QFETCH(QString, weightText);
    QFETCH(QString, line);
    QFETCH(int, weight2);

    OrderFixture f;
    const int id = f.addTrade();
    const QStringList before = f.snapshot();
    FixedReading source;
    source.reading = scale;
    ScanInput in = input(weightText);
    in.manualWeight = manualWeight;
    in.checks.stableOnly = stableOnly;
    RecordingSink sink;
    Scan(f.orders, f.config, sink, hasReader ? &source : nullptr).run(in);

    QCOMPARE(sink.lines.size(), 1);
    if (line.isEmpty()) {
        QVERIFY2(sink.successes[0], qPrintable(sink.lines[0]));
        QCOMPARE(f.trade(id).integer("weight2"), weight2);
        QCOMPARE(f.trade(id).text("TradeStatus"), QStringLiteral("交易完成"));
    } else {
        QCOMPARE(sink.lines[0], line);
        QCOMPARE(sink.successes[0], false);
        QCOMPARE(f.snapshot(), before);
        QCOMPARE(sink.clears, 0);
    }
    // The reader is asked only when its reading decides, and then once.
    QCOMPARE(source.asks, stableOnly && !manualWeight && hasReader ? 1 : 0);
}

void TestScanGuards::readingAfterTheEnterNeverCounts() {
    OrderFixture f;
    const int id = f.addTrade();
    FixedReading source;
    source.reading = reading(1240, true, 10);
    ScanInput in = input(QStringLiteral("1.240"));
    in.checks.stableOnly = true;
    in.askBeforeFinishing = true;
    RecordingSink sink;
    // The parcel is lifted while the question is open: a new, stable reading arrives.
    sink.whileAsking = [&] {
        source.reading = reading(0, true, 0);
    };
    Scan(f.orders, f.config, sink, &source).run(in);
    QCOMPARE(sink.questions, QStringList{"是否完成发货？"});
    QCOMPARE(f.trade(id).integer("weight2"), 1240);
    QCOMPARE(source.asks, 1);
}

void TestScanGuards::weightDifference_data() {
    QTest::addColumn<ScanCheck>("check");
    QTest::addColumn<int>("goods");      // grams
    QTest::addColumn<QString>("parcel"); // kilograms
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("askFinish");   // CheckBox6, answered Yes
    QTest::addColumn<QString>("question"); // empty: not asked
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("shipped");

    const QString w = "14:05:09 : YT1001 : 商品:1.200kg，包裹:";
    const auto grams = [](int g) {
        return ScanCheck{false, g, 0, false};
    };
    const auto percent = [](int p) {
        return ScanCheck{false, 0, p, false};
    };
    const auto ask = [](const QString& x) {
        return "包裹重量与商品重量相差" + x + "千克，超出允许范围，是否继续发货？";
    };

    QTest::newRow("off: 3.8 kg over ships unasked")
        << ScanCheck{} << 1200 << "5" << false << false << "" << w + "5.000kg，差:3.800kg" << true;
    QTest::newRow("grams: at the limit")
        << grams(50) << 1200 << "1.25" << false << false << "" << kShipped << true;
    QTest::newRow("grams: just under")
        << grams(51) << 1200 << "1.25" << false << false << "" << kShipped << true;
    QTest::newRow("grams: just over, Yes") << grams(49) << 1200 << "1.25" << true << false
                                           << ask("0.050") << kShipped + "，超差已确认" << true;
    QTest::newRow("grams: just over, No")
        << grams(49) << 1200 << "1.25" << false << false << ask("0.050")
        << kShipped + "，重量超差，未发货" << false;
    QTest::newRow("grams: negative at the limit") << grams(100) << 1200 << "1.1" << false << false
                                                  << "" << w + "1.100kg，差:-0.100kg" << true;
    QTest::newRow("grams: negative just over, No")
        << grams(99) << 1200 << "1.1" << false << false << ask("-0.100")
        << w + "1.100kg，差:-0.100kg，重量超差，未发货" << false;
    QTest::newRow("percent: at the limit (10 % of 1.2 kg)")
        << percent(10) << 1200 << "1.32" << false << false << "" << w + "1.320kg，差:0.120kg"
        << true;
    QTest::newRow("percent: just under") << percent(10) << 1200 << "1.319" << false << false << ""
                                         << w + "1.319kg，差:0.119kg" << true;
    QTest::newRow("percent: just over, Yes")
        << percent(10) << 1200 << "1.321" << true << false << ask("0.121")
        << w + "1.321kg，差:0.121kg，超差已确认" << true;
    QTest::newRow("percent: negative just over, No")
        << percent(10) << 1200 << "1.079" << false << false << ask("-0.121")
        << w + "1.079kg，差:-0.121kg，重量超差，未发货" << false;
    QTest::newRow("goods weight 0: never asked")
        << ScanCheck{false, 1, 1, false} << 0 << "1.25" << false << false << ""
        << "14:05:09 : YT1001 : 商品:0.000kg，包裹:1.250kg，差:1.250kg" << true;
    QTest::newRow("both set: the percent limit trips")
        << ScanCheck{false, 500, 5, false} << 1200 << "1.3" << false << false << ask("0.100")
        << w + "1.300kg，差:0.100kg，重量超差，未发货" << false;
    QTest::newRow("both set: the gram limit trips")
        << ScanCheck{false, 50, 50, false} << 1200 << "1.3" << false << false << ask("0.100")
        << w + "1.300kg，差:0.100kg，重量超差，未发货" << false;
    QTest::newRow("both set: within both")
        << ScanCheck{false, 200, 20, false} << 1200 << "1.3" << false << false << ""
        << w + "1.300kg，差:0.100kg" << true;
    QTest::newRow("Yes, then the finish question Yes")
        << grams(10) << 1200 << "1.25" << true << true << ask("0.050") << kShipped + "，超差已确认"
        << true;
}

void TestScanGuards::weightDifference() {
    QFETCH(ScanCheck, check);
    QFETCH(int, goods);
    QFETCH(QString, parcel);
    QFETCH(bool, answer);
    QFETCH(bool, askFinish);
    QFETCH(QString, question);
    QFETCH(QString, line);
    QFETCH(bool, shipped);

    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), true);
    f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
    const int id = f.addTrade({{QStringLiteral("weight"), goods}});
    const QStringList before = f.snapshot();
    ScanInput in = input(parcel);
    in.checks = check;
    in.askBeforeFinishing = askFinish;
    RecordingSink sink;
    sink.answers = {answer, true};
    // Neither question may find a transaction open: the packer may take a while.
    sink.whileAsking = [&] {
        QVERIFY(!f.orders.inTransaction());
    };
    Scan(f.orders, f.config, sink).run(in);

    QStringList asked;
    if (!question.isEmpty())
        asked.append(question);
    if (askFinish && (question.isEmpty() || answer))
        asked.append(QStringLiteral("是否完成发货？"));
    QCOMPARE(sink.questions, asked);
    QCOMPARE(sink.failureCues, question.isEmpty() ? 0 : 1);
    QCOMPARE(sink.lines, QStringList{line});
    QCOMPARE(sink.successes, QList<bool>{shipped});
    if (shipped) {
        QCOMPARE(f.trade(id).text("TradeStatus"), QStringLiteral("交易完成"));
        QCOMPARE(f.rows(QStringLiteral("df_PostageCharge")).size(), 1);
        QCOMPARE(f.esStates(), QList<int>{2});
    } else {
        QCOMPARE(f.snapshot(), before); // not even the weight and postage
    }
}

void TestScanGuards::eachOrderOfAParcelAskedForItself() {
    OrderFixture f;
    f.addStyle(QStringLiteral("圆通速递"), false);
    const int first = f.addTrade({{QStringLiteral("weight"), 1000}});
    const int second = f.addTrade(
        {{QStringLiteral("weight"), 800}, {QStringLiteral("sTradeNO"), QStringLiteral("T2")}});
    const QStringList secondBefore = f.snapshot({QStringLiteral("df_TradeLog")});
    ScanInput in = input();
    in.checks.maxDiffGrams = 100;
    RecordingSink sink;
    sink.answers = {true, false};
    Scan(f.orders, f.config, sink).run(in);

    QCOMPARE(sink.questions,
             (QStringList{"包裹重量与商品重量相差0.250千克，超出允许范围，是否继续发货？",
                          "包裹重量与商品重量相差-0.800千克，超出允许范围，是否继续发货？"}));
    QCOMPARE(sink.failureCues, 2);
    QCOMPARE(sink.lines,
             (QStringList{
                 "14:05:09 : YT1001 : 商品:1.000kg，包裹:1.250kg，差:0.250kg，超差已确认",
                 "14:05:09 : YT1001 : 商品:0.800kg，包裹:0.000kg，差:-0.800kg，重量超差，未发货"}));
    QCOMPARE(sink.successes, (QList<bool>{true, false}));
    QCOMPARE(f.trade(first).text("TradeStatus"), QStringLiteral("交易完成"));
    QCOMPARE(f.trade(first).integer("weight2"), 1250);
    const Record t = f.trade(second);
    QCOMPARE(t.text("TradeStatus"), QStringLiteral("收款发货"));
    QVERIFY(t.isNull("weight2"));
    QCOMPARE(f.rows(QStringLiteral("df_TradeLog")).size(), 1);
}

void TestScanGuards::refusalReason_data() {
    QTest::addColumn<bool>("explain");
    QTest::addColumn<bool>("packOut");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("bSnd"); // -1: no order on the waybill
    QTest::addColumn<bool>("logs");
    QTest::addColumn<QString>("reason"); // empty: no line under the refusal

    const QString closed = "已于 2024-03-01 10:20:30 由 李四 完成关闭";
    QTest::newRow("off: completed order") << false << false << "交易完成" << 1 << true << "";
    QTest::newRow("completed, completing mode")
        << true << false << "交易完成" << 1 << true << closed;
    QTest::newRow("completed, pack-out mode") << true << true << "交易完成" << 1 << true << closed;
    QTest::newRow("completed without a closing log")
        << true << false << "交易完成" << 1 << false << "已完成";
    QTest::newRow("not packed out, completing mode")
        << true << false << "收款发货" << 0 << true << "订单尚未打包出库，请勾选替换打包出库";
    QTest::newRow("packed out, pack-out mode")
        << true << true << "收款发货" << 1 << true << "订单已打包出库";
    QTest::newRow("other status, completing mode")
        << true << false << "等待付款" << 0 << true << "订单状态为等待付款";
    QTest::newRow("other status, pack-out mode")
        << true << true << "已退款" << 1 << false << "订单状态为已退款";
    QTest::newRow("no order, completing mode") << true << false << "" << -1 << false << "";
    QTest::newRow("no order, pack-out mode") << true << true << "" << -1 << false << "";
}

void TestScanGuards::refusalReason() {
    QFETCH(bool, explain);
    QFETCH(bool, packOut);
    QFETCH(QString, status);
    QFETCH(int, bSnd);
    QFETCH(bool, logs);
    QFETCH(QString, reason);

    OrderFixture f;
    // Another order's closing, and later events of this one that are not its closing.
    const int other = f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")}});
    insertRow(f.orders, "df_TradeLog",
              {{"TradeID", other},
               {"Time", "2024-03-04 09:00:00"},
               {"User", "王五"},
               {"Event", "完成关闭"}});
    if (bSnd >= 0) {
        const int id =
            f.addTrade({{QStringLiteral("TradeStatus"), status}, {QStringLiteral("bSnd"), bSnd}});
        if (logs) {
            const QList<QStringList> rows{{"2024-02-28 08:00:00", "张三", "完成关闭"},
                                          {"2024-03-01 10:20:30", "李四", "完成关闭"},
                                          {"2024-03-02 11:00:00", "赵六", "发货出库"},
                                          {"2024-02-29 12:00:00", "钱七", "完成关闭"}};
            for (const QStringList& r : rows)
                insertRow(f.orders, "df_TradeLog",
                          {{"TradeID", id}, {"Time", r[0]}, {"User", r[1]}, {"Event", r[2]}});
        }
    }
    const QStringList before = f.snapshot();
    ScanInput in = input();
    in.packOutMode = packOut;
    in.checks.explainRefusal = explain;
    RecordingSink sink;
    Scan(f.orders, f.config, sink).run(in);

    QStringList expected{"14:05:09 : YT1001 : 没有符合条件的记录!"};
    if (!reason.isEmpty())
        expected.append("+ " + reason);
    QCOMPARE(sink.lines, expected);
    QCOMPARE(sink.successes, QList<bool>{false});
    QCOMPARE(f.snapshot(), before);
}

void TestScanGuards::statementsPerScan_data() {
    QTest::addColumn<QString>("waybill");
    QTest::addColumn<int>("extra"); // statements the checks add

    QTest::newRow("shipping path") << "YT1001" << 0;
    QTest::newRow("refusal path") << "YT2002" << 1;
}

void TestScanGuards::statementsPerScan() {
    QFETCH(QString, waybill);
    QFETCH(int, extra);

    qint64 sent[2] = {0, 0};
    for (int on = 0; on < 2; ++on) {
        OrderFixture f;
        f.addStyle(QStringLiteral("圆通速递"), true);
        f.addTrade();
        f.addTrade({{QStringLiteral("PostID"), QStringLiteral("YT2002")},
                    {QStringLiteral("TradeStatus"), QStringLiteral("交易完成")}});
        FixedReading source;
        source.reading = reading(1250, true, 10);
        ScanInput in = input();
        in.waybill = waybill;
        in.showSummary = true;
        if (on)
            in.checks = ScanCheck{true, 100000, 1000, true};
        RecordingSink sink;
        const qint64 s0 = f.orders.statementCount();
        Scan(f.orders, f.config, sink, &source).run(in);
        sent[on] = f.orders.statementCount() - s0;
        QCOMPARE(sink.successes.size(), 1);
        QCOMPARE(sink.successes[0], extra == 0);
    }
    QCOMPARE(sent[1], sent[0] + extra);
}

QTEST_GUILESS_MAIN(TestScanGuards)
#include "tst_scanguards.moc"
