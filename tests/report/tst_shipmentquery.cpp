#include "platform/Database.h"
#include "report/ListTable.h"
#include "report/ShipmentQuery.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

namespace {

struct Order {
    QString tradeNo;
    QVariant overtime; // text as the scan writes it, or null
    QString shop = QStringLiteral("旗舰店");
    QString style = QStringLiteral("圆通");
    QString oper = QStringLiteral("张三");
};

ShipmentFilter september(int from = 1, int to = 30) {
    ShipmentFilter f;
    f.from = QDate(2011, 9, from);
    f.to = QDate(2011, 9, to);
    return f;
}

// A table of the query's cells, as the result list holds them.
ListTable resultTable() {
    return ListTable(QStringList(ShipmentQuery::CellCount));
}

// Every row of a filter, read in batches as the query tab does, as lists of cell texts.
QList<QStringList> readShipments(Connection& orders, const ShipmentFilter& filter) {
    ShipmentQuery query(orders, filter);
    ListTable table = resultTable();
    while (query.fetch(table, 1000)) {
    }
    QList<QStringList> rows;
    for (qsizetype r = 0; r < table.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table.columnCount(); ++c)
            cells.append(table.cellView(r, c).toString()); // a copy: the table goes
        rows.append(cells);
    }
    return rows;
}

QStringList tradeNumbers(const QList<QStringList>& rows) {
    QStringList out;
    for (const QStringList& r : rows)
        out.append(r.at(2));
    return out;
}

} // namespace

class TestShipmentQuery : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filters_data();
    void filters();
    void dateRange_data();
    void dateRange();
    void cells();
    void weightDifference_data();
    void weightDifference();
    void readsInBatches();

private:
    void add(const Order& o);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Connection> m_orders;
};

void TestShipmentQuery::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_orders = std::make_unique<Connection>();
    test::openOrders(*m_orders, test::createOrderDb(m_dir->path()));
}

void TestShipmentQuery::cleanup() {
    m_orders.reset();
    m_dir.reset();
}

void TestShipmentQuery::add(const Order& o) {
    insertRow(*m_orders, QStringLiteral("df_Trade"),
              {{QStringLiteral("TradeNO"), o.tradeNo},
               {QStringLiteral("overtime"), o.overtime},
               {QStringLiteral("Shop"), o.shop},
               {QStringLiteral("sndStyle"), o.style},
               {QStringLiteral("sndOperator"), o.oper}});
}

void TestShipmentQuery::filters_data() {
    QTest::addColumn<QString>("shop");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("oper");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty entries: no filter")
        << QString() << QString() << QString()
        << QStringList{"T1", "T2", "T3", "T4", "T5", "T6", "T8"};
    QTest::newRow("shop") << u"二店"_qs << QString() << QString() << QStringList{"T2", "T4"};
    QTest::newRow("logistics method")
        << QString() << u"申通"_qs << QString() << QStringList{"T3", "T4"};
    QTest::newRow("operator") << QString() << QString() << u"李四"_qs << QStringList{"T4", "T5"};
    QTest::newRow("all three") << u"二店"_qs << u"申通"_qs << u"李四"_qs << QStringList{"T4"};
    QTest::newRow("pseudo-operator Tolvane")
        << QString() << QString() << u"Tolvane"_qs << QStringList{"T6"};
    QTest::newRow("apostrophe in a shop name")
        << u"Bob's Shop"_qs << QString() << QString() << QStringList{"T6"};
    QTest::newRow("apostrophe in an operator name")
        << QString() << QString() << u"O'Brien"_qs << QStringList{"T8"};
    QTest::newRow("no match") << u"无此店"_qs << QString() << QString() << QStringList{};
}

void TestShipmentQuery::filters() {
    QFETCH(QString, shop);
    QFETCH(QString, style);
    QFETCH(QString, oper);
    QFETCH(QStringList, expected);

    const QString day = QStringLiteral("2011-09-05 00:00:00");
    add({u"T1"_qs, day});
    add({u"T2"_qs, day, u"二店"_qs});
    add({u"T3"_qs, day, u"旗舰店"_qs, u"申通"_qs});
    add({u"T4"_qs, day, u"二店"_qs, u"申通"_qs, u"李四"_qs});
    add({u"T5"_qs, day, u"旗舰店"_qs, u"圆通"_qs, u"李四"_qs});
    add({u"T6"_qs, day, u"Bob's Shop"_qs, u"圆通"_qs, u"Tolvane"_qs});
    add({u"T7"_qs, QVariant(), u"二店"_qs, u"申通"_qs, u"李四"_qs}); // packed out only
    add({u"T8"_qs, day, u"旗舰店"_qs, u"圆通"_qs, u"O'Brien"_qs});

    ShipmentFilter f = september();
    f.shop = shop;
    f.sndStyle = style;
    f.sndOperator = oper;
    const QList<QStringList> rows = readShipments(*m_orders, f);
    QCOMPARE(tradeNumbers(rows), expected);
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].size(), ShipmentQuery::CellCount);
        QCOMPARE(rows[i].at(0), QString::number(i + 1)); // numbered without gaps
    }
}

void TestShipmentQuery::dateRange_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("expected");

    // Fixture: A on 09-01 midnight, B on 09-01 10:00, C on 09-02 midnight, D on 09-02 10:00,
    // E on 09-03 midnight.
    QTest::newRow("one day: its midnight row only, not a later time")
        << QDate(2011, 9, 1) << QDate(2011, 9, 1) << QStringList{"A"};
    QTest::newRow("to-date midnight in, to-date 10:00 out")
        << QDate(2011, 9, 1) << QDate(2011, 9, 2) << QStringList{"A", "B", "C"};
    QTest::newRow("from-date later than to-date")
        << QDate(2011, 9, 3) << QDate(2011, 9, 1) << QStringList{};
    QTest::newRow("whole range") << QDate(2011, 8, 1) << QDate(2011, 9, 3)
                                 << QStringList{"A", "B", "C", "D", "E"};
}

void TestShipmentQuery::dateRange() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, expected);

    add({u"A"_qs, u"2011-09-01 00:00:00"_qs});
    add({u"B"_qs, u"2011-09-01 10:00:00"_qs});
    add({u"C"_qs, u"2011-09-02 00:00:00"_qs});
    add({u"D"_qs, u"2011-09-02 10:00:00"_qs});
    add({u"E"_qs, u"2011-09-03 00:00:00"_qs});

    ShipmentFilter f;
    f.from = from;
    f.to = to;
    QCOMPARE(tradeNumbers(readShipments(*m_orders, f)), expected);
}

void TestShipmentQuery::cells() {
    insertRow(*m_orders, QStringLiteral("df_Trade"),
              {{u"overtime"_qs, u"2011-09-02 00:00:00"_qs},
               {u"TradeNO"_qs, u"000123"_qs},
               {u"Shop"_qs, u"旗舰店"_qs},
               {u"sndStyle"_qs, u"圆通"_qs},
               {u"PostID"_qs, u"YT9001"_qs},
               {u"CustomerID"_qs, u"buyer_1"_qs},
               {u"CustomerName"_qs, u"王五"_qs},
               {u"Province"_qs, u"浙江省"_qs},
               {u"City"_qs, u"杭州市"_qs},
               {u"Area"_qs, u"西湖区"_qs},
               {u"Adr"_qs, u"文三路 1 号"_qs},
               {u"Zip"_qs, u"012345"_qs},
               {u"weight"_qs, 1100},
               {u"weight2"_qs, 1250},
               {u"PostFee2"_qs, 12.5},
               {u"sndOperator"_qs, u"张三"_qs},
               {u"phone"_qs, u"13800000000"_qs}});
    // A time of day other than midnight is shown; null fields are empty cells.
    insertRow(*m_orders, QStringLiteral("df_Trade"),
              {{u"overtime"_qs, u"2011-09-03 10:05:09"_qs}, {u"TradeNO"_qs, u"T2"_qs}});

    const QList<QStringList> rows = readShipments(*m_orders, september());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0], (QStringList{"1", "2011-09-02", "000123", u"旗舰店"_qs, u"圆通"_qs, "YT9001",
                                   "buyer_1", u"王五"_qs, u"浙江省"_qs, u"杭州市"_qs, u"西湖区"_qs,
                                   u"文三路 1 号"_qs, "012345", "1100", "1250", "150", "12.5",
                                   u"张三"_qs, "13800000000"}));
    QCOMPARE(rows[1], (QStringList{"2", "2011-09-03 10:05:09", "T2", "", "", "", "", "", "", "", "",
                                   "", "", "", "", "0", "", "", ""}));
}

void TestShipmentQuery::weightDifference_data() {
    QTest::addColumn<QVariant>("weight");
    QTest::addColumn<QVariant>("weight2");
    QTest::addColumn<QString>("goodsCell");
    QTest::addColumn<QString>("difference");

    QTest::newRow("null goods weight") << QVariant() << QVariant(1250) << ""
                                       << "1250";
    QTest::newRow("both null") << QVariant() << QVariant() << ""
                               << "0";
    QTest::newRow("lighter parcel") << QVariant(1300) << QVariant(1250) << "1300"
                                    << "-50";
    QTest::newRow("equal") << QVariant(800) << QVariant(800) << "800"
                           << "0";
}

void TestShipmentQuery::weightDifference() {
    QFETCH(QVariant, weight);
    QFETCH(QVariant, weight2);
    QFETCH(QString, goodsCell);
    QFETCH(QString, difference);

    insertRow(*m_orders, QStringLiteral("df_Trade"),
              {{u"overtime"_qs, u"2011-09-02 00:00:00"_qs},
               {u"weight"_qs, weight},
               {u"weight2"_qs, weight2}});
    const QList<QStringList> rows = readShipments(*m_orders, september());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].at(13), goodsCell);
    QCOMPARE(rows[0].at(15), difference);
    // The general form of a fractional difference, as a decimal column could give it.
    QCOMPARE(ShipmentQuery::weightDifference(0.1, 0.3), u"0.2"_qs);
}

void TestShipmentQuery::readsInBatches() {
    for (int i = 1; i <= 5; ++i)
        add({QStringLiteral("B%1").arg(i), u"2011-09-03 00:00:00"_qs});
    ShipmentQuery query(*m_orders, september());
    ListTable rows = resultTable();
    QVERIFY(query.fetch(rows, 2));
    QCOMPARE(rows.rowCount(), 2);
    QVERIFY(query.fetch(rows, 2));
    QCOMPARE(rows.rowCount(), 4);
    QVERIFY(!query.fetch(rows, 2));
    QVERIFY(!query.fetch(rows, 2));
    QCOMPARE(rows.rowCount(), 5);
    QCOMPARE(query.count(), 5);
    QCOMPARE(rows.cell(4, 0), u"5"_qs); // numbering goes on across batches
    QCOMPARE(ShipmentQuery::countText(25), u"查询到 25 条记录"_qs);
}

QTEST_APPLESS_MAIN(TestShipmentQuery)
#include "tst_shipmentquery.moc"
