// Start-up without a window: which databases open, what is read, which messages are shown.
#include "app/Session.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tv;

namespace {

const QString kConfigFailed = QStringLiteral("程序配置文件访问失败!");
const QString kOrdersFailed = QStringLiteral("数据库访问失败,请重新设置数据库参数!");

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// An order database written by the sqlite3 tool from the project's schema, in its default
// rollback journal, with the rows in an order no sort would give.
void orderDbByCli(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {path});
    QVERIFY(p.waitForStarted());
    QFile schema(test::dataDir() + QStringLiteral("/orders.sql"));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    p.write(schema.readAll());
    p.write("insert into df_Staff (Name) values ('赵六'), ('张三'), (NULL), ('张三');\n"
            "insert into df_Shop (Name) values ('小店B'), ('小店A');\n"
            "insert into df_SndStyle (Style, bMonth) values ('EMS', 0), ('圆通速递', 1);\n");
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void opens_data();
    void opens();
    void failuresPastTheOpens_data();
    void failuresPastTheOpens();
    void rememberedOperator_data();
    void rememberedOperator();
};

void TestSession::opens_data() {
    QTest::addColumn<QString>("configFile"); // "schema", "none", "text", "foreign sqlite"
    QTest::addColumn<QString>("ipAddress");  // the login's server; "" keeps the schema's
    QTest::addColumn<bool>("configOpen");
    QTest::addColumn<bool>("ordersOpen");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("operators");

    const QStringList staff = {
        QString(), QStringLiteral("Tolvane"), QStringLiteral("赵六"), QStringLiteral("张三"),
        QString(), QStringLiteral("张三")};
    QTest::newRow("both databases open")
        << "schema"
        << "sqlite:orders.db" << true << true << QStringList() << staff;
    QTest::newRow("db.mdb missing")
        << "none"
        << "" << false << false << QStringList{kConfigFailed} << QStringList();
    QTest::newRow("db.mdb is a text file")
        << "text"
        << "" << false << false << QStringList{kConfigFailed} << QStringList();
    QTest::newRow("db.mdb is another program's SQLite file")
        << "foreign sqlite"
        << "" << false << false << QStringList{kConfigFailed} << QStringList();
    QTest::newRow("order database missing")
        << "schema"
        << "sqlite:missing.db" << true << false << QStringList{kOrdersFailed} << QStringList();
    QTest::newRow("order database is a text file")
        << "schema"
        << "sqlite:notes.txt" << true << false << QStringList{kOrdersFailed} << QStringList();
    QTest::newRow("order server refuses the connection")
        << "schema"
        << "127.0.0.1,1" << true << false << QStringList{kOrdersFailed} << QStringList();
}

void TestSession::opens() {
    QFETCH(QString, configFile);
    QFETCH(QString, ipAddress);
    QFETCH(bool, configOpen);
    QFETCH(bool, ordersOpen);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, operators);

    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString dbMdb = dir.filePath(QStringLiteral("db.mdb"));
    orderDbByCli(dir.filePath(QStringLiteral("orders.db")));
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "not a database\n");
    if (configFile == QLatin1String("schema")) {
        test::createConfigDb(dir.path());
        Connection c;
        test::openConfig(c, dbMdb);
        execute(c,
                QStringLiteral("update [pwd] set [IPAddress] = ?, [Com] = 3, [ScaleType] = 1, "
                               "[check4] = 1"),
                {ipAddress});
        execute(c, QStringLiteral("update [ListView1Conf] set [Sel] = 0 where [ColIndex] = 2"));
    } else if (configFile == QLatin1String("text")) {
        writeFile(dbMdb, "[settings]\nCom=1\n");
    } else if (configFile == QLatin1String("foreign sqlite")) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {dbMdb, QStringLiteral("create table t (x);")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
    }

    Connection config;
    Connection orders;
    const Session s = Session::open(config, orders, folder);
    QCOMPARE(s.configOpen, configOpen);
    QCOMPARE(config.isOpen(), configOpen);
    QCOMPARE(s.ordersOpen, ordersOpen);
    QCOMPARE(orders.isOpen(), ordersOpen);
    QCOMPARE(s.restoresOptions(), configOpen && ordersOpen);
    QCOMPARE(s.messages, messages);
    QCOMPARE(s.operators, operators);
    if (ordersOpen) {
        QCOMPARE(s.shops,
                 QStringList({QString(), QStringLiteral("小店B"), QStringLiteral("小店A")}));
        QCOMPARE(s.sndStyles,
                 QStringList({QString(), QStringLiteral("EMS"), QStringLiteral("圆通速递")}));
    } else {
        QVERIFY(s.shops.isEmpty());
        QVERIFY(s.sndStyles.isEmpty());
    }
    if (configOpen) {
        // Read even when the order database stays closed: the scale and the columns need it.
        QCOMPARE(s.settings.com, 3);
        QCOMPARE(s.settings.scaleType, 1);
        QVERIFY(s.settings.check4);
        QVERIFY(!s.settings.check5);
        QCOMPARE(s.columnChoice.size(), 18);
        QCOMPARE(s.columnChoice.count(false), 1);
        QVERIFY(!s.columnChoice.at(1));
        QCOMPARE(orders.connectionString(), orderConnectionString(s.settings));
    } else {
        QCOMPARE(s.settings.com, 0);
        QVERIFY(s.columnChoice.isEmpty());
        QVERIFY(orders.connectionString().isEmpty());
    }
    // A failed open creates no file.
    QCOMPARE(QFile::exists(dbMdb), configFile != QLatin1String("none"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing.db"))));
}

void TestSession::failuresPastTheOpens_data() {
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("orders");
    QTest::newRow("settings column missing")
        << "alter table [pwd] drop column [check7]" << QString();
    QTest::newRow("settings row missing") << "delete from [pwd]" << QString();
    QTest::newRow("column choice table missing") << "drop table [ListView1Conf]" << QString();
    QTest::newRow("shop table missing") << QString() << "drop table [df_Shop]";
    QTest::newRow("method column missing")
        << QString() << "alter table [df_SndStyle] drop column [Style]";
}

void TestSession::failuresPastTheOpens() {
    QFETCH(QString, config);
    QFETCH(QString, orders);
    QTemporaryDir dir;
    Connection c;
    test::openConfig(c, test::createConfigDb(dir.path()));
    execute(c, QStringLiteral("update [pwd] set [IPAddress] = 'sqlite:orders.db'"));
    if (!config.isEmpty())
        execute(c, config);
    Connection o;
    test::openOrders(o, test::createOrderDb(dir.path()));
    if (!orders.isEmpty())
        execute(o, orders);

    Connection configConnection;
    Connection orderConnection;
    QVERIFY_THROWS_EXCEPTION(Error,
                             Session::open(configConnection, orderConnection, dir.path() + u'/'));
}

void TestSession::rememberedOperator_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("a staff name") << QStringLiteral("李四") << 3;
    QTest::newRow("a name twice: the first") << QStringLiteral("张三") << 2;
    QTest::newRow("no longer among the staff") << QStringLiteral("王五") << -1;
    QTest::newRow("empty text: the empty entry") << QString() << 0;
    QTest::newRow("the pseudo-operator") << QStringLiteral("Tolvane") << 1;
    QTest::newRow("case-sensitive") << QStringLiteral("tolvane") << -1;
    QTest::newRow("whole text only") << QStringLiteral("李") << -1;
    QTest::newRow("blank is not empty") << QStringLiteral(" ") << -1;
}

void TestSession::rememberedOperator() {
    QFETCH(QString, stored);
    QFETCH(int, index);
    Session s;
    s.operators = {QString(), QStringLiteral("Tolvane"), QStringLiteral("张三"),
                   QStringLiteral("李四"), QStringLiteral("张三")};
    s.settings.defaultOpr = stored;
    QCOMPARE(s.rememberedOperator(), index);
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
