#include "config/ConfigDb.h"
#include "platform/ConnectionString.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace tv;

namespace {

QString ordersString(const QString& dataSource) {
    return QStringLiteral("Provider=SQLOLEDB.1;Data Source=") +
           AdoConnectionString::quoteValue(dataSource);
}

QStringList texts(const QList<Record>& rows, const QString& column) {
    QStringList out;
    for (const Record& r : rows)
        out.append(r.text(column));
    return out;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void dialectTexts();
    void selectFirst();
    void prefixLike_data();
    void prefixLike();
    void moveFirstTradeState();
    void dates();

    void openRefuses_data();
    void openRefuses();
    void orderDatabaseRelativeToBaseFolder();
    void awkwardFolderNames();

    void nullsRead();
    void missingColumnThrows();
    void quoteInValue();
    void updateAndInsert();
    void transactions();
    void busyWriterWaits();
    void statementCounter();

private:
    QTemporaryDir* m_dir = nullptr;
    Connection* m_c = nullptr;
};

void TestDatabase::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_c = new Connection;
    test::openOrders(*m_c, test::createOrderDb(m_dir->path()));
}

void TestDatabase::cleanup() {
    delete m_c;
    delete m_dir;
}

void TestDatabase::dialectTexts() {
    const Dialect ss(Engine::SqlServer);
    QCOMPARE(ss.selectFirst("[a]", "[t] order by [a]"), "select top 1 [a] from [t] order by [a]");
    QCOMPARE(ss.prefixLike("[PostID]"), "[PostID] like ? escape '\\'");
    QCOMPARE(ss.moveFirstTradeState(),
             "with f as (select top (1) [PostStatus] from [es_TradeLog] where [TradeNO] = ?) "
             "update f set [PostStatus] = 2 where [PostStatus] = 1");
    QCOMPARE(Dialect::likePrefix("a\\%_[]'"), "a\\\\\\%\\_\\[]'%");
}

void TestDatabase::selectFirst() {
    for (const char* s : {"b", "a", "c"})
        insertRow(*m_c, "df_Staff", {{"Name", s}});
    const auto rows = selectRows(
        *m_c, m_c->dialect().selectFirst("[Name]", "[df_Staff] where [Name] <> ? order by [Name]"),
        {"a"});
    QCOMPARE(texts(rows, "Name"), QStringList{"b"});
}

void TestDatabase::prefixLike_data() {
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QStringList>("matches");

    QTest::newRow("percent") << "50%" << QStringList{"50%off"};
    QTest::newRow("underscore") << "a_" << QStringList{"a_b"};
    QTest::newRow("bracket") << "[x]" << QStringList{"[x]y"};
    QTest::newRow("backslash") << "a\\" << QStringList{"a\\b"};
    QTest::newRow("quote, any case") << "o'b" << QStringList{"o'brien", "O'BRIEN2"};
    QTest::newRow("begins with only") << "off" << QStringList{};
    QTest::newRow("whole value") << "axb" << QStringList{"axb"};
}

void TestDatabase::prefixLike() {
    QFETCH(QString, prefix);
    QFETCH(QStringList, matches);
    for (const char* s :
         {"50%off", "50xoff", "a_b", "axb", "[x]y", "x]y", "a\\b", "ab", "o'brien", "O'BRIEN2"})
        insertRow(*m_c, "df_Trade", {{"PostID", s}});
    const auto rows = selectRows(*m_c,
                                 "select [PostID] from [df_Trade] where " +
                                     m_c->dialect().prefixLike("[PostID]") + " order by [ID]",
                                 {Dialect::likePrefix(prefix)});
    QCOMPARE(texts(rows, "PostID"), matches);
}

void TestDatabase::moveFirstTradeState() {
    const QList<QPair<const char*, int>> rows{{"T1", 1}, {"T1", 1}, {"T2", 2}, {"T2", 1},
                                              {"T3", 3}, {"t4", 1}, {"T5", 1}};
    for (const auto& [no, state] : rows)
        insertRow(*m_c, "es_TradeLog", {{"TradeNO", no}, {"SndID", "W"}, {"PostStatus", state}});
    const QString sql = m_c->dialect().moveFirstTradeState();
    QCOMPARE(execute(*m_c, sql, {"T1"}), 1);
    QCOMPARE(execute(*m_c, sql, {"T1"}), 0); // the first row is in state 2 now
    QCOMPARE(execute(*m_c, sql, {"T2"}), 0); // first row not in state 1
    QCOMPARE(execute(*m_c, sql, {"T3"}), 0);
    QCOMPARE(execute(*m_c, sql, {"T4"}), 1); // trade numbers compare without case
    const auto states = selectRows(*m_c, "select [PostStatus] from [es_TradeLog] order by [ID]");
    QCOMPARE(texts(states, "PostStatus"), (QStringList{"2", "1", "2", "1", "3", "2", "1"}));
}

void TestDatabase::dates() {
    const Dialect& d = m_c->dialect();
    insertRow(*m_c, "df_Trade",
              {{"overtime", d.dateParam(QDate(2024, 2, 29))},
               {"sndTime", d.dateTimeParam(QDateTime(QDate(2024, 3, 1), QTime(7, 5, 9)))}});
    const auto rows = selectRows(*m_c, "select * from [df_Trade] where [overtime] between ? and ?",
                                 {d.dateParam(QDate(2024, 2, 29)), d.dateParam(QDate(2024, 3, 1))});
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].text("overtime"), "2024-02-29 00:00:00");
    QCOMPARE(rows[0].dateTime("sndTime"), QDateTime(QDate(2024, 3, 1), QTime(7, 5, 9)));
}

void TestDatabase::openRefuses_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QByteArray>("content"); // "<none>": no file at all
    QTest::addColumn<QString>("error");      // the start of lastError()

    const QString jet = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    const QString sql = QStringLiteral("SQLOLEDB.1");
    QTest::newRow("missing configuration file")
        << jet << QByteArray("<none>") << "The database file \"";
    QTest::newRow("missing order database")
        << sql << QByteArray("<none>") << "The database file \"";
    QTest::newRow("configuration: not SQLite")
        << jet << QByteArray("Standard Jet DB\0\0\0\0 not ours", 28) << "";
    QTest::newRow("order database: not SQLite") << sql << QByteArray(4096, 'x') << "";
    QTest::newRow("configuration: empty file") << jet << QByteArray() << "";
}

void TestDatabase::openRefuses() {
    QFETCH(QString, provider);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QVERIFY(QDir(m_dir->path()).mkdir("probe"));
    const QString path = m_dir->filePath("probe/db.mdb");
    if (content != "<none>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    Connection c;
    c.setConnectionString("Provider=" + provider +
                          ";Data Source=" + (provider.startsWith("SQL") ? "sqlite:" : "") + path);
    QVERIFY(!c.open());
    QVERIFY(!c.isOpen());
    QVERIFY(c.lastError().startsWith(error));
    QVERIFY(!c.lastError().isEmpty());
    // Opening changes nothing on disk: no file, no journal beside it.
    QCOMPARE(QFileInfo::exists(path), content != "<none>");
    if (content != "<none>")
        QCOMPARE(fileBytes(path), content);
    QCOMPARE(QDir(m_dir->filePath("probe")).entryList(QDir::Files),
             (content != "<none>" ? QStringList{"db.mdb"} : QStringList{}));
}

void TestDatabase::orderDatabaseRelativeToBaseFolder() {
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    test::createOrderDb(m_dir->filePath("sub"), "o.db");
    // An SQLite file without this program's application_id is no configuration file ...
    Connection config;
    config.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                               m_dir->filePath("sub/o.db"));
    QVERIFY(!config.open());
    QCOMPARE(config.lastError(),
             m_dir->filePath("sub/o.db") + " is not a configuration file of this program.");
    // ... but serves as order database, found from the base folder.
    Connection c;
    c.setBaseFolder(m_dir->path());
    c.setConnectionString(ordersString("sqlite:sub/o.db"));
    QVERIFY2(c.open(), qPrintable(c.lastError()));
    QCOMPARE(c.engine(), Engine::Sqlite);
    insertRow(c, "df_Shop", {{"Name", "here"}});
    Connection direct;
    test::openOrders(direct, m_dir->filePath("sub/o.db"));
    QCOMPARE(selectRows(direct, "select * from [df_Shop]").size(), 1);
    // Not from the working directory.
    c.setBaseFolder(m_dir->filePath("sub"));
    QVERIFY(!c.open());
}

// A folder name that needs quoting in the connection string and escaping in SQLite's URI.
void TestDatabase::awkwardFolderNames() {
    const QString folder = m_dir->filePath(QString::fromUtf8("a b;c'd#e?f%20g 订单"));
    QVERIFY(QDir().mkpath(folder));
    test::createConfigDb(folder);
    Connection c;
    c.setConnectionString(configConnectionString(folder + '/'));
    QVERIFY2(c.open(), qPrintable(c.lastError()));
    QCOMPARE(ConfigDb(c).readSettings().com, 1);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"db.mdb"});
}

void TestDatabase::nullsRead() {
    execute(*m_c, "create table [n] ([t] varchar(9), [i] int, [m] money, [b] bit, [d] datetime)");
    execute(*m_c, "insert into [n] values (null, null, null, null, null)");
    const Record r = selectRows(*m_c, "select * from [n]").front();
    QVERIFY(r.isNull("t"));
    QCOMPARE(r.text("t"), "");
    QVERIFY(!r.text("t").isNull());
    QCOMPARE(r.integer("i"), 0);
    QCOMPARE(r.number("m"), 0.0);
    QCOMPARE(r.bit("b"), false);
    QVERIFY(r.dateTime("d").isNull());
    for (const char* c : {"t", "i", "m", "b", "d"})
        QCOMPARE(r.text(c), "");
}

void TestDatabase::missingColumnThrows() {
    insertRow(*m_c, "df_Shop", {{"Name", "x"}});
    const Record r = selectRows(*m_c, "select [Name] from [df_Shop]").front();
    QCOMPARE(r.text("name"), "x"); // names compare without case
    const std::function<void()> reads[] = {
        [&] { r.value("Nmae"); },  [&] { r.text("Nmae"); }, [&] { r.integer("Nmae"); },
        [&] { r.number("Nmae"); }, [&] { r.bit("Nmae"); },  [&] { r.dateTime("Nmae"); },
        [&] { r.isNull("Nmae"); },
    };
    for (const auto& read : reads) {
        try {
            read();
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(e.message(), "The column \"Nmae\" was not found.");
        }
    }
    QVERIFY_THROWS_EXCEPTION(Error, selectRows(*m_c, "select [Nmae] from [df_Shop]"));
}

void TestDatabase::quoteInValue() {
    const QString evil = QStringLiteral("O'Brien'); delete from [df_Shop]; --\"");
    insertRow(*m_c, "df_Shop", {{"Name", "keep"}});
    insertRow(*m_c, "df_Shop", {{"Name", evil}});
    QCOMPARE(updateRow(*m_c, "df_Shop", "Name", evil, {{"Name", evil + "'"}}), 1);
    const auto rows =
        selectRows(*m_c, "select [Name] from [df_Shop] where [Name] = ?", {evil + "'"});
    QCOMPARE(texts(rows, "Name"), QStringList{evil + "'"});
    QCOMPARE(selectRows(*m_c, "select * from [df_Shop]").size(), 2);
}

void TestDatabase::updateAndInsert() {
    insertRow(*m_c, "df_Trade", {{"ID", 1}, {"PostID", "W1"}, {"weight", 100}});
    insertRow(*m_c, "df_Trade", {{"ID", 2}, {"PostID", "W2"}, {"weight", 200}});
    const QString before2 =
        texts(selectRows(*m_c, "select * from [df_Trade] where [ID] = 2"), "weight").join(',');
    QCOMPARE(updateRow(*m_c, "df_Trade", "ID", 1, {{"weight2", 150}, {"Remark", QString()}}), 1);
    QCOMPARE(updateRow(*m_c, "df_Trade", "ID", 99, {{"weight2", 1}}), 0);
    const Record r1 = selectRows(*m_c, "select * from [df_Trade] where [ID] = 1").front();
    QCOMPARE(r1.text("PostID"), "W1");
    QCOMPARE(r1.integer("weight"), 100);
    QCOMPARE(r1.integer("weight2"), 150);
    QVERIFY(!r1.isNull("Remark"));   // a null QString is written as empty text
    QCOMPARE(r1.bit("bSnd"), false); // the column's default
    const Record r2 = selectRows(*m_c, "select * from [df_Trade] where [ID] = 2").front();
    QVERIFY(r2.isNull("weight2"));
    QCOMPARE(r2.text("weight"), before2);

    // A reserved word as column name.
    Connection config;
    test::openConfig(config, test::createConfigDb(m_dir->path()));
    QCOMPARE(updateRow(config, "pwd", "ID", 1, {{"User", "op"}}), 1);
    QCOMPARE(selectRows(config, "select [User] from [pwd]").front().text("User"), "op");
}

void TestDatabase::transactions() {
    try {
        Transaction tx(*m_c);
        insertRow(*m_c, "df_Shop", {{"Name", "lost"}});
        insertRow(*m_c, "df_NoSuchTable", {{"Name", "x"}});
        tx.commit();
        QFAIL("no error");
    } catch (const Error&) {
    }
    QVERIFY(!m_c->inTransaction());
    QCOMPARE(selectRows(*m_c, "select * from [df_Shop]").size(), 0);
    {
        Transaction tx(*m_c);
        insertRow(*m_c, "df_Shop", {{"Name", "kept"}});
        QVERIFY_THROWS_EXCEPTION(Error, m_c->begin());
        tx.commit();
    }
    Connection other;
    test::openOrders(other, m_dir->filePath("orders.db"));
    QCOMPARE(texts(selectRows(other, "select [Name] from [df_Shop]"), "Name"), QStringList{"kept"});
}

// Another process holds the write lock for a while: our write waits for it, then succeeds.
void TestDatabase::busyWriterWaits() {
    QProcess cli;
    cli.start("sqlite3", {m_dir->filePath("orders.db")});
    QVERIFY2(cli.waitForStarted(10000), "sqlite3 did not start");
    cli.write("begin immediate;\ninsert into [df_Shop] ([Name]) values ('cli');\n"
              ".print locked\n.shell sleep 1\ncommit;\n");
    cli.closeWriteChannel();
    QElapsedTimer t;
    while (!cli.readAllStandardOutput().contains("locked"))
        QVERIFY2(cli.waitForReadyRead(10000), "sqlite3 did not take the lock");
    t.start();
    {
        Transaction tx(*m_c);
        insertRow(*m_c, "df_Shop", {{"Name", "ours"}});
        tx.commit();
    }
    QVERIFY2(t.elapsed() > 300, qPrintable(QString::number(t.elapsed()))); // it did wait
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    insertRow(*m_c, "df_Shop", {{"Name", "after"}});
    QCOMPARE(texts(selectRows(*m_c, "select [Name] from [df_Shop] order by [ID]"), "Name"),
             (QStringList{"cli", "ours", "after"}));
}

void TestDatabase::statementCounter() {
    QCOMPARE(m_c->statementCount(), 0);
    selectRows(*m_c, "select * from [df_Shop]");
    execute(*m_c, "delete from [df_Shop]");
    {
        Transaction tx(*m_c);
        insertRow(*m_c, "df_Shop", {{"Name", "a"}});
        updateRow(*m_c, "df_Shop", "Name", "a", {{"Name", "b"}});
        tx.commit();
    }
    QCOMPARE(m_c->statementCount(), 4);
    QCOMPARE(m_c->transactionStatementCount(), 2);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
