// The scan, the batch pass and the shipment query over SQL Server's wire: the order database
// is the scripted TDS server, reached through our ODBC driver and FreeTDS as in a shop; the
// postage rules come from a real configuration file. The tests read what the server recorded.
#include "platform/Database.h"
#include "platform/Error.h"
#include "report/ListTable.h"
#include "report/ShipmentQuery.h"
#include "shipping/BatchPackOut.h"
#include "shipping/Scan.h"
#include "support/RecordingSink.h"
#include "support/TdsServer.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace tv;
using test::RecordingSink;
using test::TdsServer;

namespace {

const QString kLatin1 = QStringLiteral("SQL_Latin1_General_CP1_CI_AS");
const QString kChinese = QStringLiteral("Chinese_PRC_CI_AS");

QString str(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

QJsonObject column(const QString& name, const QString& type) {
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("type"), type}};
}

QJsonObject answer(const QString& contains, const QJsonArray& columns, const QJsonArray& rows) {
    return QJsonObject{{QStringLiteral("contains"), contains},
                       {QStringLiteral("columns"), columns},
                       {QStringLiteral("rows"), rows}};
}

QJsonObject countAnswer(const QString& contains, int count) {
    return QJsonObject{{QStringLiteral("contains"), contains}, {QStringLiteral("count"), count}};
}

// One order row of the scan's selection.
struct WireOrder {
    int id = 1;
    QString sTradeNO = QStringLiteral("T1");
    QString remark = QStringLiteral("送小礼品");
    int weight = 1200;
};

// The selection's columns, text ones in the given type (varchar in a Chinese catalog,
// nvarchar for the Chinese texts of a Latin one).
QJsonObject selectionAnswer(const QString& textType, const QList<WireOrder>& orders) {
    QJsonArray columns{column(QStringLiteral("ID"), QStringLiteral("int"))};
    for (const char* name :
         {"sndStyle", "Province", "CustomerNeeds", "Remark", "Adr", "PostID", "sTradeNO"})
        columns.append(column(QLatin1String(name), textType));
    columns.append(column(QStringLiteral("weight"), QStringLiteral("int")));
    for (const char* name : {"RcvValue", "goodsCost", "otherFee"})
        columns.append(column(QLatin1String(name), QStringLiteral("money")));
    QJsonArray rows;
    for (const WireOrder& o : orders)
        rows.append(QJsonArray{o.id, QStringLiteral("圆通速递"), QStringLiteral("浙江省"),
                               QStringLiteral("请尽快发货"), o.remark, QStringLiteral("文三路1号"),
                               QStringLiteral("YT1001"), o.sTradeNO, o.weight, "100", "80", "0"});
    return answer(QStringLiteral("from [df_Trade] where [PostID] = @P1"), columns, rows);
}

// One row; QJsonArray{QJsonArray{...}} would copy the inner array instead.
QJsonArray oneRow(const QJsonArray& row) {
    QJsonArray rows;
    rows.append(row);
    return rows;
}

// Everything a scan of waybill YT1001 asks, answered as a server holding those orders would.
QJsonArray scanAnswers(const QString& textType, const QList<WireOrder>& orders, bool bMonth) {
    return QJsonArray{selectionAnswer(textType, orders),
                      answer(QStringLiteral("from [df_TradeGoods]"),
                             {column(QStringLiteral("GoodsName"), textType),
                              column(QStringLiteral("Spec"), textType),
                              column(QStringLiteral("Count"), QStringLiteral("int"))},
                             oneRow({QStringLiteral("羊毛衫"), QStringLiteral("红色 XL"), 2})),
                      answer(QStringLiteral("from [df_SndStyle] where [Style] = @P1"),
                             {column(QStringLiteral("bMonth"), QStringLiteral("bit"))},
                             bMonth ? oneRow({true}) : QJsonArray{}),
                      countAnswer(QStringLiteral("update [df_Trade]"), 1),
                      countAnswer(QStringLiteral("insert into [df_PostageCharge]"), 1),
                      countAnswer(QStringLiteral("insert into [df_TradeLog]"), 1),
                      countAnswer(QStringLiteral("update f set [PostStatus] = 2"), 1)};
}

// A short name for each request, in order: the table a statement works on, or the
// transaction step.
QStringList steps(const QList<QJsonObject>& requests) {
    QStringList out;
    for (const QJsonObject& r : requests) {
        const QString text = str(r, "text");
        const QString xact = str(r, "xact");
        if (!xact.isEmpty()) {
            out << xact;
            continue;
        }
        const QString verb = text.section(u' ', 0, 0);
        // The first table named; a subquery's table comes after it.
        const qsizetype df = text.indexOf(QLatin1String("[df_"));
        const qsizetype es = text.indexOf(QLatin1String("[es_"));
        const qsizetype open = df < 0 ? es : es < 0 ? df : qMin(df, es);
        const QString table =
            open >= 0 ? text.mid(open, text.indexOf(u']', open) - open + 1) : QStringLiteral("?");
        out << verb + u' ' + table;
    }
    return out;
}

// The statement's own parameters (after @stmt and @params of sp_executesql).
QJsonArray params(const QJsonObject& request) {
    const QJsonArray all = request.value(QLatin1String("params")).toArray();
    QJsonArray out;
    if (str(request, "proc") != QLatin1String("sp_executesql"))
        return out;
    for (int i = 2; i < all.size(); ++i)
        out.append(all[i]);
    return out;
}

// name=value pairs of an insert's or update's columns, from its text and parameters.
QHash<QString, QJsonObject> assigned(const QJsonObject& request) {
    const QString text = str(request, "text");
    QStringList names;
    if (text.startsWith(QLatin1String("insert"))) {
        const QString list = text.section(u'(', 1, 1).section(u')', 0, 0);
        for (const QString& n : list.split(QStringLiteral(", ")))
            names << n.mid(1, n.size() - 2);
    } else {
        const QString sets =
            text.section(QStringLiteral(" set "), 1).section(QStringLiteral(" where "), 0, 0);
        for (const QString& a : sets.split(QStringLiteral(", ")))
            names << a.section(u']', 0, 0).mid(1);
    }
    QHash<QString, QJsonObject> out;
    const QJsonArray p = params(request);
    for (int i = 0; i < names.size() && i < p.size(); ++i)
        out.insert(names[i], p[i].toObject());
    return out;
}

// The values an update requires of its row before it changes it: those after the key.
QJsonArray guardValues(const QJsonObject& update) {
    const QJsonArray p = params(update);
    const qsizetype sets = str(update, "text").section(QStringLiteral(" where "), 0, 0).count(u'@');
    QJsonArray out;
    for (qsizetype i = sets + 1; i < p.size(); ++i)
        out.append(p[i]);
    return out;
}

QList<QJsonObject> withText(const QList<QJsonObject>& requests, const QString& piece) {
    QList<QJsonObject> out;
    for (const QJsonObject& r : requests)
        if (str(r, "text").contains(piece))
            out << r;
    return out;
}

// The server's answers were all scripted or its own; no statement was cancelled (an
// attention is what a client sends to drop rows it did not read).
void checkCleanWire(const TdsServer& server) {
    for (const QJsonObject& r : server.records()) {
        QVERIFY2(str(r, "kind") != QLatin1String("attention"),
                 "a statement was cancelled with rows unread");
        const QString answered = str(r, "answered");
        if (!answered.isEmpty())
            QVERIFY2(answered == QLatin1String("script") || answered == QLatin1String("auto"),
                     qPrintable(str(r, "text") + u' ' + answered));
    }
}

// Every row of a filter, read in batches as the query tab does, as lists of cell texts.
QList<QStringList> readShipments(Connection& orders, const ShipmentFilter& filter) {
    ShipmentQuery query(orders, filter);
    ListTable table(QStringList(ShipmentQuery::CellCount));
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

} // namespace

class TestScanWire : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Connection m_config;

    // Starts the server and opens the order connection on it.
    void start(TdsServer& server, Connection& orders, const QString& collation,
               const QJsonArray& answers) {
        QVERIFY2(server.start(TdsServer::script(collation, answers)),
                 qPrintable(server.errorText()));
        orders.setConnectionString(server.connectionString());
        QVERIFY2(orders.open(), qPrintable(orders.lastError()));
    }

private slots:
    void initTestCase() {
        test::openConfig(m_config, test::createConfigDb(m_dir.path()));
        // 圆通速递 to 浙江省: 8 yuan for the first kilogram, 2 yuan for each started 500 g more.
        insertRow(m_config, QStringLiteral("rule"),
                  {{QStringLiteral("Express"), QStringLiteral("圆通速递")},
                   {QStringLiteral("Province"), QStringLiteral("浙江省")},
                   {QStringLiteral("RuleIndex"), QStringLiteral("2024-01-01-08-00-00")},
                   {QStringLiteral("StartWeight"), 0},
                   {QStringLiteral("EndWeight"), 100000},
                   {QStringLiteral("BeginChargeWeight"), 1000},
                   {QStringLiteral("BeginChargeFee"), 8},
                   {QStringLiteral("DetaWeight"), 500},
                   {QStringLiteral("DetaFee"), 2}});
    }

    void scan_data();
    void scan();
    void refusedOrder_data();
    void refusedOrder();
    void answeredNo_data();
    void answeredNo();
    void droppedAfterFirstSave();
    void batchPass();
    void shipmentQuery_data();
    void shipmentQuery();
};

void TestScanWire::scan_data() {
    QTest::addColumn<QString>("collation");
    QTest::addColumn<QString>("textType");
    QTest::addColumn<bool>("packOut");
    QTest::addColumn<int>("orderCount");
    QTest::addColumn<bool>("bMonth");
    QTest::addColumn<QString>("sTradeNO");

    QTest::newRow("Chinese catalog, completing, one order, bMonth")
        << kChinese << "varchar" << false << 1 << true << "T1";
    QTest::newRow("Latin catalog, completing, one order, bMonth")
        << kLatin1 << "nvarchar" << false << 1 << true << "T1";
    QTest::newRow("Latin catalog, pack-out, one order, no bMonth, two trades")
        << kLatin1 << "nvarchar" << true << 1 << false << "T1,T2";
    QTest::newRow("Chinese catalog, pack-out, two orders, bMonth, no trade")
        << kChinese << "varchar" << true << 2 << true << "";
    QTest::newRow("Latin catalog, completing, two orders, no bMonth, trailing comma")
        << kLatin1 << "nvarchar" << false << 2 << false << "T1,";
}

// A whole scan: the statements in their order, each order's writes in one transaction that
// is committed once, the Chinese values intact, empty texts and dates as the server needs
// them, and nothing sent while a select's rows were unread.
void TestScanWire::scan() {
    QFETCH(QString, collation);
    QFETCH(QString, textType);
    QFETCH(bool, packOut);
    QFETCH(int, orderCount);
    QFETCH(bool, bMonth);
    QFETCH(QString, sTradeNO);

    QList<WireOrder> orders;
    for (int i = 1; i <= orderCount; ++i)
        orders.append({i, sTradeNO, i == 1 ? QStringLiteral("送小礼品") : QString(), 1000 + i});
    TdsServer server;
    Connection db;
    start(server, db, collation, scanAnswers(textType, orders, bMonth));

    RecordingSink sink;
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    in.showSummary = true;
    in.recordShipper = true;
    in.packOutMode = packOut;
    Scan(db, m_config, sink).run(in);

    QCOMPARE(sink.successes, QList<bool>(orderCount, true));
    QCOMPARE(sink.lines[0],
             QStringLiteral("14:05:09 : YT1001 : 商品:1.001kg，包裹:1.250kg，差:0.249kg"));
    QCOMPARE(sink.postages, QStringList{QStringLiteral("10")});
    QCOMPARE(sink.goods.size(), orderCount);
    QCOMPARE(sink.goods[0], QStringLiteral("羊毛衫|红色 XL|2"));
    QCOMPARE(sink.notes.mid(0, 2), QStringList({QStringLiteral("客户备注：请尽快发货"),
                                                QStringLiteral("卖家备注：送小礼品")}));

    const QList<QJsonObject> requests = server.requests();
    QStringList expected{QStringLiteral("select [df_Trade]")};
    const QStringList trades = sTradeNO.split(u',', Qt::SkipEmptyParts);
    for (int i = 0; i < orderCount; ++i) {
        expected << QStringLiteral("select [df_TradeGoods]")
                 << QStringLiteral("select [df_SndStyle]") << QStringLiteral("begin")
                 << QStringLiteral("update [df_Trade]");
        if (bMonth)
            expected << QStringLiteral("insert [df_PostageCharge]");
        expected << QStringLiteral("insert [df_TradeLog]");
        for (int t = 0; t < trades.size(); ++t)
            expected << QStringLiteral("with [es_TradeLog]");
        expected << QStringLiteral("commit");
    }
    QCOMPARE(steps(requests), expected);
    checkCleanWire(server);

    // Every statement of an order runs in the transaction its commit ends; outside them, none.
    qint64 open = 0;
    int commits = 0;
    for (const QJsonObject& r : requests) {
        const QString xact = str(r, "xact");
        const qint64 tran = qint64(r.value(QLatin1String("transaction")).toDouble());
        if (xact == QLatin1String("begin")) {
            QCOMPARE(tran, 0);
            open = qint64(r.value(QLatin1String("transaction_after")).toDouble());
            QVERIFY(open != 0);
        } else if (xact == QLatin1String("commit")) {
            QCOMPARE(tran, open);
            QCOMPARE(qint64(r.value(QLatin1String("transaction_after")).toDouble()), 0);
            open = 0;
            ++commits;
        } else {
            QCOMPARE(tran, open);
            // One round trip a statement: no prepared handles.
            QVERIFY2(str(r, "kind") == QLatin1String("batch") ||
                         str(r, "proc") == QLatin1String("sp_executesql"),
                     qPrintable(str(r, "proc")));
        }
    }
    QCOMPARE(commits, orderCount);

    // The values as they arrived: Chinese intact as NVARCHAR, the waybill and the trade numbers
    // as VARCHAR (a varchar PostID keeps its index seek), dates as date-time types.
    const QJsonArray selection = params(requests[0]);
    QCOMPARE(selection.size(), 3);
    QCOMPARE(str(selection[0].toObject(), "value"), QStringLiteral("YT1001"));
    QCOMPARE(str(selection[0].toObject(), "type"), QStringLiteral("BIGVARCHAR"));
    QCOMPARE(str(selection[1].toObject(), "value"), QStringLiteral("收款发货"));
    QCOMPARE(str(selection[1].toObject(), "type"), QStringLiteral("NVARCHAR"));
    QCOMPARE(
        str(params(withText(requests, QStringLiteral("[df_SndStyle]"))[0])[0].toObject(), "value"),
        QStringLiteral("圆通速递"));

    const QList<QJsonObject> updates = withText(requests, QStringLiteral("update [df_Trade]"));
    QCOMPARE(updates.size(), orderCount);
    // Each save requires the state the selection saw, the status as NVARCHAR.
    for (const QJsonObject& u : updates) {
        const QJsonArray guard = guardValues(u);
        QCOMPARE(guard.size(), 2);
        QCOMPARE(str(guard[0].toObject(), "value"), QStringLiteral("收款发货"));
        QCOMPARE(str(guard[0].toObject(), "type"), QStringLiteral("NVARCHAR"));
        QCOMPARE(guard[1].toObject().value(QLatin1String("value")).toInt(), packOut ? 0 : 1);
    }
    const QHash<QString, QJsonObject> saved = assigned(updates[0]);
    QCOMPARE(saved.value(QStringLiteral("weight2")).value(QLatin1String("value")).toInt(), 1250);
    QCOMPARE(saved.value(QStringLiteral("PostFee2")).value(QLatin1String("value")).toDouble(),
             10.0);
    QCOMPARE(
        str(saved.value(QStringLiteral("profitCalc")), "value"),
        QStringLiteral("10(毛利)=100(实际收款)-80(货品成本)-10(实际邮资)-0(其他开销)-0(包装成本)"));
    QCOMPARE(str(saved.value(QStringLiteral("sndOperator")), "value"), QStringLiteral("张三"));
    const QString dateColumn = packOut ? QStringLiteral("sndTime") : QStringLiteral("overtime");
    QCOMPARE(str(saved.value(dateColumn), "type"), QStringLiteral("DATETIME2N"));
    QVERIFY2(str(saved.value(dateColumn), "value").startsWith(QLatin1String("2024-03-05 00:00:00")),
             qPrintable(str(saved.value(dateColumn), "value")));
    if (!packOut)
        QCOMPARE(str(saved.value(QStringLiteral("TradeStatus")), "value"),
                 QStringLiteral("交易完成"));

    const QList<QJsonObject> logs = withText(requests, QStringLiteral("[df_TradeLog]"));
    const QHash<QString, QJsonObject> log = assigned(logs[0]);
    QCOMPARE(str(log.value(QStringLiteral("Event")), "value"),
             packOut ? QStringLiteral("发货出库") : QStringLiteral("完成关闭"));
    QCOMPARE(str(log.value(QStringLiteral("User")), "value"), QStringLiteral("张三"));
    QCOMPARE(str(log.value(QStringLiteral("Time")), "type"), QStringLiteral("DATETIME2N"));
    QVERIFY(str(log.value(QStringLiteral("Time")), "value")
                .startsWith(QLatin1String("2024-03-05 14:05:09")));

    if (bMonth) {
        const QList<QJsonObject> charges = withText(requests, QStringLiteral("[df_PostageCharge]"));
        QCOMPARE(charges.size(), orderCount);
        const QHash<QString, QJsonObject> first = assigned(charges[0]);
        QCOMPARE(str(first.value(QStringLiteral("TradeType")), "value"),
                 QStringLiteral("销售发货"));
        QCOMPARE(str(first.value(QStringLiteral("Summary")), "value"),
                 QStringLiteral("重量：1250"));
        QCOMPARE(str(first.value(QStringLiteral("Remark")), "value"), QStringLiteral("送小礼品"));
        QCOMPARE(str(first.value(QStringLiteral("SndDate")), "type"), QStringLiteral("DATETIME2N"));
        if (orderCount == 2) {
            // The second order of the parcel: weight 0, and its empty remark as a text of
            // valid declared length.
            const QHash<QString, QJsonObject> second = assigned(charges[1]);
            QCOMPARE(str(second.value(QStringLiteral("Summary")), "value"),
                     QStringLiteral("重量：0"));
            const QJsonObject remark = second.value(QStringLiteral("Remark"));
            QCOMPARE(str(remark, "value"), QString());
            QVERIFY(!remark.value(QLatin1String("null")).toBool());
            QVERIFY2(remark.value(QLatin1String("length")).toInt() >= 1,
                     qPrintable(str(remark, "sql_type")));
        }
    }
    QStringList tradeParams;
    for (const QJsonObject& r : withText(requests, QStringLiteral("[es_TradeLog]"))) {
        const QJsonObject p = params(r)[0].toObject();
        QCOMPARE(str(p, "type"), QStringLiteral("BIGVARCHAR"));
        tradeParams << str(p, "value");
    }
    QStringList expectedTrades;
    for (int i = 0; i < orderCount; ++i)
        expectedTrades << trades;
    QCOMPARE(tradeParams, expectedTrades);
}

void TestScanWire::refusedOrder_data() {
    QTest::addColumn<QString>("collation");
    QTest::addColumn<QString>("textType");
    QTest::addColumn<bool>("packOut");
    QTest::addColumn<int>("orderCount");
    QTest::addColumn<int>("refused"); // the order (from 1) whose save changes no row

    QTest::newRow("Latin catalog, completing, first of two refused")
        << kLatin1 << "nvarchar" << false << 2 << 1;
    QTest::newRow("Chinese catalog, pack-out, second of two refused")
        << kChinese << "varchar" << true << 2 << 2;
    QTest::newRow("Latin catalog, pack-out, the only order refused")
        << kLatin1 << "nvarchar" << true << 1 << 1;
}

// Another bench or the order-management system changed an order between the selection and
// its save: the server answers the guarded update with no row changed. That order's
// transaction is rolled back before anything else of it goes out, its line is red, and the
// other orders of the waybill are shipped, each committed once.
void TestScanWire::refusedOrder() {
    QFETCH(QString, collation);
    QFETCH(QString, textType);
    QFETCH(bool, packOut);
    QFETCH(int, orderCount);
    QFETCH(int, refused);

    QList<WireOrder> orders;
    for (int i = 1; i <= orderCount; ++i)
        orders.append({i, QStringLiteral("T1"), QStringLiteral("送小礼品"), 1000 + i});
    QJsonArray answers = scanAnswers(textType, orders, true);
    // The saves in turn: each entry answers one update.
    for (int i = orderCount; i >= 1; --i) {
        QJsonObject save = countAnswer(QStringLiteral("update [df_Trade]"), i == refused ? 0 : 1);
        save.insert(QStringLiteral("times"), 1);
        answers.prepend(save);
    }
    TdsServer server;
    Connection db;
    start(server, db, collation, answers);

    RecordingSink sink;
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    in.recordShipper = true;
    in.packOutMode = packOut;
    Scan(db, m_config, sink).run(in); // a refused order is no error

    QList<bool> successes(orderCount, true);
    successes[refused - 1] = false;
    QCOMPARE(sink.successes, successes);
    QCOMPARE(sink.lines[refused - 1], QStringLiteral("14:05:09 : YT1001 : 订单状态已改变,未发货"));
    for (int i = 0; i < orderCount; ++i)
        if (i != refused - 1)
            QVERIFY2(sink.lines[i].contains(QStringLiteral("kg，差:")), qPrintable(sink.lines[i]));

    const QList<QJsonObject> requests = server.requests();
    QStringList expected{QStringLiteral("select [df_Trade]")};
    for (int i = 1; i <= orderCount; ++i) {
        expected << QStringLiteral("select [df_SndStyle]") << QStringLiteral("begin")
                 << QStringLiteral("update [df_Trade]");
        if (i == refused)
            expected << QStringLiteral("rollback");
        else
            expected << QStringLiteral("insert [df_PostageCharge]")
                     << QStringLiteral("insert [df_TradeLog]")
                     << QStringLiteral("with [es_TradeLog]") << QStringLiteral("commit");
    }
    QCOMPARE(steps(requests), expected);
    checkCleanWire(server);

    // Each transaction is ended once, by the server's own account: the refused one by its
    // rollback, the shipped ones by their commit; nothing runs outside or between them.
    qint64 open = 0;
    int commits = 0;
    int rollbacks = 0;
    for (const QJsonObject& r : requests) {
        const QString xact = str(r, "xact");
        const qint64 tran = qint64(r.value(QLatin1String("transaction")).toDouble());
        if (xact == QLatin1String("begin")) {
            QCOMPARE(tran, 0);
            open = qint64(r.value(QLatin1String("transaction_after")).toDouble());
            QVERIFY(open != 0);
            continue;
        }
        if (str(r, "text").startsWith(QLatin1String("select")))
            continue; // the reads go before each order's transaction
        QCOMPARE(tran, open);
        if (xact == QLatin1String("commit") || xact == QLatin1String("rollback")) {
            QCOMPARE(qint64(r.value(QLatin1String("transaction_after")).toDouble()), 0);
            open = 0;
            ++(xact == QLatin1String("commit") ? commits : rollbacks);
        }
    }
    QCOMPARE(open, 0);
    QCOMPARE(commits, orderCount - 1);
    QCOMPARE(rollbacks, 1);
}

void TestScanWire::answeredNo_data() {
    QTest::addColumn<int>("changedRows");
    QTest::addColumn<QString>("lineEnd");
    QTest::newRow("saved") << 1 << QStringLiteral("kg，未发货");
    QTest::newRow("order changed meanwhile") << 0 << QStringLiteral(" : 订单状态已改变,未发货");
}

// Answered No: the weight and postage are saved on their own, outside any transaction, and
// nothing else is written; a save the server answers with no row changed says so.
void TestScanWire::answeredNo() {
    QFETCH(int, changedRows);
    QFETCH(QString, lineEnd);
    QJsonArray answers = scanAnswers(QStringLiteral("nvarchar"), {WireOrder{}}, true);
    answers.prepend(countAnswer(QStringLiteral("update [df_Trade]"), changedRows));
    TdsServer server;
    Connection db;
    start(server, db, kLatin1, answers);
    RecordingSink sink;
    sink.answers = {false};
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    in.askBeforeFinishing = true;
    Scan(db, m_config, sink).run(in);

    QCOMPARE(sink.questions, QStringList{QStringLiteral("是否完成发货？")});
    QCOMPARE(sink.successes, QList<bool>{false});
    QVERIFY2(sink.lines[0].endsWith(lineEnd), qPrintable(sink.lines[0]));
    const QList<QJsonObject> requests = server.requests();
    QCOMPARE(steps(requests), QStringList({QStringLiteral("select [df_Trade]"),
                                           QStringLiteral("update [df_Trade]")}));
    QCOMPARE(qint64(requests[1].value(QLatin1String("transaction")).toDouble()), 0);
    const QHash<QString, QJsonObject> saved = assigned(requests[1]);
    QCOMPARE(saved.size(), 2);
    QCOMPARE(saved.value(QStringLiteral("weight2")).value(QLatin1String("value")).toInt(), 1250);
    QCOMPARE(saved.value(QStringLiteral("PostFee2")).value(QLatin1String("value")).toDouble(),
             10.0);
    QCOMPARE(guardValues(requests[1]).size(), 2);
    checkCleanWire(server);
}

// The server goes away in the middle of the first order's transaction, just after its save:
// the scan fails with the driver's message, the server saw no commit (its transaction dies
// with the connection), and the next scan logs in again by itself and ships.
void TestScanWire::droppedAfterFirstSave() {
    QJsonArray answers =
        scanAnswers(QStringLiteral("nvarchar"), {WireOrder{1}, WireOrder{2}}, false);
    answers.prepend(
        QJsonObject{{QStringLiteral("contains"), QStringLiteral("insert into [df_TradeLog]")},
                    {QStringLiteral("drop"), true},
                    {QStringLiteral("times"), 1}});
    TdsServer server;
    Connection db;
    start(server, db, kLatin1, answers);
    RecordingSink sink;
    ScanInput in;
    in.waybill = QStringLiteral("YT1001");
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    QString error;
    try {
        Scan(db, m_config, sink).run(in);
    } catch (const Error& e) {
        error = e.message();
    }
    qInfo().noquote() << "the scan failed with:" << error;
    QVERIFY2(!error.isEmpty(), "the scan did not fail");
    QVERIFY(sink.lines.isEmpty());

    QList<QJsonObject> requests = server.requests();
    QCOMPARE(
        steps(requests),
        QStringList({QStringLiteral("select [df_Trade]"), QStringLiteral("select [df_SndStyle]"),
                     QStringLiteral("begin"), QStringLiteral("update [df_Trade]"),
                     QStringLiteral("insert [df_TradeLog]")}));
    QVERIFY(requests.constLast().value(QLatin1String("dropped")).toBool());
    QVERIFY(withText(requests, QStringLiteral("commit")).isEmpty());

    // The next scan: a new login, then the whole scan on it, each order committed.
    Scan(db, m_config, sink).run(in);
    QCOMPARE(sink.successes, QList<bool>({true, true}));
    QCOMPARE(db.reconnectCount(), 1);
    requests = server.requests().mid(5);
    int commits = 0;
    for (const QJsonObject& r : requests) {
        QCOMPARE(r.value(QLatin1String("conn")).toInt(), 2);
        commits += str(r, "xact") == QLatin1String("commit");
    }
    QCOMPARE(commits, 2);
    int logins = 0;
    for (const QJsonObject& r : server.records())
        logins += str(r, "kind") == QLatin1String("login");
    QCOMPARE(logins, 2);
}

// The batch pass reads its whole selection, then sends one update per waybill, each waybill
// once and as VARCHAR.
void TestScanWire::batchPass() {
    const QJsonArray answers{answer(QStringLiteral("select [PostID] from [df_Trade]"),
                                    {column(QStringLiteral("PostID"), QStringLiteral("varchar"))},
                                    {QJsonArray{QStringLiteral("YT1")}, QJsonArray{QString()},
                                     QJsonArray{QStringLiteral("YT2")},
                                     QJsonArray{QStringLiteral("YT1")}, QJsonArray{QJsonValue()}}),
                             countAnswer(QStringLiteral("update [es_TradeLog]"), 2)};
    TdsServer server;
    Connection db;
    start(server, db, kChinese, answers);
    QCOMPARE(BatchPackOut(db).run(), 4);

    const QList<QJsonObject> requests = server.requests();
    QCOMPARE(steps(requests), QStringList({QStringLiteral("select [df_Trade]"),
                                           QStringLiteral("update [es_TradeLog]"),
                                           QStringLiteral("update [es_TradeLog]")}));
    QCOMPARE(str(params(requests[0])[0].toObject(), "value"), QStringLiteral("收款发货"));
    QStringList waybills;
    for (const QJsonObject& r : requests.mid(1)) {
        // The waybill twice (its log rows, and its order still packed out), then the status.
        const QJsonArray p = params(r);
        QCOMPARE(p.size(), 3);
        QCOMPARE(str(p[0].toObject(), "type"), QStringLiteral("BIGVARCHAR"));
        QCOMPARE(str(p[1].toObject(), "value"), str(p[0].toObject(), "value"));
        QCOMPARE(str(p[1].toObject(), "type"), QStringLiteral("BIGVARCHAR"));
        QCOMPARE(str(p[2].toObject(), "value"), QStringLiteral("收款发货"));
        QCOMPARE(str(p[2].toObject(), "type"), QStringLiteral("NVARCHAR"));
        waybills << str(p[0].toObject(), "value");
    }
    QCOMPARE(waybills, QStringList({QStringLiteral("YT1"), QStringLiteral("YT2")}));
    checkCleanWire(server);
}

void TestScanWire::shipmentQuery_data() {
    QTest::addColumn<QString>("collation");
    QTest::addColumn<QString>("textType");
    QTest::newRow("Chinese catalog, varchar") << kChinese << "varchar";
    QTest::newRow("Latin catalog, nvarchar") << kLatin1 << "nvarchar";
}

// 1,000 completed orders come back whole and in order; the dates go out as date-time types
// and the Chinese filters as NVARCHAR.
void TestScanWire::shipmentQuery() {
    QFETCH(QString, collation);
    QFETCH(QString, textType);
    QJsonArray columns{column(QStringLiteral("overtime"), QStringLiteral("datetime"))};
    for (const char* name : {"TradeNO", "Shop", "sndStyle", "PostID", "CustomerID", "CustomerName",
                             "Province", "City", "Area", "Adr", "Zip"})
        columns.append(column(QLatin1String(name), textType));
    columns.append(column(QStringLiteral("weight"), QStringLiteral("int")));
    columns.append(column(QStringLiteral("weight2"), QStringLiteral("int")));
    columns.append(column(QStringLiteral("PostFee2"), QStringLiteral("money")));
    columns.append(column(QStringLiteral("sndOperator"), textType));
    columns.append(column(QStringLiteral("phone"), textType));
    QJsonArray rows;
    for (int i = 0; i < 1000; ++i)
        rows.append(QJsonArray{
            QStringLiteral("2024-03-05"), QStringLiteral("NO%1").arg(i), QStringLiteral("小店A"),
            QStringLiteral("圆通速递"), QStringLiteral("YT%1").arg(i),
            QStringLiteral("buyer%1").arg(i), QStringLiteral("王五"), QStringLiteral("浙江省"),
            QStringLiteral("杭州市"), QStringLiteral("西湖区"), QStringLiteral("文三路%1号").arg(i),
            QStringLiteral("310000"), 1200, i % 2 ? QJsonValue(1250 + i) : QJsonValue(), "7.5",
            QStringLiteral("张三"), QStringLiteral("13800000000")});
    TdsServer server;
    Connection db;
    start(server, db, collation,
          {answer(QStringLiteral("from [df_Trade] where ([overtime] between"), columns, rows)});

    ShipmentFilter filter;
    filter.from = QDate(2024, 3, 1);
    filter.to = QDate(2024, 3, 5);
    filter.shop = QStringLiteral("小店A");
    filter.sndOperator = QStringLiteral("张三");
    const QList<QStringList> got = readShipments(db, filter);
    QCOMPARE(got.size(), 1000);
    QCOMPARE(
        got[0],
        QStringList({QStringLiteral("1"), QStringLiteral("2024-03-05"), QStringLiteral("NO0"),
                     QStringLiteral("小店A"), QStringLiteral("圆通速递"), QStringLiteral("YT0"),
                     QStringLiteral("buyer0"), QStringLiteral("王五"), QStringLiteral("浙江省"),
                     QStringLiteral("杭州市"), QStringLiteral("西湖区"),
                     QStringLiteral("文三路0号"), QStringLiteral("310000"), QStringLiteral("1200"),
                     QString(), QStringLiteral("-1200"), QStringLiteral("7.5"),
                     QStringLiteral("张三"), QStringLiteral("13800000000")}));
    QCOMPARE(got[999][0], QStringLiteral("1000"));
    QCOMPARE(got[999][11], QStringLiteral("文三路999号"));
    QCOMPARE(got[999][14], QStringLiteral("2249"));

    const QList<QJsonObject> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    const QJsonArray p = params(requests[0]);
    QCOMPARE(p.size(), 4);
    for (int i : {0, 1})
        QCOMPARE(str(p[i].toObject(), "type"), QStringLiteral("DATETIME2N"));
    QVERIFY(str(p[1].toObject(), "value").startsWith(QLatin1String("2024-03-05 00:00:00")));
    QCOMPARE(str(p[2].toObject(), "value"), QStringLiteral("小店A"));
    QCOMPARE(str(p[2].toObject(), "type"), QStringLiteral("NVARCHAR"));
    QCOMPARE(str(p[3].toObject(), "value"), QStringLiteral("张三"));
    checkCleanWire(server);
}

QTEST_GUILESS_MAIN(TestScanWire)
#include "tst_scanwire.moc"
