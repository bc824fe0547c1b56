// The ODBC string of an SQL Server login. Whatever the server, catalog, user name and password
// hold, the string read back the way the driver reads it has exactly the builder's keys, each
// with the value given, or the builder refuses the login with tv::Error. Which logins are refused
// and how the server splits into host and port are worked out here on their own, not with the
// builder's code, so a fault in either shows.
#include "platform/Error.h"
#include "platform/OdbcConnectionString.h"

#include "FuzzInput.h"

#include <QList>
#include <QPair>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

using Pairs = QList<QPair<QString, QString>>;

// The driver's reading. The string goes to the driver as a C string, so it ends at the first
// NUL. "key=value;" pairs; a value opening with '{' is braced: FreeTDS runs it to the first '}'
// followed by ';' or the end, with "}}" kept as it is; ODBC's rule (Microsoft) reads "}}" as
// '}' and ends at a single '}'.
Pairs driverPairs(QString s, tv::OdbcFlavour flavour) {
    const qsizetype nul = s.indexOf(QChar(0));
    if (nul >= 0)
        s.truncate(nul);
    Pairs out;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const qsizetype eq = s.indexOf(u'=', i);
        if (eq < 0) {
            out.append({s.mid(i), QStringLiteral("<no value>")});
            break;
        }
        const QString key = s.mid(i, eq - i);
        i = eq + 1;
        QString value;
        if (i < n && s[i] == u'{') {
            ++i;
            if (flavour == tv::OdbcFlavour::FreeTds) {
                qsizetype end = i;
                while (end < n && !(s[end] == u'}' && (end + 1 == n || s[end + 1] == u';')))
                    ++end;
                if (end == n)
                    return {{QStringLiteral("<unterminated>"), s}};
                value = s.mid(i, end - i);
                i = end + 1;
            } else {
                for (;;) {
                    if (i == n)
                        return {{QStringLiteral("<unterminated>"), s}};
                    if (s[i] == u'}') {
                        if (i + 1 < n && s[i + 1] == u'}') {
                            value += u'}';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += s[i++];
                }
            }
            if (i < n && s[i] != u';')
                return {{QStringLiteral("<text after brace>"), s}};
        } else {
            const qsizetype semi = s.indexOf(u';', i);
            value = s.mid(i, (semi < 0 ? n : semi) - i);
            i = semi < 0 ? n : semi;
        }
        if (i < n && s[i] == u';')
            ++i;
        out.append({key, value});
    }
    return out;
}

// The server as the login means it: "host", "host\instance" or "host,port", where the port is
// whatever follows the last comma, and white space around the whole or either part is no part
// of it.
struct Server {
    QString host;
    QString port;
    bool hasPort = false;
};

QString stripped(QStringView v) {
    qsizetype begin = 0;
    qsizetype end = v.size();
    while (begin < end && v[begin].isSpace())
        ++begin;
    while (end > begin && v[end - 1].isSpace())
        --end;
    return v.sliced(begin, end - begin).toString();
}

Server server(const QString& dataSource) {
    qsizetype lastComma = -1;
    for (qsizetype i = 0; i < dataSource.size(); ++i)
        if (dataSource[i] == u',')
            lastComma = i;
    if (lastComma < 0)
        return {stripped(dataSource), QString(), false};
    const QStringView all(dataSource);
    return {stripped(all.first(lastComma)), stripped(all.sliced(lastComma + 1)), true};
}

// A TCP port: decimal digits only, 1 to 65535.
bool validPort(const QString& port) {
    if (port.isEmpty())
        return false;
    int value = 0;
    for (QChar c : port) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
        if (value > 65535)
            return false;
    }
    return value > 0;
}

// A value the driver cannot receive unchanged: a NUL ends the C string; FreeTDS ends a braced
// value at the first "};".
bool uncarriable(const QString& value, tv::OdbcFlavour flavour) {
    return value.contains(QChar(0)) ||
           (flavour == tv::OdbcFlavour::FreeTds && value.contains(QStringLiteral("};")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const tv::OdbcFlavour flavour =
        (data[0] & 1) ? tv::OdbcFlavour::Microsoft : tv::OdbcFlavour::FreeTds;
    QList<QByteArray> p = tv::fuzz::pieces(data + 1, size - 1, 4);
    while (p.size() < 4)
        p.append(QByteArray());
    const tv::SqlServerLogin login{tv::fuzz::text(p[0]), tv::fuzz::text(p[1]), tv::fuzz::text(p[2]),
                                   tv::fuzz::text(p[3])};
    tv::OdbcOptions options;
    options.flavour = flavour;

    const Server srv = server(login.dataSource);
    bool refuse = srv.hasPort && !validPort(srv.port);
    for (const QString* v : {&srv.host, &login.catalog, &login.user, &login.password})
        refuse = refuse || uncarriable(*v, flavour);

    QString odbc;
    try {
        odbc = tv::sqlServerOdbcString(login, options);
    } catch (const tv::Error&) {
        check(refuse); // refused, with a message: nothing reaches the driver
        return 0;
    }
    check(!refuse);

    Pairs expected;
    if (flavour == tv::OdbcFlavour::FreeTds) {
        expected.append({QStringLiteral("DRIVER"), QStringLiteral("FreeTDS")});
        expected.append({QStringLiteral("SERVER"), srv.host});
        if (srv.hasPort)
            expected.append({QStringLiteral("PORT"), srv.port});
    } else {
        expected.append(
            {QStringLiteral("DRIVER"), QStringLiteral("ODBC Driver 17 for SQL Server")});
        expected.append(
            {QStringLiteral("SERVER"), srv.hasPort ? srv.host + u',' + srv.port : srv.host});
    }
    expected.append({QStringLiteral("DATABASE"), login.catalog});
    if (flavour == tv::OdbcFlavour::FreeTds) {
        expected.append({QStringLiteral("TDS_Version"), options.tdsVersion});
        expected.append({QStringLiteral("ClientCharset"), QStringLiteral("UTF-8")});
    }
    expected.append({QStringLiteral("UID"), login.user});
    expected.append({QStringLiteral("PWD"), login.password});
    check(driverPairs(odbc, flavour) == expected);
    return 0;
}
