// The ODBC string of an SQL Server login. Whatever the server, catalog, user name and password
// hold, the string read back the way the driver reads it has exactly the builder's keys, each
// with the value given, or the builder refuses the login with tv::Error.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const tv::OdbcFlavour flavour =
        (data[0] & 1) ? tv::OdbcFlavour::Microsoft : tv::OdbcFlavour::FreeTds;
    QList<QByteArray> p = tv::fuzz::pieces(data + 1, size - 1, 4);
    while (p.size() < 4)
        p.append(QByteArray());
    tv::SqlServerLogin login{tv::fuzz::text(p[0]), tv::fuzz::text(p[1]), tv::fuzz::text(p[2]),
                             tv::fuzz::text(p[3])};
    tv::OdbcOptions options;
    options.flavour = flavour;

    QString odbc;
    try {
        odbc = tv::sqlServerOdbcString(login, options);
    } catch (const tv::Error&) {
        return 0; // refused, with a message: nothing reaches the driver
    }

    QString host = login.dataSource.trimmed();
    QString port;
    const qsizetype comma = host.lastIndexOf(u',');
    if (comma >= 0) {
        port = host.mid(comma + 1).trimmed();
        host = host.left(comma).trimmed();
    }
    Pairs expected;
    if (flavour == tv::OdbcFlavour::FreeTds) {
        expected.append({QStringLiteral("DRIVER"), QStringLiteral("FreeTDS")});
        expected.append({QStringLiteral("SERVER"), host});
        if (!port.isEmpty())
            expected.append({QStringLiteral("PORT"), port});
    } else {
        expected.append(
            {QStringLiteral("DRIVER"), QStringLiteral("ODBC Driver 17 for SQL Server")});
        expected.append({QStringLiteral("SERVER"), port.isEmpty() ? host : host + u',' + port});
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
