#include "config/ConfigDb.h"
#include "platform/ConnectionString.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <functional>

using namespace tv;

using Writer = std::function<void(ConfigDb&)>;
using Row = QVariantMap;
Q_DECLARE_METATYPE(Writer)

namespace {

const char* const kPrintFolder = "--print-executable-folder";
// Mode 0600, as seen by its owner.
const QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadUser | QFileDevice::WriteUser;

Row settingsRow(Connection& c) {
    const QSqlRecord r = selectRows(c, "select * from [pwd] where [ID] = 1").front().sqlRecord();
    Row row;
    for (int i = 0; i < r.count(); ++i)
        row.insert(r.fieldName(i), r.value(i));
    return row;
}

QList<int> sels(Connection& c) {
    QList<int> out;
    for (const Record& r : selectRows(c, "select [Sel] from [ListView1Conf] order by [ColIndex]"))
        out.append(r.integer("Sel"));
    return out;
}

QString tool(const QString& name) {
    return QDir(test::binDir()).filePath("../tools/" + name);
}

} // namespace

class TestConfigDb : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void configConnectionString_data();
    void configConnectionString();
    void orderConnectionString_data();
    void orderConnectionString();
    void executableFolder_data();
    void executableFolder();

    void writersChangeOnlyTheirColumns_data();
    void writersChangeOnlyTheirColumns();
    void optionValues_data();
    void optionValues();
    void columnChoice_data();
    void columnChoice();
    void checkLogin_data();
    void checkLogin();

    void suppliedFile();
    void mkconfigdbKeepsExistingFile();

private:
    QTemporaryDir* m_dir = nullptr;
    Connection* m_c = nullptr;
};

void TestConfigDb::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_c = new Connection;
    test::openConfig(*m_c, test::createConfigDb(m_dir->path()));
}

void TestConfigDb::cleanup() {
    delete m_c;
    delete m_dir;
}

void TestConfigDb::configConnectionString_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    const QString head = "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password="
                         "qmvx.ploreth.zk;Data Source=";
    const QString tail = ";Persist Security Info=True";
    QTest::newRow("ordinary") << "/opt/Pack/" << head + "/opt/Pack/db.mdb" + tail;
    QTest::newRow("blank and chinese") << QString::fromUtf8("/home/王 五/")
                                       << head + QString::fromUtf8("/home/王 五/db.mdb") + tail;
    QTest::newRow("semicolon quoted") << "/a;b/" << head + "\"/a;b/db.mdb\"" + tail;
    QTest::newRow("quote quoted") << "/o'k\"/" << head + "\"/o'k\"\"/db.mdb\"" + tail;
}

void TestConfigDb::configConnectionString() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    const QString text = tv::configConnectionString(folder);
    QCOMPARE(text, expected);
    QCOMPARE(AdoConnectionString::parse(text)->value("Data Source"), folder + "db.mdb");
}

void TestConfigDb::orderConnectionString_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ordinary")
        << "192.168.1.20"
        << "Shop"
        << "sa"
        << "pw.1"
        << "Provider=SQLOLEDB.1;Password=pw.1;Persist Security Info=True;User ID=sa;"
           "Initial Catalog=Shop;Data Source=192.168.1.20";
    QTest::newRow("empty values") << ""
                                  << ""
                                  << ""
                                  << ""
                                  << "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;"
                                     "User ID=;Initial Catalog=;Data Source=";
    QTest::newRow("instance and port")
        << "db1\\SQLEXPRESS,1433"
        << "Shop"
        << "sa"
        << "pw"
        << "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
           "Initial Catalog=Shop;Data Source=db1\\SQLEXPRESS,1433";
    QTest::newRow("key in the password")
        << "db1"
        << "Shop"
        << "sa"
        << "x;Data Source=sqlite:/tmp/other"
        << "Provider=SQLOLEDB.1;Password=\"x;Data Source=sqlite:/tmp/other\";Persist Security "
           "Info=True;User ID=sa;Initial Catalog=Shop;Data Source=db1";
    QTest::newRow("quotes and blanks")
        << "db1 "
        << "a'b"
        << "\"u\""
        << " p"
        << "Provider=SQLOLEDB.1;Password=\" p\";Persist Security Info=True;User ID=\"\"\"u\"\"\";"
           "Initial Catalog=\"a'b\";Data Source=\"db1 \"";
}

// Character for character, and whatever the values hold, read back as six keys.
void TestConfigDb::orderConnectionString() {
    QFETCH(QString, ip);
    QFETCH(QString, db);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    Settings s;
    s.ipAddress = ip;
    s.dataBase = db;
    s.user = user;
    s.password = password;
    const QString text = tv::orderConnectionString(s);
    QCOMPARE(text, expected);
    const auto parsed = AdoConnectionString::parse(text);
    QVERIFY(parsed);
    const QList<QPair<QString, QString>> pairs{
        {"Provider", "SQLOLEDB.1"}, {"Password", password},  {"Persist Security Info", "True"},
        {"User ID", user},          {"Initial Catalog", db}, {"Data Source", ip}};
    QCOMPARE(parsed->pairs(), pairs);
}

// The folder of the real file, whatever the working directory and however it was started.
void TestConfigDb::executableFolder_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("relative path from another directory") << "relative";
    QTest::newRow("copy in another folder") << "copy";
    QTest::newRow("through a symlink") << "symlink";
}

void TestConfigDb::executableFolder() {
    QFETCH(QString, how);
    const QString self = QCoreApplication::applicationFilePath();
    QString program = self;
    QString folder = QFileInfo(self).absolutePath() + '/';
    if (how == "copy") {
        program = m_dir->filePath("copy/tst");
        folder = m_dir->filePath("copy") + '/';
        QVERIFY(QDir().mkpath(m_dir->filePath("copy")));
        QVERIFY(QFile::copy(self, program));
    } else if (how == "symlink") {
        program = m_dir->filePath("link");
        QVERIFY(QFile::link(self, program));
    }
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(how == "relative" ? QDir(m_dir->path()).relativeFilePath(program) : program,
            {kPrintFolder});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), folder);
}

void TestConfigDb::writersChangeOnlyTheirColumns_data() {
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<Row>("changed");

    for (int k = 4; k <= 7; ++k) {
        const QString col = QStringLiteral("check%1").arg(k);
        QTest::addRow("option %s on", qPrintable(col))
            << Writer([col](ConfigDb& d) { d.writeOption(col, true); }) << Row{{col, 1}};
        QTest::addRow("option %s off", qPrintable(col))
            << Writer([col](ConfigDb& d) { d.writeOption(col, false); }) << Row{{col, 0}};
    }
    QTest::newRow("remember on") << Writer([](ConfigDb& d) {
        d.writeRemember(true, QString::fromUtf8("王五"));
    }) << Row{{"check3", 1}, {"DefaultOpr", QString::fromUtf8("王五")}};
    QTest::newRow("remember off") << Writer([](ConfigDb& d) { d.writeRemember(false, ""); })
                                  << Row{{"check3", 0}, {"DefaultOpr", ""}};
    QTest::newRow("login") << Writer([](ConfigDb& d) {
        d.writeLogin("db2,1433", "Cat'2", "u;2", "p\"2");
    })
                           << Row{{"IPAddress", "db2,1433"},
                                  {"DataBase", "Cat'2"},
                                  {"User", "u;2"},
                                  {"Password", "p\"2"}};
    QTest::newRow("scale") << Writer([](ConfigDb& d) { d.writeScale(8, 1); })
                           << Row{{"Com", 8}, {"ScaleType", 1}};
}

void TestConfigDb::writersChangeOnlyTheirColumns() {
    QFETCH(Writer, writer);
    QFETCH(Row, changed);
    // Distinct values everywhere, so that a stray assignment shows.
    execute(*m_c, "update [pwd] set [IPAddress] = 'ip', [User] = 'us', [Password] = 'pw', "
                  "[DataBase] = 'db', [Com] = 3, [ScaleType] = 2, [DefaultOpr] = 'op', "
                  "[check3] = 5, [check4] = 5, [check5] = 5, [check6] = 5, [check7] = 5");
    Row expected = settingsRow(*m_c);
    ConfigDb d(*m_c);
    writer(d);
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
        expected[it.key()] = it.value();
    }
    const Row after = settingsRow(*m_c);
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QVERIFY2(Record::textOf(it.value()) == Record::textOf(expected[it.key()]),
                 qPrintable(it.key() + ": " + Record::textOf(it.value())));
    QCOMPARE(selectRows(*m_c, "select * from [pwd]").size(), 1);
}

void TestConfigDb::optionValues_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("set");
    QTest::newRow("0") << QVariant(0) << false;
    QTest::newRow("1") << QVariant(1) << true;
    QTest::newRow("2") << QVariant(2) << true;
    QTest::newRow("-1") << QVariant(-1) << true;
    QTest::newRow("no value") << QVariant() << false;
}

void TestConfigDb::optionValues() {
    QFETCH(QVariant, stored);
    QFETCH(bool, set);
    Assignments all;
    for (const char* c : {"check3", "check4", "check5", "check6", "check7"})
        all.append({c, stored});
    updateRow(*m_c, "pwd", "ID", 1, all);
    execute(*m_c, "update [ListView1Conf] set [Sel] = ?", {stored});
    ConfigDb d(*m_c);
    const Settings s = d.readSettings();
    QCOMPARE((QList<bool>{s.check3, s.check4, s.check5, s.check6, s.check7}), QList<bool>(5, set));
    QCOMPARE(d.readColumnChoice(), QList<bool>(18, set));
}

void TestConfigDb::columnChoice_data() {
    QTest::addColumn<QList<int>>("colIndexes"); // in the order the rows were added
    QTest::addColumn<QList<bool>>("written");
    QTest::addColumn<QList<int>>("after"); // Sel in ColIndex order

    const QList<int> c18{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    QList<bool> alt18;
    for (int k = 0; k < 18; ++k)
        alt18.append(k % 2 == 0);
    const QList<int> alt18Sel{1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    QTest::newRow("18 rows, all hidden") << c18 << QList<bool>(18, false) << QList<int>(18, 0);
    QTest::newRow("18 rows, alternating") << c18 << alt18 << alt18Sel;
    QTest::newRow("17 rows") << c18.mid(1) << alt18.mid(0, 17) << alt18Sel.mid(0, 17);
    QTest::newRow("20 rows, sparse and unordered keys: rows beyond stay")
        << QList<int>{40, 2, 7, 5, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39}
        << alt18 << alt18Sel + QList<int>{1, 1};
    QTest::newRow("fewer states than rows")
        << c18 << QList<bool>(3, false) << QList<int>(3, 0) + QList<int>(15, 1);
}

void TestConfigDb::columnChoice() {
    QFETCH(QList<int>, colIndexes);
    QFETCH(QList<bool>, written);
    QFETCH(QList<int>, after);
    execute(*m_c, "delete from [ListView1Conf]");
    for (int k : colIndexes)
        insertRow(*m_c, "ListView1Conf", {{"ColIndex", k}, {"Sel", 1}});
    ConfigDb d(*m_c);
    QCOMPARE(d.readColumnChoice(), QList<bool>(colIndexes.size(), true));
    d.writeColumnChoice(written);
    QCOMPARE(sels(*m_c), after);
    QList<bool> read;
    for (int s : after)
        read.append(s != 0);
    QCOMPARE(d.readColumnChoice(), read);
}

void TestConfigDb::suppliedFile() {
    const QString path = QDir(test::binDir()).filePath("db.mdb");
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(QFileInfo(path).permissions(), kPrivate);
    Connection c;
    c.setConnectionString(tv::configConnectionString(test::binDir() + '/'));
    QVERIFY2(c.open(), qPrintable(c.lastError())); // application_id checked by the open
    QCOMPARE(selectRows(c, "pragma application_id").front().integer("application_id"),
             kConfigApplicationId);
    const Row row = settingsRow(c);
    QCOMPARE(row["Com"].toInt(), 1);
    QCOMPARE(row["ScaleType"].toInt(), 0);
    for (const char* k : {"check3", "check4", "check5", "check6", "check7"}) {
        QVERIFY2(!row[k].isNull(), k);
        QCOMPARE(row[k].toInt(), 0);
    }
    QVERIFY(row["IPAddress"].toString().startsWith("sqlite:"));
    QCOMPARE(sels(c), QList<int>(18, 1));
    QCOMPARE(selectRows(c, "select [ColIndex] from [ListView1Conf]").size(), 18);
}

void TestConfigDb::mkconfigdbKeepsExistingFile() {
    const QString schema = test::dataDir() + "/config.sql";
    const QString existing = m_dir->filePath("db.mdb"); // the fixture's, holding a change
    updateRow(*m_c, "pwd", "ID", 1, {{"Com", 7}});
    delete m_c;
    m_c = nullptr;
    QFile f(existing);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    QCOMPARE(QProcess::execute(tool("mkconfigdb"), {schema, existing}), 0);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();

    const QString fresh = m_dir->filePath("new/db.mdb");
    QVERIFY(QDir().mkpath(m_dir->filePath("new")));
    QCOMPARE(QProcess::execute(tool("mkconfigdb"), {schema, fresh}), 0);
    QCOMPARE(QFileInfo(fresh).permissions(), kPrivate);
    Connection c;
    test::openConfig(c, fresh);
    QCOMPARE(ConfigDb(c).readSettings().com, 1);

    // A schema that fails leaves no file behind.
    const QString bad = m_dir->filePath("bad.sql");
    QFile b(bad);
    QVERIFY(b.open(QIODevice::WriteOnly));
    b.write("create table [x] ([a] integer);\nthis is not sql;\n");
    b.close();
    QCOMPARE(QProcess::execute(tool("mkconfigdb"), {bad, m_dir->filePath("bad.mdb")}), 1);
    QVERIFY(!QFileInfo::exists(m_dir->filePath("bad.mdb")));
}

void TestConfigDb::checkLogin_data() {
    QTest::addColumn<QStringList>("typed"); // server, catalog, user, password, confirmation
    QTest::addColumn<QString>("message");
    const QString empty = QStringLiteral("输入不能为空!");
    const QString differ = QStringLiteral("输入的密码不相同,失败!");
    QTest::newRow("complete") << QStringList{"h", "d", "u", "p", "p"} << QString();
    QTest::newRow("all empty: one message") << QStringList{"", "", "", "a", "b"} << empty;
    QTest::newRow("server empty") << QStringList{"", "d", "u", "", ""} << empty;
    QTest::newRow("catalog empty") << QStringList{"h", "", "u", "", ""} << empty;
    QTest::newRow("user empty") << QStringList{"h", "d", "", "", ""} << empty;
    QTest::newRow("blanks are not empty") << QStringList{" ", " ", " ", "", ""} << QString();
    QTest::newRow("passwords differ") << QStringList{"h", "d", "u", "a", "b"} << differ;
    QTest::newRow("passwords differ in case") << QStringList{"h", "d", "u", "Pw", "pw"} << differ;
    QTest::newRow("trailing blank counts") << QStringList{"h", "d", "u", "pw", "pw "} << differ;
    QTest::newRow("empty password and confirmation")
        << QStringList{"h", "d", "u", "", ""} << QString();
    QTest::newRow("server with an instance, password with ; and }")
        << QStringList{"srv\\SQLEXPRESS", "d", "u", "p;w}d'", "p;w}d'"} << QString();
}

void TestConfigDb::checkLogin() {
    QFETCH(QStringList, typed);
    QFETCH(QString, message);
    QCOMPARE(tv::checkLogin({typed[0], typed[1], typed[2], typed[3], typed[4]}), message);
}

int main(int argc, char** argv) {
    if (argc == 2 && qstrcmp(argv[1], kPrintFolder) == 0) {
        QCoreApplication app(argc, argv);
        std::fputs(tv::executableFolder().toUtf8().constData(), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestConfigDb t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_configdb.moc"
