#include "platform/OdbcConnectionString.h"

#include "platform/Error.h"

#include <algorithm>

namespace tv {

namespace {

QString braced(const QString& what, const QString& value, OdbcFlavour flavour) {
    // The string reaches the driver as a C string: a NUL would end it there, dropping the keys
    // after it.
    if (value.contains(QChar(0)))
        throw Error(QStringLiteral("The %1 contains a NUL character, which cannot be passed to "
                                   "the ODBC driver; please choose another one.")
                        .arg(what));
    if (flavour == OdbcFlavour::Microsoft) {
        QString v = value;
        v.replace(u'}', QStringLiteral("}}"));
        return u'{' + v + u'}';
    }
    // FreeTDS ends the value at the first "};" and does not unescape "}}": a value holding
    // "};" cannot be carried without changing it.
    if (value.contains(QStringLiteral("};")))
        throw Error(QStringLiteral("The %1 contains \"};\", which the FreeTDS ODBC driver cannot "
                                   "receive unchanged; please choose another one.")
                        .arg(what));
    return u'{' + value + u'}';
}

} // namespace

OdbcLoginParts sqlServerOdbcParts(const SqlServerLogin& login, const OdbcOptions& options) {
    QString host = login.dataSource.trimmed();
    QString port;
    const qsizetype comma = host.lastIndexOf(u',');
    if (comma >= 0) {
        port = host.mid(comma + 1).trimmed();
        host = host.left(comma).trimmed();
        // Digits only: the port goes into the string unbraced, and a conversion that stops
        // early (at a NUL, say) would let the rest of the text through.
        bool ok = !port.isEmpty() && std::all_of(port.cbegin(), port.cend(),
                                                 [](QChar c) { return c >= u'0' && c <= u'9'; });
        const int p = ok ? port.toInt(&ok) : 0;
        if (!ok || p <= 0 || p > 65535)
            throw Error(
                QStringLiteral("The server \"%1\" names no valid port.").arg(login.dataSource));
    }
    const OdbcFlavour f = options.flavour;
    QString out;
    if (f == OdbcFlavour::FreeTds)
        out = QStringLiteral("DRIVER={FreeTDS};");
    else
        out = QStringLiteral("DRIVER={ODBC Driver 17 for SQL Server};");
    if (f == OdbcFlavour::Microsoft && !port.isEmpty()) {
        out += QStringLiteral("SERVER=") + braced(QStringLiteral("server"), host + u',' + port, f) +
               u';';
    } else {
        out += QStringLiteral("SERVER=") + braced(QStringLiteral("server"), host, f) + u';';
        if (!port.isEmpty())
            out += QStringLiteral("PORT=") + port + u';';
    }
    out += QStringLiteral("DATABASE=") + braced(QStringLiteral("catalog"), login.catalog, f);
    if (f == OdbcFlavour::FreeTds) {
        out += QStringLiteral(";TDS_Version=") + options.tdsVersion;
        out += QStringLiteral(";ClientCharset=UTF-8");
    }
    return {out, braced(QStringLiteral("user name"), login.user, f),
            braced(QStringLiteral("password"), login.password, f)};
}

QString sqlServerOdbcString(const SqlServerLogin& login, const OdbcOptions& options) {
    const OdbcLoginParts p = sqlServerOdbcParts(login, options);
    return p.head + QStringLiteral(";UID=") + p.user + QStringLiteral(";PWD=") + p.password + u';';
}

} // namespace tv
