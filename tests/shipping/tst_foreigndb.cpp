// Order databases that our generator did not make: files written by the sqlite3 command-line
// tool in its default rollback journal, with text keys or identity keys under other names,
// extra columns, and text columns without a case-insensitive collation. Each is opened the way
// the program opens the order database, scanned in both modes and passed by the batch pass.
#include "platform/Database.h"
#include "platform/Error.h"
#include "report/Stats.h"
#include "shipping/BatchPackOut.h"
#include "shipping/Scan.h"

#include "support/RecordingSink.h"
#include "support/SqliteLock.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tv;
using test::RecordingSink;

namespace {

// The tables as a shop might have made them by hand: text keys, plain rowid log tables, no
// indexes. %1 is the collation of the compared text columns.
const char* const kPlainSchema = R"(
create table df_Trade (ID varchar(36) primary key, TradeNO varchar(50), sTradeNO varchar(500),
  Shop varchar(100)%1, PostID varchar(50)%1, TradeStatus varchar(20)%1, bSnd bit default 0,
  sndStyle varchar(50)%1, Province varchar(50)%1, City text, Area text, Adr text, Zip text,
  phone text, CustomerID text, CustomerName text, CustomerNeeds text, Remark text, weight int,
  weight2 int, PostFee2 money, RcvValue money, goodsCost money, otherFee money, profit money,
  profitCalc varchar(255), overtime datetime, sndTime datetime, sndOperator varchar(50)%1);
create table df_TradeGoods (TradeID varchar(36), GoodsName text, Spec text, Count text);
create table df_SndStyle (Style varchar(50)%1, bMonth bit);
create table df_Shop (Name varchar(100));
create table df_Staff (Name varchar(50));
create table df_PostageCharge (TradeID varchar(36), TradeType text, PackageBill text,
  Postage money, SndDate datetime, FreightCorp text, ChargeStatus int, Summary text,
  Remark text, SndTo text, Operator text);
create table df_TradeLog (TradeID varchar(36), Time datetime, User text, Event text);
create table es_TradeLog (TradeNO varchar(50)%1, SndID varchar(50)%1, PostStatus int);
)";

// Identity keys in every table, named as the shop names them, and columns this program does
// not know, some not null with defaults.
const char* const kExtraColumnsSchema = R"(
create table df_Trade (ID integer primary key autoincrement, Created datetime not null
  default current_timestamp, TradeNO varchar(50), sTradeNO varchar(500), Shop varchar(100)
  collate nocase, PostID varchar(50) collate nocase, TradeStatus varchar(20) collate nocase,
  bSnd bit not null default 0, sndStyle varchar(50) collate nocase, Province varchar(50)
  collate nocase, City text, Area text, Adr text, Zip text, phone text, CustomerID text,
  CustomerName text, CustomerNeeds text, Remark text, weight int, weight2 int, PostFee2 money,
  RcvValue money, goodsCost money, otherFee money, profit money, profitCalc varchar(255),
  overtime datetime, sndTime datetime, sndOperator varchar(50) collate nocase,
  Warehouse varchar(20) not null default '主仓', Flags int not null default 0);
create index ix_trade_post on df_Trade (PostID);
create table df_TradeGoods (GoodsID integer primary key autoincrement, TradeID int not null,
  GoodsName text, Spec text, Count text, Barcode text);
create table df_SndStyle (StyleID integer primary key autoincrement, Style varchar(50) collate
  nocase, bMonth bit not null default 0, Phone text);
create table df_Shop (ShopID integer primary key autoincrement, Name varchar(100));
create table df_Staff (StaffID integer primary key autoincrement, Name varchar(50));
create table df_PostageCharge (ChargeID integer primary key autoincrement, TradeID int,
  TradeType text, PackageBill text, Postage money, SndDate datetime, FreightCorp text,
  ChargeStatus int, Summary text, Remark text, SndTo text, Operator text,
  Checked int not null default 0);
create table df_TradeLog (LogID integer primary key autoincrement, TradeID int, Time datetime,
  User text, Event text, Host varchar(50) not null default '');
create table es_TradeLog (EsID integer primary key autoincrement, Shop text, TradeNO
  varchar(50) collate nocase, SndID varchar(50) collate nocase, PostStatus int not null
  default 0, Synced int default 0);
)";

// Three orders: YT1001 packed out (completing mode finds it), YT2002 not packed out (pack-out
// mode), YT3003 packed out for the batch pass. %1, %2, %3 are their keys as values, or
// nothing where the table gives the key itself.
const char* const kRows = R"(
insert into df_SndStyle (Style, bMonth) values ('圆通速递', 1);
insert into df_Staff (Name) values ('张三');
insert into df_Trade (%1PostID, TradeStatus, bSnd, sndStyle, Province, Adr, CustomerNeeds,
  Remark, sTradeNO, weight, RcvValue, goodsCost, otherFee)
  values (%2'YT1001', '收款发货', 1, '圆通速递', '浙江省', '文三路1号', '请尽快发货', '送小礼品',
  'E1,E2', 1200, 100, 80, 0);
insert into df_Trade (%1PostID, TradeStatus, bSnd, sndStyle, Province, Adr, sTradeNO, weight,
  RcvValue, goodsCost, otherFee)
  values (%3'YT2002', '收款发货', 0, '圆通速递', '江苏省', '中山路2号', 'E3', 500, 50, 30, 2);
insert into df_Trade (%1PostID, TradeStatus, bSnd, sndStyle, sTradeNO, weight)
  values (%4'YT3003', '收款发货', 1, '圆通速递', 'E4', 100);
insert into es_TradeLog (TradeNO, SndID, PostStatus) values ('E1', 'YT1001', 1),
  ('E2', 'YT1001', 1), ('E3', 'YT2002', 1), ('E4', 'YT3003', 2), ('E4', 'YT3003', 2);
)";

QString sqlite3(const QString& file, const QString& sql) {
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-batch"), QStringLiteral("-bail"), QStringLiteral("-cmd"),
                 QStringLiteral(".timeout 10000"), file, sql});
    if (!shell.waitForFinished(60000) || shell.exitCode() != 0)
        throw Error(QStringLiteral("sqlite3: ") + QString::fromUtf8(shell.readAllStandardError()));
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

QString shopFile(const QTemporaryDir& dir, const QString& schema, bool textKeys) {
    const QString file = dir.filePath(QStringLiteral("shop.db"));
    const QString rows =
        textKeys
            ? QString::fromUtf8(kRows).arg(QStringLiteral("ID, "), QStringLiteral("'T-0001', "),
                                           QStringLiteral("'T-0002', "),
                                           QStringLiteral("'T-0003', "))
            : QString::fromUtf8(kRows).arg(QString(), QString(), QString(), QString());
    sqlite3(file, schema + rows);
    return file;
}

// Opens the file as the program opens its order database.
bool openShopFile(Connection& c, const QString& file) {
    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") + file);
    return c.open();
}

ScanInput input(const QString& waybill, bool packOut) {
    ScanInput in;
    in.waybill = waybill;
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    in.manualPostage = true;
    in.postage = QStringLiteral("8");
    in.recordShipper = true;
    in.showSummary = true;
    in.packOutMode = packOut;
    return in;
}

} // namespace

class TestForeignDb : public QObject {
    Q_OBJECT
private slots:
    void scansAndPasses_data();
    void scansAndPasses();
    void heldByAnotherReader();
    void readerLeavesTheJournalMode();
    void caseWithoutNocase();
    void duplicateOrderKeyRefused();
};

void TestForeignDb::scansAndPasses_data() {
    QTest::addColumn<QString>("schema");
    QTest::addColumn<bool>("textKeys");
    QTest::newRow("rollback journal, text keys")
        << QString::fromUtf8(kPlainSchema).arg(QStringLiteral(" collate nocase")) << true;
    QTest::newRow("extra columns, identity keys")
        << QString::fromUtf8(kExtraColumnsSchema) << false;
    QTest::newRow("no collate nocase") << QString::fromUtf8(kPlainSchema).arg(QString()) << true;
}

void TestForeignDb::scansAndPasses() {
    QFETCH(QString, schema);
    QFETCH(bool, textKeys);
    QTemporaryDir dir;
    const QString file = shopFile(dir, schema, textKeys);
    QCOMPARE(sqlite3(file, QStringLiteral("pragma journal_mode")), QStringLiteral("delete"));
    const QString completing =
        sqlite3(file, QStringLiteral("select ID from df_Trade where PostID = 'YT1001'"));
    const QString packing =
        sqlite3(file, QStringLiteral("select ID from df_Trade where PostID = 'YT2002'"));

    {
        Connection orders, config;
        QVERIFY2(openShopFile(orders, file), qPrintable(orders.lastError()));
        test::openConfig(config, test::createConfigDb(dir.path()));
        QCOMPARE(orders.journalMode(), QStringLiteral("wal"));

        RecordingSink sink;
        Scan(orders, config, sink).run(input(QStringLiteral("YT1001"), false));
        Scan(orders, config, sink).run(input(QStringLiteral("YT2002"), true));
        QCOMPARE(sink.lines,
                 (QStringList{"14:05:09 : YT1001 : 商品:1.200kg，包裹:1.250kg，差:0.050kg",
                              "14:05:09 : YT2002 : 商品:0.500kg，包裹:1.250kg，差:0.750kg"}));
        QCOMPARE(sink.successes, (QList<bool>{true, true}));
        // YT2002 is now packed out and not completed too: its row moves back with YT3003's two.
        QCOMPARE(BatchPackOut(orders).run(), 3);
    }

    // What another tool sees afterwards.
    QCOMPARE(sqlite3(file, QStringLiteral("pragma journal_mode")), QStringLiteral("wal"));
    QCOMPARE(sqlite3(file, QStringLiteral("pragma integrity_check")), QStringLiteral("ok"));
    QCOMPARE(sqlite3(file, QStringLiteral("select ID, TradeStatus, bSnd, weight2, PostFee2, "
                                          "profit, sndOperator, overtime, sndTime from df_Trade "
                                          "where PostID in ('YT1001', 'YT2002') order by PostID")),
             QStringLiteral("%1|交易完成|1|1250|8|12|张三|2024-03-05 00:00:00|\n"
                            "%2|收款发货|1|1250|8|10|张三||2024-03-05 00:00:00")
                 .arg(completing, packing));
    QCOMPARE(sqlite3(file, QStringLiteral("select TradeID, Time, User, Event from df_TradeLog "
                                          "order by rowid")),
             QStringLiteral("%1|2024-03-05 14:05:09|张三|完成关闭\n"
                            "%2|2024-03-05 14:05:09|张三|发货出库")
                 .arg(completing, packing));
    QCOMPARE(sqlite3(file, QStringLiteral("select TradeID, PackageBill, Postage, Summary, SndTo "
                                          "from df_PostageCharge order by rowid")),
             QStringLiteral("%1|YT1001|8|重量：1250|文三路1号\n%2|YT2002|8|重量：1250|中山路2号")
                 .arg(completing, packing));
    QCOMPARE(sqlite3(file, QStringLiteral("select group_concat(PostStatus, ',') from "
                                          "(select PostStatus from es_TradeLog order by rowid)")),
             QStringLiteral("2,2,1,1,1"));
    if (!textKeys) {
        // The table's own defaults and identities fill what this program does not write.
        QCOMPARE(sqlite3(file, QStringLiteral("select LogID, Host = '' from df_TradeLog")),
                 QStringLiteral("1|1\n2|1"));
        QCOMPARE(sqlite3(file, QStringLiteral("select count(*) from df_PostageCharge where "
                                              "ChargeID is not null and Checked = 0")),
                 QStringLiteral("2"));
    }
}

void TestForeignDb::heldByAnotherReader() {
    // Another process keeps a read transaction open on the rollback-journal file: the switch to
    // WAL needs the file to itself and is refused, so the file keeps its mode. (A folder where
    // the -wal file cannot be made refuses the switch the same way; tests run as root, who may
    // write into any folder, so the reader stands in for it.)
    QTemporaryDir dir;
    const QString file =
        shopFile(dir, QString::fromUtf8(kPlainSchema).arg(QStringLiteral(" collate nocase")), true);
    Connection orders, config;
    test::openConfig(config, test::createConfigDb(dir.path()));
    {
        test::SqliteLock reader(file, test::SqliteLock::Kind::Read, 1500);
        QVERIFY(reader.held());
        QVERIFY2(openShopFile(orders, file), qPrintable(orders.lastError()));
        QCOMPARE(orders.journalMode(), QStringLiteral("delete"));
        // Reading goes on beside the other reader.
        QCOMPARE(selectRows(orders, QStringLiteral("select [ID] from [df_Trade]")).size(), 3);
    }
    RecordingSink sink;
    Scan(orders, config, sink).run(input(QStringLiteral("YT1001"), false));
    QCOMPARE(sink.successes, QList<bool>{true});
    QCOMPARE(BatchPackOut(orders).run(), 2);
    {
        // The statistics read the file on connections of their own while the other reader
        // holds it again: they leave its mode alone, and count the order of the text key.
        test::SqliteLock reader(file, test::SqliteLock::Kind::Read, 1500);
        QVERIFY(reader.held());
        const QDate day(2024, 3, 5);
        const StatsFigures f = Stats::compute(orders, {day, day, {}, {}});
        QCOMPARE(f.scans, 1);
        QCOMPARE(f.operators.size(), 1);
        QCOMPARE(f.operators[0].name, QStringLiteral("张三"));
        QCOMPARE(f.operators[0].weightGrams, 1250);
        QCOMPARE(f.operators[0].parcelsPerDay, QList<int>{1});
    }
    orders.close();
    QCOMPARE(sqlite3(file, QStringLiteral("pragma journal_mode")), QStringLiteral("delete"));
    QCOMPARE(sqlite3(file, QStringLiteral("select TradeStatus, weight2 from df_Trade where "
                                          "PostID = 'YT1001'; select count(*) from df_TradeLog")),
             QStringLiteral("交易完成|1250\n1"));
}

// A connection that only reads (as the statistics open theirs) does not try the switch to a
// write-ahead log: the file stays in rollback mode, where the program's own connection
// switches it.
void TestForeignDb::readerLeavesTheJournalMode() {
    QTemporaryDir dir;
    const QString file =
        shopFile(dir, QString::fromUtf8(kPlainSchema).arg(QStringLiteral(" collate nocase")), true);
    {
        Connection reader;
        reader.setReadsOnly(true);
        QVERIFY2(openShopFile(reader, file), qPrintable(reader.lastError()));
        QCOMPARE(reader.journalMode(), QStringLiteral("delete"));
        QCOMPARE(selectRows(reader, QStringLiteral("select [ID] from [df_Trade]")).size(), 3);
    }
    QCOMPARE(sqlite3(file, QStringLiteral("pragma journal_mode")), QStringLiteral("delete"));
    Connection orders;
    QVERIFY2(openShopFile(orders, file), qPrintable(orders.lastError()));
    QCOMPARE(orders.journalMode(), QStringLiteral("wal"));
}

void TestForeignDb::caseWithoutNocase() {
    // Without "collate nocase" the file compares texts exactly, where SQL Server's usual
    // collation ignores case: a waybill stored in lower case is not found by the upper-cased
    // scan, and a trade number in other case moves no row. Exact texts work as always.
    QTemporaryDir dir;
    const QString file = shopFile(dir, QString::fromUtf8(kPlainSchema).arg(QString()), true);
    sqlite3(file, QStringLiteral("update df_Trade set PostID = 'yt1001' where ID = 'T-0001'; "
                                 "update df_Trade set sTradeNO = 'e3' where ID = 'T-0002'"));
    Connection orders, config;
    QVERIFY2(openShopFile(orders, file), qPrintable(orders.lastError()));
    test::openConfig(config, test::createConfigDb(dir.path()));

    RecordingSink sink;
    Scan(orders, config, sink).run(input(QStringLiteral("YT1001"), false));
    Scan(orders, config, sink).run(input(QStringLiteral("yt1001"), false));
    Scan(orders, config, sink).run(input(QStringLiteral("YT2002"), true));
    QCOMPARE(sink.lines[0], QStringLiteral("14:05:09 : YT1001 : 没有符合条件的记录!"));
    QCOMPARE(sink.successes, (QList<bool>{false, true, true}));
    QCOMPARE(sqlite3(file, QStringLiteral("select group_concat(PostStatus, ',') from "
                                          "(select PostStatus from es_TradeLog order by rowid)")),
             QStringLiteral("2,2,1,2,2")); // E3 is not moved for the trade number "e3"
}

void TestForeignDb::duplicateOrderKeyRefused() {
    // A key that is not unique: the save would change two rows, so it is refused whole and the
    // scan ends with an error before anything of the order is written.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shop.db"));
    sqlite3(file, QString::fromUtf8(kPlainSchema)
                          .arg(QString())
                          .replace(QStringLiteral("ID varchar(36) primary key"),
                                   QStringLiteral("ID varchar(36)")) +
                      QStringLiteral("insert into df_Trade (ID, PostID, TradeStatus, bSnd) values "
                                     "('T-1', 'YT1001', '收款发货', 1), ('T-1', 'YT5005', "
                                     "'收款发货', 1);"));
    Connection orders, config;
    QVERIFY2(openShopFile(orders, file), qPrintable(orders.lastError()));
    test::openConfig(config, test::createConfigDb(dir.path()));
    RecordingSink sink;
    try {
        Scan(orders, config, sink).run(input(QStringLiteral("YT1001"), false));
        QFAIL("the scan saved two rows");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("Saving order T-1 changed 2 rows instead of one."));
    }
    QVERIFY(sink.lines.isEmpty());
    QVERIFY(!orders.inTransaction());
    orders.close();
    QCOMPARE(sqlite3(file, QStringLiteral("select count(*) from df_Trade where weight2 is null "
                                          "and TradeStatus = '收款发货'; select count(*) from "
                                          "df_TradeLog")),
             QStringLiteral("2\n0"));
}

QTEST_APPLESS_MAIN(TestForeignDb)
#include "tst_foreigndb.moc"
