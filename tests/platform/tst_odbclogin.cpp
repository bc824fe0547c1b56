// What the FreeTDS ODBC driver really sends, without a server: with TDS 4.2 it writes its
// login packet as soon as the TCP connection stands, names and password in clear.
#include "config/ConfigDb.h"
#include "platform/Database.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Accepts one connection on 127.0.0.1 and keeps the first bytes it receives. Runs on its own
// thread, since the ODBC open blocks the calling one.
class LoginCatcher {
public:
    LoginCatcher() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(m_listen, 4) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~LoginCatcher() {
        ::shutdown(m_listen, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    // Valid once the open has returned: the driver has written and been hung up on by then.
    QByteArray received() {
        ::shutdown(m_listen, SHUT_RDWR); // ends an accept still waiting
        if (m_thread.joinable())
            m_thread.join();
        return m_bytes;
    }

private:
    void serve() {
        const int s = ::accept(m_listen, nullptr, nullptr);
        if (s < 0)
            return;
        timeval tv{10, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buf[4096];
        // One whole packet: its length is in bytes 2 and 3 of the header, big-endian.
        while (m_bytes.size() < 8 ||
               m_bytes.size() < (quint8(m_bytes[2]) << 8 | quint8(m_bytes[3]))) {
            const ssize_t n = ::recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            m_bytes.append(buf, n);
        }
        ::close(s);
    }

    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    QByteArray m_bytes;
};

// Field k (0 host name, 1 user name, 2 password) of a TDS 4.2 login packet: 30 bytes after
// the 8-byte header, each followed by its length byte (at most 30).
QByteArray loginField(const QByteArray& packet, int k) {
    const int at = 8 + 31 * k;
    if (packet.size() < at + 31)
        return "<short packet>";
    return packet.mid(at, qMin(30, int(quint8(packet[at + 30]))));
}

tv::OdbcOptions tds42() {
    tv::OdbcOptions o;
    o.flavour = tv::OdbcFlavour::FreeTds;
    o.tdsVersion = QStringLiteral("4.2");
    return o;
}

} // namespace

class TestOdbcLogin : public QObject {
    Q_OBJECT
private slots:
    void driverRegistered();
    void loginReachesDriver_data();
    void loginReachesDriver();
    void refusedBeforeDriver_data();
    void refusedBeforeDriver();
    void closedPortFailsSoon();
};

void TestOdbcLogin::driverRegistered() {
    QProcess p;
    p.start(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")});
    QVERIFY2(p.waitForFinished(10000), "odbcinst -q -d did not run");
    QVERIFY2(p.readAllStandardOutput().split('\n').contains("[FreeTDS]"),
             "the FreeTDS ODBC driver is not registered with unixODBC");
}

void TestOdbcLogin::loginReachesDriver_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("plain") << "sa"
                           << "secret";
    QTest::newRow("semicolon, brace, quote") << "sa"
                                             << "p;w}d'x";
    QTest::newRow("closing brace last") << "u}"
                                        << "abc}";
    QTest::newRow("opening brace first") << "{u"
                                         << "{x;y";
    QTest::newRow("key-like password") << "sa"
                                       << "x;Data Source=sqlite:/tmp/other";
    QTest::newRow("file dsn look-alike") << "sa"
                                         << "pw.dsn";
    QTest::newRow("edge blanks") << " sa "
                                 << " p w ";
    QTest::newRow("chinese") << QString::fromUtf8("张三") << QString::fromUtf8("密码;1");
}

// Through the order connection string built from the settings row, as start-up does; the
// server stays the one given, and user name and password arrive as stored.
void TestOdbcLogin::loginReachesDriver() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    LoginCatcher catcher;
    QVERIFY(catcher.port() > 0);

    tv::Settings s;
    s.ipAddress = QStringLiteral("127.0.0.1,%1").arg(catcher.port());
    s.dataBase = QStringLiteral("Shop");
    s.user = user;
    s.password = password;
    tv::Connection c;
    c.setOdbcOptions(tds42());
    c.setConnectionString(tv::orderConnectionString(s));
    QVERIFY(!c.open()); // the catcher hangs up after the login
    QCOMPARE(c.engine(), tv::Engine::SqlServer);

    const QByteArray packet = catcher.received();
    QVERIFY2(packet.size() >= 8 + 31 * 3, qPrintable(c.lastError()));
    QCOMPARE(quint8(packet[0]), quint8(0x02)); // TDS 4.2 login
    QCOMPARE(loginField(packet, 1), user.toUtf8());
    // The fixed field keeps 30 bytes; the remote password field further on holds it whole.
    QCOMPARE(loginField(packet, 2), password.toUtf8().left(30));
    QVERIFY(packet.contains(password.toUtf8()));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/other")));
}

// Texts the drivers would misread fail the open with a clear reason, before any connection.
void TestOdbcLogin::refusedBeforeDriver_data() {
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("error");

    QTest::newRow("password with };")
        << "127.0.0.1,1"
        << "a};b"
        << "The password contains \"};\", which the FreeTDS ODBC driver cannot receive "
           "unchanged; please choose another one.";
}

void TestOdbcLogin::refusedBeforeDriver() {
    QFETCH(QString, dataSource);
    QFETCH(QString, password);
    QFETCH(QString, error);
    tv::Settings s;
    s.ipAddress = dataSource;
    s.dataBase = QStringLiteral("Shop");
    s.user = QStringLiteral("sa");
    s.password = password;
    tv::Connection c;
    c.setConnectionString(tv::orderConnectionString(s));
    QVERIFY(!c.open());
    QCOMPARE(c.lastError(), error);
}

void TestOdbcLogin::closedPortFailsSoon() {
    tv::Connection c;
    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=pw;User ID=sa;"
                                         "Initial Catalog=Shop;Data Source=127.0.0.1,1"));
    QElapsedTimer t;
    t.start();
    QVERIFY(!c.open());
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!c.isOpen());
    QVERIFY2(!c.lastError().isEmpty(), "no error text");
    qInfo() << t.elapsed() << "ms:" << c.lastError();
}

QTEST_GUILESS_MAIN(TestOdbcLogin)
#include "tst_odbclogin.moc"
