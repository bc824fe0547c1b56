#pragma once

#include <QString>

namespace tv {

// Which ODBC layer the string is written for: they disagree on how a '}' inside a braced
// value is carried.
enum class OdbcFlavour {
    FreeTds,  // unixODBC + FreeTDS: a braced value runs to the first '}' followed by ';'
    Microsoft // Windows driver manager: '}' inside a braced value is doubled
};

struct SqlServerLogin {
    QString dataSource; // host, host\instance or host,port
    QString catalog;
    QString user;
    QString password;
};

struct OdbcOptions {
    OdbcFlavour flavour =
#ifdef Q_OS_WIN
        OdbcFlavour::Microsoft;
#else
        OdbcFlavour::FreeTds;
#endif
    QString tdsVersion = QStringLiteral("7.4");
    int loginTimeoutSeconds = 5;
};

// The ODBC connection string for an SQL Server login. Every value goes in braces, so a ';'
// can neither break nor alter the string. Throws tv::Error for a value the driver cannot carry.
QString sqlServerOdbcString(const SqlServerLogin& login, const OdbcOptions& options = {});

// The same string in three parts: everything up to the login without a closing ';', and the
// braced UID and PWD values. Qt's ODBC driver takes a database name holding ".dsn" anywhere
// for a file DSN; it appends user name and password as ";UID=...;PWD=..." untested, so they
// go that way and only server and catalog meet that test.
struct OdbcLoginParts {
    QString head;
    QString user;
    QString password;
};
OdbcLoginParts sqlServerOdbcParts(const SqlServerLogin& login, const OdbcOptions& options = {});

} // namespace tv
