// The owner's figures: on a small order database made by the sqlite3 tool where every number
// can be worked out by hand, on demo data against counts made here in plain SQL, and their
// workbook read back by xlrd.
#include "platform/Database.h"
#include "platform/Error.h"
#include "report/Stats.h"
#include "support/ReadBack.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"
#include "xls/XlsWorkbook.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

namespace {

// Two operators on 2011-09-01 and 09-02; by hand:
//  张三 09-01 08:00:00 W1, 08:00:30 W2, 08:02:00 W3 (two orders, two log rows at once);
//       09-02 09:00:00 W5 packed out, 09:03:20 W5 completed (one order scanned twice).
//       Gaps 30, 90, 200: median 90. Spans 120 + 200 = 320 s. 4 parcels, 5 orders,
//       1100 + 800 + 1000 + 0 + 2000 = 4900 g, 8 + 6 + 10 + 0 + 12.5 = 36.5 yuan, 45 an hour.
//  李四 09-01 23:59:59 W10 (other shop); 09-02 10:00:00 W6 (and a log row of another event),
//       10:10:00 W7. One gap 600; spans 0 + 600. 3 parcels, 3 orders, 3850 g, 21.5 yuan,
//       18 an hour.
//  Not counted: W8 has no log row, W9 was scanned on 09-03.
// Goods weights: W2 500 -> 800 (+60 %), W7 2000 -> 1500 (-25 %) are listed; W10 1000 -> 1200
// is exactly +20 %, W5 has a goods weight of 0 (unknown), W3 400 + 600 -> 1000.
const char* const kFixture = R"SQL(
insert into df_Trade (ID, PostID, Shop, sndStyle, Province, weight, weight2, PostFee2) values
 (1, 'W1', 'S1', '圆通', '浙江省', 1000, 1100, 8.0),
 (2, 'W2', 'S1', '圆通', '浙江省', 500, 800, 6.0),
 (3, 'W3', 'S1', '圆通', '浙江省', 400, 1000, 10.0),
 (4, 'W3', 'S1', '圆通', '浙江省', 600, 0, 0),
 (5, 'W5', 'S1', '申通', '江苏省', 0, 2000, 12.5),
 (6, 'W6', 'S1', '申通', '江苏省', 1000, 1150, 7.5),
 (7, 'W7', 'S1', '申通', '浙江省', 2000, 1500, 9.0),
 (8, 'W8', 'S1', '圆通', '浙江省', 1000, 999, 4.0),
 (9, 'W9', 'S1', '圆通', '浙江省', 1000, 1000, 4.0),
 (10, 'W10', 'S2', '圆通', '上海市', 1000, 1200, 5.0);
insert into df_TradeLog (TradeID, Time, User, Event) values
 (1, '2011-09-01 08:00:00', '张三', '完成关闭'),
 (2, '2011-09-01 08:00:30', '张三', '完成关闭'),
 (3, '2011-09-01 08:02:00', '张三', '完成关闭'),
 (4, '2011-09-01 08:02:00', '张三', '完成关闭'),
 (5, '2011-09-02 09:00:00', '张三', '发货出库'),
 (5, '2011-09-02 09:03:20', '张三', '完成关闭'),
 (6, '2011-09-02 10:00:00', '李四', '完成关闭'),
 (6, '2011-09-02 10:00:00', '李四', '修改备注'),
 (7, '2011-09-02 10:10:00', '李四', '完成关闭'),
 (9, '2011-09-03 08:00:00', '张三', '完成关闭'),
 (10, '2011-09-01 23:59:59', '李四', '完成关闭');
)SQL";

// Makes the order database as another program would: the sqlite3 tool runs the schema and
// the rows.
QString makeFixture(const QString& folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("orders.db"));
    QFile schema(test::dataDir() + QStringLiteral("/orders.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        throw Error(schema.errorString());
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {path});
    sqlite.write(schema.readAll());
    sqlite.write(kFixture);
    sqlite.closeWriteChannel();
    if (!sqlite.waitForFinished(60000) || sqlite.exitCode() != 0)
        throw Error(QString::fromUtf8(sqlite.readAllStandardError()));
    return path;
}

StatsFilter september(int from, int to) {
    return {QDate(2011, 9, from), QDate(2011, 9, to), {}, {}};
}

QString describe(const OperatorFigures& o) {
    QStringList days;
    for (int n : o.parcelsPerDay)
        days.append(QString::number(n));
    return QStringLiteral("%1 %2/%3 %4g %5 %6s %7/h gap %8 days %9")
        .arg(o.name)
        .arg(o.parcels)
        .arg(o.orders)
        .arg(o.weightGrams)
        .arg(o.postage)
        .arg(o.workSeconds)
        .arg(o.parcelsPerHour)
        .arg(o.medianGapSeconds)
        .arg(days.join(u','));
}

// Demo orders in folder, with 300 scans a day over the last five days.
void openDemoScans(Connection& c, const QString& folder) {
    test::openOrders(c, test::createOrderDb(folder));
    DemoOptions options;
    options.orders = 3000;
    options.scanDays = 5;
    options.scansPerDay = 300;
    fillDemoOrders(c, options);
}

// Every figure as text, sums to the last bit: two ways of reading that agree give equal texts.
QString describeAll(const StatsFigures& f) {
    const auto exact = [](double v) {
        return QString::number(v, 'g', 17);
    };
    QStringList out{QStringLiteral("scans %1").arg(f.scans)};
    for (const QDate& d : f.days)
        out.append(d.toString(Qt::ISODate));
    for (const OperatorFigures& o : f.operators)
        out.append(describe(o) + u' ' + exact(o.postage) + u' ' + exact(o.parcelsPerHour));
    for (const MethodFigures& m : f.methods)
        out.append(QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(m.name)
                       .arg(m.parcels)
                       .arg(m.weightGrams)
                       .arg(exact(m.postage), exact(m.averagePostage)));
    for (const ProvinceFigures& p : f.provinces)
        out.append(QStringLiteral("%1 %2 %3").arg(p.name).arg(p.parcels).arg(exact(p.postage)));
    for (const WeightDifference& w : f.weightDifferences)
        out.append(QStringLiteral("%1 %2 %3 %4")
                       .arg(w.waybill)
                       .arg(w.goodsGrams)
                       .arg(w.parcelGrams)
                       .arg(exact(w.share)));
    for (int n : f.parcelsPerHour)
        out.append(QString::number(n));
    return out.join(u'\n');
}

} // namespace

Q_DECLARE_METATYPE(tv::StatsFilter)

class TestStats : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void operators();
    void methodsProvincesHours();
    void weightDifferences();
    void filters_data();
    void filters();
    void statementIsOneTextWithBoundValues();
    void scansFoundThroughTheTimeIndex_data();
    void scansFoundThroughTheTimeIndex();
    void workbookReadBack();
    void demoDataAgainstPlainSql();
    void provincesBeyondFifteen();
    void readersAgree_data();
    void readersAgree();
    void fileGoneBeforeTheRead();

private:
    QTemporaryDir m_dir;
    Connection m_orders;
    StatsFigures m_figures;
};

void TestStats::initTestCase() {
    QVERIFY(m_dir.isValid());
    test::openOrders(m_orders, makeFixture(m_dir.path()));
    m_figures = Stats::compute(m_orders, september(1, 2));
}

void TestStats::operators() {
    const StatsFigures& f = m_figures;
    QCOMPARE(f.days, (QList<QDate>{QDate(2011, 9, 1), QDate(2011, 9, 2)}));
    // 6 rows of 张三 and 3 of 李四: not the other event, not 09-03, not the order without one.
    QCOMPARE(f.scans, 9);
    QCOMPARE(f.operators.size(), 2);
    QCOMPARE(describe(f.operators[0]), u"张三 4/5 4900g 36.5 320s 45/h gap 90 days 3,1"_qs);
    QCOMPARE(describe(f.operators[1]), u"李四 3/3 3850g 21.5 600s 18/h gap 600 days 1,2"_qs);
    QCOMPARE(Stats::kilograms(f.operators[0].weightGrams), u"4.900"_qs);
    QCOMPARE(Stats::money(f.operators[0].postage), u"36.50"_qs);
    QCOMPARE(Stats::duration(f.operators[0].workSeconds), u"0:05:20"_qs);
}

void TestStats::methodsProvincesHours() {
    const StatsFigures& f = m_figures;
    QCOMPARE(f.methods.size(), 2);
    // 圆通: W1 W2 W3 W10, 1100 + 800 + 1000 + 0 + 1200 g, 8 + 6 + 10 + 0 + 5 yuan.
    QCOMPARE(f.methods[0].name, u"圆通"_qs);
    QCOMPARE(f.methods[0].parcels, 4);
    QCOMPARE(f.methods[0].weightGrams, 4100);
    QCOMPARE(f.methods[0].postage, 29.0);
    QCOMPARE(f.methods[0].averagePostage, 7.25);
    // 申通: W5 W6 W7, each order once though W5 was scanned twice.
    QCOMPARE(f.methods[1].name, u"申通"_qs);
    QCOMPARE(f.methods[1].parcels, 3);
    QCOMPARE(f.methods[1].weightGrams, 4650);
    QCOMPARE(f.methods[1].postage, 29.0);
    QCOMPARE(Stats::money(f.methods[1].averagePostage), u"9.67"_qs);

    QCOMPARE(f.provinces.size(), 3);
    const auto province = [](const ProvinceFigures& p) {
        return QStringLiteral("%1 %2 %3").arg(p.name).arg(p.parcels).arg(p.postage);
    };
    QCOMPARE(province(f.provinces[0]), u"浙江省 4 33"_qs);
    QCOMPARE(province(f.provinces[1]), u"江苏省 2 20"_qs);
    QCOMPARE(province(f.provinces[2]), u"上海市 1 5"_qs);

    std::array<int, 24> hours{};
    hours[8] = 3;  // W1 W2 W3
    hours[9] = 1;  // W5, twice in the hour
    hours[10] = 2; // W6 W7
    hours[23] = 1; // W10
    QCOMPARE(f.parcelsPerHour, hours);
}

void TestStats::weightDifferences() {
    const QList<WeightDifference>& d = m_figures.weightDifferences;
    QCOMPARE(d.size(), 2);
    QCOMPARE(d[0].waybill, u"W2"_qs);
    QCOMPARE(d[0].goodsGrams, 500);
    QCOMPARE(d[0].parcelGrams, 800);
    QCOMPARE(d[0].differenceGrams, 300);
    QCOMPARE(d[0].share, 0.6);
    QCOMPARE(d[1].waybill, u"W7"_qs);
    QCOMPARE(d[1].differenceGrams, -500);
    QCOMPARE(d[1].share, -0.25);
}

void TestStats::filters_data() {
    QTest::addColumn<StatsFilter>("filter");
    QTest::addColumn<QStringList>("operators"); // name and parcels per day
    QTest::addColumn<int>("scans");
    StatsFilter shop = september(1, 2);
    shop.shop = QStringLiteral("s2"); // compared without regard to case, as SQL Server does
    StatsFilter method = september(1, 2);
    method.sndStyle = QStringLiteral("申通");
    QTest::newRow("shop") << shop << QStringList{u"李四 1,0"_qs} << 1;
    QTest::newRow("logistics method") << method << QStringList{u"李四 0,2"_qs, u"张三 0,1"_qs} << 4;
    QTest::newRow("second day only")
        << september(2, 2) << QStringList{u"李四 2"_qs, u"张三 1"_qs} << 4;
    QTest::newRow("third day: the late scan") << september(3, 3) << QStringList{u"张三 1"_qs} << 1;
    QTest::newRow("from after to") << september(2, 1) << QStringList() << 0;
    QTest::newRow("a day without scans") << september(20, 20) << QStringList() << 0;
}

void TestStats::filters() {
    QFETCH(StatsFilter, filter);
    QFETCH(QStringList, operators);
    QFETCH(int, scans);
    const StatsFigures f = Stats::compute(m_orders, filter);
    QStringList actual;
    for (const OperatorFigures& o : f.operators) {
        QStringList days;
        for (int n : o.parcelsPerDay)
            days.append(QString::number(n));
        actual.append(o.name + u' ' + days.join(u','));
    }
    QCOMPARE(actual, operators);
    QCOMPARE(f.scans, scans);
}

// A quote in a filter value is a value, not statement text.
void TestStats::statementIsOneTextWithBoundValues() {
    StatsFilter f = september(1, 2);
    f.shop = QStringLiteral("x' or '1'='1");
    f.sndStyle = QStringLiteral("y");
    QVERIFY(!Stats::statement(f).contains(f.shop));
    QCOMPARE(Stats::parameters(Dialect(), f).size(), 6);
    QCOMPARE(Stats::compute(m_orders, f).scans, 0);
}

void TestStats::scansFoundThroughTheTimeIndex_data() {
    QTest::addColumn<StatsFilter>("filter");
    StatsFilter shop = september(1, 30);
    shop.shop = QStringLiteral("S1");
    StatsFilter both = shop;
    both.sndStyle = QStringLiteral("圆通");
    QTest::newRow("no filter") << september(1, 30);
    QTest::newRow("shop") << shop;
    QTest::newRow("shop and method") << both;
}

// A month of a busy shop is a million log rows among many more: they must be found by the
// index on the time, not by reading the whole log.
void TestStats::scansFoundThroughTheTimeIndex() {
    QFETCH(StatsFilter, filter);
    const QList<Record> plan =
        selectRows(m_orders, QStringLiteral("explain query plan ") + Stats::statement(filter),
                   Stats::parameters(m_orders.dialect(), filter));
    QStringList steps;
    for (const Record& r : plan)
        steps.append(r.text(QStringLiteral("detail")));
    const QString text = steps.join(u'\n');
    QVERIFY2(text.contains(QStringLiteral("USING INDEX df_TradeLog_Time")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("SCAN l")), qPrintable(text));
}

void TestStats::workbookReadBack() {
    XlsWorkbook book;
    Stats::writeWorkbook(m_figures, book);
    const QString path = m_dir.filePath(QStringLiteral("stats.xls"));
    book.save(path);
    const test::ReadResult read = test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QStringList names;
    for (const test::ReadSheet& s : read.sheets)
        names.append(s.name);
    QCOMPARE(names, (QStringList{u"操作员"_qs, u"每日包裹"_qs, u"物流方式"_qs, u"省份"_qs,
                                 u"重量差异"_qs, u"时段"_qs}));
    const auto values = [&](int sheet) {
        return read.json[u"sheets"_qs][sheet][u"values"_qs].toArray();
    };
    const auto json = [](const char* text) {
        return QJsonDocument::fromJson(text).array();
    };
    // Numbers are numbers: sums in a spreadsheet work on them.
    const QJsonArray zhang = values(0)[1].toArray();
    QCOMPARE(zhang[0].toString(), u"张三"_qs);
    QCOMPARE(zhang[1].toDouble(), 4.0);
    QCOMPARE(zhang[2].toDouble(), 5.0);
    QCOMPARE(zhang[3].toDouble(), 4.9);
    QCOMPARE(zhang[4].toDouble(), 36.5);
    QCOMPARE(zhang[5].toDouble(), 320.0 / 3600);
    QCOMPARE(zhang[6].toDouble(), 45.0);
    QCOMPARE(zhang[7].toDouble(), 90.0);
    QCOMPARE(values(1), json(R"J([["发货员", "2011-09-01", "2011-09-02"],
                                 ["张三", 3, 1], ["李四", 1, 2]])J"));
    QCOMPARE(values(2)[2], json(R"J([["申通", 3, 4.65, 29, 9.666666666666666]])J").at(0));
    QCOMPARE(values(3), json(R"J([["省", "包裹数", "邮资(元)"], ["浙江省", 4, 33],
                                 ["江苏省", 2, 20], ["上海市", 1, 5]])J"));
    QCOMPARE(values(4)[1], json(R"J([["W2", 0.5, 0.8, 0.3, 0.6]])J").at(0));
    QCOMPARE(values(5).size(), 25);
    QCOMPARE(values(5)[9], json("[[8, 3]]").at(0));
    QCOMPARE(read.json[u"sheets"_qs][0][u"number_formats"_qs].toArray(),
             json(R"J(["0", "0.0", "0.00", "0.000", "General"])J"));
    // Widths fitted on every sheet.
    for (const test::ReadSheet& s : read.sheets)
        QVERIFY2(!s.widths.isEmpty(), qPrintable(s.name));
}

// Demo orders with scans over 5 days, compared with counts made here in plain SQL.
void TestStats::demoDataAgainstPlainSql() {
    QTemporaryDir dir;
    Connection c;
    openDemoScans(c, dir.path());
    const QDate today = QDate::currentDate();
    const StatsFilter filter{today.addDays(-4), today, {}, {}};
    const StatsFigures f = Stats::compute(c, filter);

    const QString scans = QStringLiteral(
        " from [df_TradeLog] l join [df_Trade] t on t.[ID] = l.[TradeID] where l.[Event] in "
        "('完成关闭', '发货出库') and l.[Time] >= ? and l.[Time] < ?");
    const QVariantList range = {filter.from.toString(u"yyyy-MM-dd 00:00:00"),
                                today.addDays(1).toString(u"yyyy-MM-dd 00:00:00")};
    QCOMPARE(f.scans, selectRows(c, "select count(*) as [n]" + scans, range)[0].integer("n"));
    QVERIFY(f.scans > 1500);

    QHash<QString, QString> expected;
    for (const Record& r :
         selectRows(c,
                    "select l.[User] as [u], count(distinct t.[PostID]) as [p], count(distinct "
                    "t.[ID]) as [o]" +
                        scans + " group by l.[User]",
                    range))
        expected[r.text("u")] = r.text("p") + u' ' + r.text("o");
    for (const Record& r : selectRows(
             c,
             "select [u], sum([w]) as [w], sum([f]) as [f] from (select distinct l.[User] as [u], "
             "t.[ID], t.[weight2] as [w], t.[PostFee2] as [f]" +
                 scans + ") group by [u]",
             range))
        expected[r.text("u")] += u' ' + r.text("w") + u' ' + Stats::money(r.number("f"));
    for (const Record& r :
         selectRows(c,
                    "select [u], sum([span]) as [s] from (select l.[User] as [u], cast(round(("
                    "julianday(max(l.[Time])) - julianday(min(l.[Time]))) * 86400) as integer) as "
                    "[span]" +
                        scans + " group by l.[User], substr(l.[Time], 1, 10)) group by [u]",
                    range))
        expected[r.text("u")] += u' ' + r.text("s");
    QHash<QString, QString> actual;
    for (const OperatorFigures& o : f.operators)
        actual[o.name] = QStringLiteral("%1 %2 %3 %4 %5")
                             .arg(o.parcels)
                             .arg(o.orders)
                             .arg(o.weightGrams)
                             .arg(Stats::money(o.postage))
                             .arg(o.workSeconds);
    QCOMPARE(actual, expected);

    QHash<QString, QString> methods, methodsSql;
    for (const MethodFigures& m : f.methods)
        methods[m.name] = QStringLiteral("%1 %2 %3")
                              .arg(m.parcels)
                              .arg(m.weightGrams)
                              .arg(Stats::money(m.postage));
    for (const Record& r :
         selectRows(c,
                    "select [sndStyle], count(distinct [PostID]) as [p], sum([weight2]) as [w], "
                    "sum([PostFee2]) as [f] from [df_Trade] where [ID] in (select l.[TradeID]" +
                        scans + ") group by [sndStyle]",
                    range))
        methodsSql[r.text("sndStyle")] =
            r.text("p") + u' ' + r.text("w") + u' ' + Stats::money(r.number("f"));
    QCOMPARE(methods, methodsSql);

    std::array<int, 24> hours{};
    for (const Record& r : selectRows(c,
                                      "select cast(substr(l.[Time], 12, 2) as integer) as [h], "
                                      "count(distinct t.[PostID]) as [p]" +
                                          scans + " group by [h]",
                                      range))
        hours[size_t(r.integer("h"))] = r.integer("p");
    QCOMPARE(f.parcelsPerHour, hours);

    int heavy = 0;
    for (const Record& r : selectRows(
             c,
             "select count(*) as [n] from (select t.[PostID], sum(t.[weight]) as [g], "
             "sum(t.[weight2]) as [w], min(t.[weight]) as [m] from [df_Trade] t where t.[ID] in "
             "(select l.[TradeID]" +
                 scans +
                 ") group by t.[PostID]) where [m] > 0 and "
                 "abs([w] - [g]) * 5 > [g]",
             range))
        heavy = r.integer("n");
    QCOMPARE(f.weightDifferences.size(), heavy);
    QVERIFY(heavy > 0);
}

// Thirty provinces: the fifteen with most parcels, then the others summed as "其他".
void TestStats::provincesBeyondFifteen() {
    QTemporaryDir dir;
    Connection c;
    test::openOrders(c, test::createOrderDb(dir.path()));
    Transaction tx(c);
    int id = 0;
    for (int p = 1; p <= 30; ++p) {
        // Province p has p parcels of 1 yuan each.
        for (int k = 0; k < p; ++k) {
            ++id;
            insertRow(c, "df_Trade",
                      {{"ID", id},
                       {"PostID", QStringLiteral("P%1").arg(id)},
                       {"Province", QStringLiteral("省%1").arg(p, 2, 10, QLatin1Char('0'))},
                       {"weight2", 100},
                       {"PostFee2", 1.0}});
            insertRow(c, "df_TradeLog",
                      {{"TradeID", id},
                       {"Time", "2011-09-01 12:00:00"},
                       {"User", "张三"},
                       {"Event", "完成关闭"}});
        }
    }
    tx.commit();
    const StatsFigures f = Stats::compute(c, september(1, 1));
    QCOMPARE(f.provinces.size(), Stats::TopProvinces + 1);
    QCOMPARE(f.provinces.first().name, u"省30"_qs);
    QCOMPARE(f.provinces[14].name, u"省16"_qs);
    QCOMPARE(f.provinces.last().name, u"其他"_qs);
    QCOMPARE(f.provinces.last().parcels, 15 * 16 / 2); // provinces 1 to 15
    QCOMPARE(f.provinces.last().postage, 120.0);
    // Every parcel at the same second: gaps of 0, a working time of 0, no rate.
    QCOMPARE(f.operators[0].medianGapSeconds, 0.0);
    QCOMPARE(f.operators[0].parcelsPerHour, 0.0);
}

void TestStats::readersAgree_data() {
    QTest::addColumn<int>("firstDay"); // days before today
    QTest::addColumn<int>("lastDay");
    QTest::newRow("five days, split at noon of the third") << 4 << 0;
    QTest::newRow("two days, split at midnight") << 3 << 2;
    QTest::newRow("one day, split at noon") << 2 << 2;
    QTest::newRow("today only") << 0 << 0;
}

// Demo scans over five days, and rows on both sides of the middle of the range, read on one
// connection and by two readers at once: every figure, every order of ties and every sum to
// the last bit agree.
void TestStats::readersAgree() {
    QFETCH(int, firstDay);
    QFETCH(int, lastDay);
    QTemporaryDir dir;
    Connection c;
    openDemoScans(c, dir.path());

    // Around the middle of this range (noon of an odd count of days, midnight of an even).
    const QDate today = QDate::currentDate();
    const QDate from = today.addDays(-firstDay);
    const QDate to = today.addDays(-lastDay);
    const QDateTime begin = from.startOfDay();
    const QDateTime middle = begin.addSecs(begin.secsTo(to.addDays(1).startOfDay()) / 2);
    const auto at = [&](int seconds) {
        return middle.addSecs(seconds).toString(u"yyyy-MM-dd HH:mm:ss");
    };
    Transaction tx(c);
    const int base = selectRows(c, "select max([ID]) as [m] from [df_Trade]")[0].integer("m");
    const auto order = [&](int n, const QString& waybill, int goods, int parcel, double fee,
                           const QString& method, const QString& province) {
        insertRow(c, "df_Trade",
                  {{"ID", base + n},
                   {"PostID", waybill},
                   {"Shop", "S1"},
                   {"sndStyle", method},
                   {"Province", province},
                   {"weight", goods},
                   {"weight2", parcel},
                   {"PostFee2", fee}});
    };
    const auto scan = [&](int n, int seconds, const QString& user) {
        insertRow(
            c, "df_TradeLog",
            {{"TradeID", base + n}, {"Time", at(seconds)}, {"User", user}, {"Event", "完成关闭"}});
    };
    // One order scanned on both sides; a waybill of two orders, one on each side.
    order(1, "SPLIT1", 1000, 1500, 7.1, "圆通", "浙江省");
    scan(1, -1, "张三");
    scan(1, 0, "张三");
    order(2, "SPLIT2", 400, 700, 3.3, "圆通", "浙江省");
    order(3, "SPLIT2", 600, 800, 4.4, "圆通", "浙江省");
    scan(2, -2, "李四");
    scan(3, 1, "李四");
    // An operator, a method and a province seen only after the middle; the same share of
    // weight difference (+50 %) on both sides, so their order is a tie.
    order(4, "LATE4", 2000, 3000, 9.99, "新物流", "新疆");
    scan(4, 2, "新来的");
    order(5, "EARLY5", 2000, 3000, 0.1, "圆通", "浙江省");
    scan(5, -3, "张三");
    tx.commit();

    const StatsFilter filter{from, to, {}, {}};
    const QString one = describeAll(Stats::compute(c, filter, 1));
    const QString two = describeAll(Stats::compute(c, filter, 2));
    QCOMPARE(two, one);
    // The waybill read by both sides is one parcel of both orders' weights.
    QVERIFY2(one.contains(u"\nSPLIT2 1000 1500 0.5\n"_qs), qPrintable(one));
    QVERIFY(one.contains(u"\n新来的 1/1 3000g"_qs));
}

// The order file gone after the window opened it: the statistics say so, and make no new file.
void TestStats::fileGoneBeforeTheRead() {
    QTemporaryDir dir;
    const QString path = makeFixture(dir.path());
    Connection c;
    test::openOrders(c, path);
    QVERIFY(QFile::remove(path));
    try {
        Stats::compute(c, september(1, 2));
        QFAIL("no error");
    } catch (const Error& e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
