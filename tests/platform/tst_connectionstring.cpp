#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "platform/OdbcConnectionString.h"

#include <QtTest>

using Pairs = QList<QPair<QString, QString>>;

class TestConnectionString : public QObject {
    Q_OBJECT
private slots:
    void adoRoundTrip_data();
    void adoRoundTrip();
    void adoParse_data();
    void adoParse();
    void odbc_data();
    void odbc();
};

// A stored value written between two other keys reads back unchanged, and no key is added
// or changed whatever it holds.
void TestConnectionString::adoRoundTrip_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");

    QTest::newRow("plain") << "secret"
                           << "secret";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("inner blank") << "a b"
                                 << "a b";
    QTest::newRow("equals sign") << "a=b"
                                 << "a=b";
    QTest::newRow("braces") << "{a;b}}"
                            << "\"{a;b}}\"";
    QTest::newRow("lone braces") << "}{"
                                 << "}{";
    QTest::newRow("semicolon") << "a;b"
                               << "\"a;b\"";
    QTest::newRow("double quote") << "a\"b"
                                  << "\"a\"\"b\"";
    QTest::newRow("single quote") << "it's"
                                  << "\"it's\"";
    QTest::newRow("both quotes") << "'\"'"
                                 << "\"'\"\"'\"";
    QTest::newRow("leading quote") << "\"x"
                                   << "\"\"\"x\"";
    QTest::newRow("leading blank") << " pw"
                                   << "\" pw\"";
    QTest::newRow("trailing blank") << "pw "
                                    << "\"pw \"";
    QTest::newRow("blanks only") << "  "
                                 << "\"  \"";
    QTest::newRow("tab at the end") << "pw\t"
                                    << "\"pw\t\"";
    QTest::newRow("key injection") << "x;Data Source=sqlite:/tmp/other"
                                   << "\"x;Data Source=sqlite:/tmp/other\"";
    QTest::newRow("quote then key") << "x\";Data Source=y"
                                    << "\"x\"\";Data Source=y\"";
}

void TestConnectionString::adoRoundTrip() {
    QFETCH(QString, value);
    QFETCH(QString, written);
    QCOMPARE(tv::AdoConnectionString::quoteValue(value), written);

    tv::AdoConnectionString s;
    s.append(QStringLiteral("Provider"), QStringLiteral("SQLOLEDB.1"));
    s.append(QStringLiteral("Password"), value);
    s.append(QStringLiteral("Data Source"), QStringLiteral("db1"));
    const QString text = s.toString();
    QCOMPARE(text, "Provider=SQLOLEDB.1;Password=" + written + ";Data Source=db1");

    const auto back = tv::AdoConnectionString::parse(text);
    QVERIFY(back);
    const Pairs expected{{"Provider", "SQLOLEDB.1"}, {"Password", value}, {"Data Source", "db1"}};
    QCOMPARE(back->pairs(), expected);
}

void TestConnectionString::adoParse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<Pairs>("pairs");

    QTest::newRow("empty") << "" << true << Pairs{};
    QTest::newRow("separators only") << " ; ;" << true << Pairs{};
    QTest::newRow("blanks around keys and values")
        << " a = 1 ; b c = x y ;" << true << Pairs{{"a", "1"}, {"b c", "x y"}};
    QTest::newRow("empty value") << "a=;b=2" << true << Pairs{{"a", ""}, {"b", "2"}};
    QTest::newRow("equals sign in a bare value") << "a=b=c" << true << Pairs{{"a", "b=c"}};
    QTest::newRow("double-quoted") << "a=\"x;y\";b=2" << true << Pairs{{"a", "x;y"}, {"b", "2"}};
    QTest::newRow("single-quoted, doubled inside") << "a='it''s;'" << true << Pairs{{"a", "it's;"}};
    QTest::newRow("other quote inside") << "a='say \"hi\"'" << true << Pairs{{"a", "say \"hi\""}};
    QTest::newRow("blanks after a closing quote")
        << "a=\"x\"  ;b=1" << true << Pairs{{"a", "x"}, {"b", "1"}};
    QTest::newRow("quote inside a bare value") << "a=x\"y" << true << Pairs{{"a", "x\"y"}};
    QTest::newRow("unterminated quote") << "a=\"x;b=2" << false << Pairs{};
    QTest::newRow("unterminated after doubled quote") << "a=\"x\"\"" << false << Pairs{};
    QTest::newRow("text after a closing quote") << "a=\"x\"y;b=2" << false << Pairs{};
    QTest::newRow("piece without equals sign") << "a=1;junk;b=2" << false << Pairs{};
    QTest::newRow("empty key") << "=1" << false << Pairs{};
    QTest::newRow("blank key") << "a=1; =2" << false << Pairs{};
}

void TestConnectionString::adoParse() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(Pairs, pairs);
    const auto parsed = tv::AdoConnectionString::parse(text);
    QCOMPARE(bool(parsed), valid);
    if (parsed)
        QCOMPARE(parsed->pairs(), pairs);
}

void TestConnectionString::odbc_data() {
    QTest::addColumn<tv::OdbcFlavour>("flavour");
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // the string, or the error's text

    const auto ft = tv::OdbcFlavour::FreeTds;
    const auto ms = tv::OdbcFlavour::Microsoft;
    const QString tail = QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
    QTest::newRow("host") << ft << "db1"
                          << "sa"
                          << "pw"
                          << "DRIVER={FreeTDS};SERVER={db1};DATABASE={Shop};" + tail +
                                 "UID={sa};PWD={pw};";
    QTest::newRow("host and instance")
        << ft << "db1\\SQLEXPRESS"
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER={db1\\SQLEXPRESS};DATABASE={Shop};" + tail +
               "UID={sa};PWD={pw};";
    QTest::newRow("host and port, blanks around")
        << ft << " 10.0.0.5 , 1433 "
        << "sa"
        << "pw"
        << "DRIVER={FreeTDS};SERVER={10.0.0.5};PORT=1433;DATABASE={Shop};" + tail +
               "UID={sa};PWD={pw};";
    QTest::newRow("password with ; } '")
        << ft << "db1"
        << "sa"
        << "p;w}d'x"
        << "DRIVER={FreeTDS};SERVER={db1};DATABASE={Shop};" + tail + "UID={sa};PWD={p;w}d'x};";
    QTest::newRow("closing brace last")
        << ft << "db1"
        << "u}"
        << "abc}"
        << "DRIVER={FreeTDS};SERVER={db1};DATABASE={Shop};" + tail + "UID={u}};PWD={abc}};";
    QTest::newRow("password with }; refused")
        << ft << "db1"
        << "sa"
        << "a};b"
        << "The password contains \"};\", which the FreeTDS ODBC driver cannot receive "
           "unchanged; please choose another one.";
    QTest::newRow("user with }; refused")
        << ft << "db1"
        << "x};"
        << "pw"
        << "The user name contains \"};\", which the FreeTDS ODBC driver cannot receive "
           "unchanged; please choose another one.";
    QTest::newRow("port not a number") << ft << "db1,x"
                                       << "sa"
                                       << "pw"
                                       << "The server \"db1,x\" names no valid port.";
    QTest::newRow("port 0") << ft << "db1,0"
                            << "sa"
                            << "pw"
                            << "The server \"db1,0\" names no valid port.";
    QTest::newRow("port too big") << ms << "db1,65536"
                                  << "sa"
                                  << "pw"
                                  << "The server \"db1,65536\" names no valid port.";
    QTest::newRow("microsoft: braces doubled")
        << ms << "db1"
        << "sa"
        << "a};b}"
        << "DRIVER={ODBC Driver 17 for SQL Server};SERVER={db1};DATABASE={Shop};UID={sa};"
           "PWD={a}};b}}};";
    QTest::newRow("microsoft: host and port in one value")
        << ms << "db1,1433"
        << "sa"
        << "pw"
        << "DRIVER={ODBC Driver 17 for SQL Server};SERVER={db1,1433};DATABASE={Shop};UID={sa};"
           "PWD={pw};";
}

void TestConnectionString::odbc() {
    QFETCH(tv::OdbcFlavour, flavour);
    QFETCH(QString, dataSource);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    tv::OdbcOptions options;
    options.flavour = flavour;
    QString result;
    try {
        result =
            tv::sqlServerOdbcString({dataSource, QStringLiteral("Shop"), user, password}, options);
    } catch (const tv::Error& e) {
        result = e.message();
    }
    QCOMPARE(result, expected);
}

QTEST_APPLESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
