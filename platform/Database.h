#pragma once

#include "platform/OdbcConnectionString.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <functional>

class QSqlDriver;

namespace tv {

class OdbcDriver;

enum class Engine { None, Sqlite, SqlServer };

// application_id of this program's configuration file ("Tolv").
inline constexpr int kConfigApplicationId = 0x546F6C76;

// The few statement pieces that cannot be one text for both engines.
class Dialect {
public:
    explicit Dialect(Engine engine = Engine::Sqlite)
        : m_engine(engine) {}
    Engine engine() const { return m_engine; }

    // "select <columns> from <rest>" limited to its first row.
    QString selectFirst(const QString& columns, const QString& rest) const;
    // "<column> like ? escape '\'" for a "begins with" match; bind likePrefix(text) to it.
    QString prefixLike(const QString& column) const;
    // The pattern that matches exactly the texts beginning with text: \ % _ [ are escaped.
    static QString likePrefix(const QString& text);
    // Moves the first es_TradeLog row of a trade number from state 1 to 2; binds the number.
    QString moveFirstTradeState() const;
    // A date-time as a statement parameter (ISO text on SQLite, a timestamp on SQL Server).
    QVariant dateTimeParam(const QDateTime& value) const;
    // A date as a statement parameter, at midnight.
    QVariant dateParam(const QDate& value) const;
    // Run once on a short-lived connection of its own before a read of a large share of the
    // file: SQLite maps the file instead of copying each page it reads. Empty: nothing to run.
    QString largeReadSetup() const;

private:
    Engine m_engine;
};

// One open database: the configuration file, or the order database on either engine.
// Opening is the one guarded call: it never throws and keeps the reason in lastError().
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& text) { m_connectionString = text; }
    const QString& connectionString() const { return m_connectionString; }

    bool open();
    void close();
    bool isOpen() const;
    const QString& lastError() const { return m_lastError; }

    Engine engine() const { return m_dialect.engine(); }
    const Dialect& dialect() const { return m_dialect; }
    QSqlDatabase database() const;

    // How an SQL Server connection string is written for the ODBC driver (TDS version,
    // login time-out); taken at the next open.
    void setOdbcOptions(const OdbcOptions& options) { m_odbcOptions = options; }
    const OdbcOptions& odbcOptions() const { return m_odbcOptions; }

    // Makes the driver of every SQL Server connection opened afterwards, in place of the ODBC
    // one; a tool uses it to record the statements without a server. Empty: the ODBC driver.
    static void setSqlServerDriverFactory(std::function<QSqlDriver*()> factory);

    // Folder that relative "sqlite:" paths start from (the program's data folder by default).
    void setBaseFolder(const QString& folder) { m_baseFolder = folder; }
    const QString& baseFolder() const { return m_baseFolder; }

    // How long a statement on an SQLite file waits for another process's lock before it fails
    // with "database is locked"; 5 s unless changed. Taken by every connection opened later.
    static void setBusyTimeout(int ms);
    static int busyTimeout();

    // Statements sent so far, for benchmarks; transaction control counted apart.
    qint64 statementCount() const { return m_statements; }
    qint64 transactionStatementCount() const { return m_transactionStatements; }
    void countStatement() { ++m_statements; }

    // SQL Server: the server or the network dropped the connection. The next statement opens
    // it again with the stored login (reconnectIfLost()); inside a transaction it fails instead.
    bool connectionLost() const;
    void reconnectIfLost();
    // Times the connection was opened again after a drop; for tests and benchmarks.
    qint64 reconnectCount() const { return m_reconnects; }

    // Journal mode of an SQLite file as opened ("wal", or the mode it kept, such as "delete").
    const QString& journalMode() const { return m_journalMode; }
    // A connection opened only to read an SQLite file leaves its journal mode as it is: it
    // neither tries the switch to a write-ahead log (and its wait) nor changes the syncing.
    void setReadsOnly(bool on) { m_readsOnly = on; }

    // Transactions whose begin waited 1 ms or more, mostly for another writer's lock, and the
    // time they waited; for benchmarks.
    qint64 lockWaitCount() const { return m_lockWaits; }
    double lockWaitMs() const { return double(m_lockWaitNs) / 1e6; }

    // Throw tv::Error with the database's text on failure.
    void begin();
    void commit();
    void rollback() noexcept;
    bool inTransaction() const { return m_inTransaction; }

private:
    bool openSqlite(const QString& path, bool configuration);
    bool openSqlServer(const QString& dataSource, const QString& catalog, const QString& user,
                       const QString& password);
    void fail(const QString& text);
    OdbcDriver* odbcDriver() const;
    void useWriteAheadLog();
    QString pragmaText(const QString& sql);

    static constexpr int kJournalSwitchWaitMs = 500;
    static constexpr qint64 kLockWaitNs = 1000000;

    QString m_name;
    QString m_connectionString;
    QString m_lastError;
    QString m_baseFolder;
    QString m_journalMode;
    bool m_readsOnly = false;
    Dialect m_dialect;
    OdbcOptions m_odbcOptions;
    qint64 m_statements = 0;
    qint64 m_transactionStatements = 0;
    qint64 m_reconnects = 0;
    qint64 m_lockWaits = 0;
    qint64 m_lockWaitNs = 0;
    bool m_inTransaction = false;
};

// Rolls back unless committed; several writes that must stand together run in one.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    void commit();

private:
    Connection& m_connection;
    bool m_done = false;
};

// One row read into memory. Fields are found by name without regard to case; a null reads
// as empty text, 0 or false; a missing column or a value of the wrong kind throws tv::Error.
class Record {
public:
    Record() = default;
    explicit Record(QSqlRecord record)
        : m_record(std::move(record)) {}

    QVariant value(const QString& name) const;
    bool isNull(const QString& name) const;
    QString text(const QString& name) const;
    qint32 integer(const QString& name) const;
    double number(const QString& name) const;
    bool bit(const QString& name) const;
    QDateTime dateTime(const QString& name) const;
    const QSqlRecord& sqlRecord() const { return m_record; }

    // The same conversions on a value already taken from a row.
    static QString textOf(const QVariant& v);
    static double numberOf(const QVariant& v, const QString& name = {});
    // A date-time given as text, in the forms the databases hand out ("yyyy-MM-dd hh:mm:ss",
    // with or without milliseconds or a "T", or a date alone); invalid when none fits.
    static QDateTime dateTimeFromText(const QString& text);

private:
    QSqlRecord m_record;
};

// A prepared statement with bound parameters ('?'), forward-only.
class Query {
public:
    Query(Connection& connection, const QString& sql);
    Query& bind(const QVariant& value);
    Query& bindAll(const QVariantList& values);
    // Runs it; throws tv::Error carrying the database's text.
    Query& exec();
    bool next();
    Record record() const { return Record(m_query.record()); }
    // Every remaining row, read before the next statement goes out on the connection.
    QList<Record> readAll();
    int rowsAffected() const { return m_query.numRowsAffected(); }
    QSqlQuery& sqlQuery() { return m_query; }

private:
    Connection& m_connection;
    QString m_sql;
    QSqlQuery m_query;
};

using Assignments = QList<QPair<QString, QVariant>>;

QList<Record> selectRows(Connection& c, const QString& sql, const QVariantList& params = {});
// Runs a statement without rows; returns the rows it changed.
int execute(Connection& c, const QString& sql, const QVariantList& params = {});
// "Edit": saves the changed columns of one row as an UPDATE by its key. Columns in required
// must also hold their values, or the row is left alone: the caller sees 0 rows changed.
int updateRow(Connection& c, const QString& table, const QString& keyColumn, const QVariant& key,
              const Assignments& assignments, const Assignments& required = {});
// "Append": adds one row as an INSERT; columns not named take their defaults.
void insertRow(Connection& c, const QString& table, const Assignments& assignments);

// The statement only reads: it begins with "select".
bool isSelect(const QString& sql);

// "[name]": identifiers are bracketed so that reserved words such as User work on both engines.
QString ident(const QString& name);

} // namespace tv
