#include "platform/Database.h"

#include "platform/AppFolders.h"
#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "platform/OdbcConnectionString.h"
#include "platform/OdbcDriver.h"

#include <QAtomicInteger>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QUrl>
#include <cmath>
#include <limits>

namespace tv {

namespace {

QAtomicInteger<int> g_connectionSerial;
QAtomicInteger<int> g_busyTimeoutMs = 5000;

std::function<QSqlDriver*()>& sqlServerDriverFactory() {
    static std::function<QSqlDriver*()> factory;
    return factory;
}

QString errorText(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    const QString d = e.driverText().trimmed();
    if (t.isEmpty())
        return d;
    if (!d.isEmpty() && !t.contains(d))
        t += QStringLiteral(" (") + d + u')';
    return t;
}

// Qt binds a null QString as SQL NULL; text values are written as text, empty included.
QVariant forBinding(const QVariant& v) {
    if (v.typeId() == QMetaType::QString && v.toString().isNull())
        return QVariant(QString::fromUtf8("", 0));
    return v;
}

const char* const kDateTimeFormats[] = {"yyyy-MM-dd hh:mm:ss", "yyyy-MM-dd hh:mm:ss.zzz",
                                        "yyyy-MM-ddThh:mm:ss", "yyyy-MM-ddThh:mm:ss.zzz",
                                        "yyyy-MM-dd"};

} // namespace

// ---- Dialect ---------------------------------------------------------------------------

QString Dialect::selectFirst(const QString& columns, const QString& rest) const {
    if (m_engine == Engine::SqlServer)
        return QStringLiteral("select top 1 ") + columns + QStringLiteral(" from ") + rest;
    return QStringLiteral("select ") + columns + QStringLiteral(" from ") + rest +
           QStringLiteral(" limit 1");
}

QString Dialect::prefixLike(const QString& column) const {
    return column + QStringLiteral(" like ? escape '\\'");
}

QString Dialect::likePrefix(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    for (const QChar c : text) {
        // '[' opens a character class in T-SQL patterns; SQLite takes the escaped form too.
        if (c == u'\\' || c == u'%' || c == u'_' || c == u'[')
            out += u'\\';
        out += c;
    }
    out += u'%';
    return out;
}

QString Dialect::moveFirstTradeState() const {
    if (m_engine == Engine::SqlServer)
        return QStringLiteral("with f as (select top (1) [PostStatus] from [es_TradeLog] "
                              "where [TradeNO] = ?) update f set [PostStatus] = 2 "
                              "where [PostStatus] = 1");
    return QStringLiteral("update [es_TradeLog] set [PostStatus] = 2 where rowid = "
                          "(select rowid from [es_TradeLog] where [TradeNO] = ? limit 1) "
                          "and [PostStatus] = 1");
}

QVariant Dialect::dateTimeParam(const QDateTime& value) const {
    if (m_engine == Engine::SqlServer)
        return value;
    return value.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QVariant Dialect::dateParam(const QDate& value) const {
    return dateTimeParam(QDateTime(value, QTime(0, 0)));
}

QString Dialect::largeReadSetup() const {
    return m_engine == Engine::Sqlite ? QStringLiteral("pragma mmap_size = 1073741824") : QString();
}

// ---- Connection ------------------------------------------------------------------------

void Connection::setBusyTimeout(int ms) {
    g_busyTimeoutMs.storeRelaxed(qMax(0, ms));
}

int Connection::busyTimeout() {
    return g_busyTimeoutMs.loadRelaxed();
}

Connection::Connection()
    : m_name(QStringLiteral("tolvane-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1)))
    , m_dialect(Engine::None) {}

Connection::~Connection() {
    close();
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void Connection::fail(const QString& text) {
    m_lastError = text;
    close();
}

void Connection::close() {
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_inTransaction = false;
}

bool Connection::open() {
    close();
    m_lastError.clear();
    m_journalMode.clear();
    const auto parsed = AdoConnectionString::parse(m_connectionString);
    if (!parsed) {
        fail(QStringLiteral("The connection string cannot be read."));
        return false;
    }
    const QString provider = parsed->value(QStringLiteral("Provider")).trimmed();
    const QString source = parsed->value(QStringLiteral("Data Source"));
    if (provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) == 0)
        return openSqlite(source, true);
    if (provider.compare(QLatin1String("SQLOLEDB.1"), Qt::CaseInsensitive) == 0 ||
        provider.compare(QLatin1String("SQLOLEDB"), Qt::CaseInsensitive) == 0) {
        if (source.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
            QString path = source.mid(7);
            if (QDir::isRelativePath(path)) {
                const QString base =
                    m_baseFolder.isEmpty() ? AppFolders::current().dataFolder() : m_baseFolder;
                path = QDir(base).filePath(path);
            }
            return openSqlite(path, false);
        }
        return openSqlServer(source, parsed->value(QStringLiteral("Initial Catalog")),
                             parsed->value(QStringLiteral("User ID")),
                             parsed->value(QStringLiteral("Password")));
    }
    fail(QStringLiteral("The provider \"%1\" is not known.").arg(provider));
    return false;
}

bool Connection::openSqlite(const QString& path, bool configuration) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        fail(QStringLiteral("The database file \"%1\" does not exist.").arg(path));
        return false;
    }
    m_dialect = Dialect(Engine::Sqlite);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        // mode=rw: opening never creates a file.
        db.setDatabaseName(
            QStringLiteral("file:") +
            QString::fromLatin1(QUrl::toPercentEncoding(info.absoluteFilePath(), "/")) +
            QStringLiteral("?mode=rw"));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout()));
        if (!db.open()) {
            const QString t = errorText(db.lastError());
            db = QSqlDatabase();
            fail(QStringLiteral("%1: %2").arg(path, t));
            return false;
        }
    }
    try {
        // SQLite reads the header lazily: the first statement tells a foreign file apart. Its
        // row is read whole, so that no statement stays open when the journal mode changes.
        const QList<Record> id = selectRows(*this, QStringLiteral("pragma application_id"));
        const int appId = id.isEmpty() ? 0 : id[0].integer(QStringLiteral("application_id"));
        if (configuration && appId != kConfigApplicationId) {
            fail(QStringLiteral("%1 is not a configuration file of this program.").arg(path));
            return false;
        }
        if (m_readsOnly)
            m_journalMode = pragmaText(QStringLiteral("pragma journal_mode")).toLower();
        else if (!configuration)
            useWriteAheadLog();
    } catch (const Error& e) {
        fail(QStringLiteral("%1: %2").arg(path, e.message()));
        return false;
    }
    m_statements = 0;
    return true;
}

void Connection::useWriteAheadLog() {
    m_journalMode = pragmaText(QStringLiteral("pragma journal_mode")).toLower();
    if (m_journalMode != QLatin1String("wal")) {
        // The switch needs the file to itself. Another process reading it in rollback mode,
        // or a folder where the -wal file cannot be made, refuses it: the file then keeps
        // its mode and works as it is. Only a short wait is spent on it, not the busy timeout.
        const QString timeout = pragmaText(QStringLiteral("pragma busy_timeout"));
        try {
            execute(*this, QStringLiteral("pragma busy_timeout = %1").arg(kJournalSwitchWaitMs));
            m_journalMode = pragmaText(QStringLiteral("pragma journal_mode = wal")).toLower();
        } catch (const Error&) {
        }
        execute(*this, QStringLiteral("pragma busy_timeout = %1").arg(timeout.toInt()));
    }
    // With a write-ahead log, syncing at checkpoints only cannot corrupt the file; in rollback
    // mode the default full sync stays.
    if (m_journalMode == QLatin1String("wal"))
        execute(*this, QStringLiteral("pragma synchronous = normal"));
}

QString Connection::pragmaText(const QString& sql) {
    const QList<Record> rows = selectRows(*this, sql);
    if (rows.isEmpty() || rows[0].sqlRecord().isEmpty())
        return {};
    return Record::textOf(rows[0].sqlRecord().value(0));
}

bool Connection::openSqlServer(const QString& dataSource, const QString& catalog,
                               const QString& user, const QString& password) {
    QString odbc;
    try {
        odbc = sqlServerOdbcString({dataSource, catalog, user, password}, m_odbcOptions);
    } catch (const Error& e) {
        fail(e.message());
        return false;
    }
    m_dialect = Dialect(Engine::SqlServer);
    // Our own driver over the ODBC API: Qt's binds text as 8-bit with FreeTDS (see OdbcDriver).
    QSqlDriver* driver = nullptr;
    if (sqlServerDriverFactory()) {
        driver = sqlServerDriverFactory()();
    } else {
        auto* odbcDriver = new OdbcDriver;
        odbcDriver->setLoginTimeout(m_odbcOptions.loginTimeoutSeconds);
        driver = odbcDriver;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_name);
    db.setDatabaseName(odbc);
    if (!db.open()) {
        const QString t = errorText(db.lastError());
        db = QSqlDatabase();
        fail(t);
        return false;
    }
    return true;
}

void Connection::setSqlServerDriverFactory(std::function<QSqlDriver*()> factory) {
    sqlServerDriverFactory() = std::move(factory);
}

OdbcDriver* Connection::odbcDriver() const {
    if (engine() != Engine::SqlServer || !QSqlDatabase::contains(m_name))
        return nullptr;
    return qobject_cast<OdbcDriver*>(database().driver());
}

bool Connection::connectionLost() const {
    const OdbcDriver* d = odbcDriver();
    return d && d->isBroken();
}

void Connection::reconnectIfLost() {
    // An SQL Server login that failed (the server was down, the login refused) is tried
    // again by the next statement, whose error then names the server's reason.
    if (engine() == Engine::SqlServer && !QSqlDatabase::contains(m_name)) {
        if (!open())
            throw Error(m_lastError);
        ++m_reconnects;
        return;
    }
    OdbcDriver* d = odbcDriver();
    if (!d || !d->isBroken())
        return;
    // Work done in a transaction died with the connection; the caller's statement must not
    // run on a fresh one as if it had not.
    if (m_inTransaction)
        throw Error(QStringLiteral("The connection to the database was lost; the changes not "
                                   "yet committed were not saved."));
    if (!d->reconnect())
        throw Error(errorText(d->lastError()));
    ++m_reconnects;
}

void Connection::begin() {
    if (m_inTransaction)
        throw Error(QStringLiteral("A transaction is already running."));
    reconnectIfLost();
    ++m_transactionStatements;
    QSqlDatabase db = database();
    QElapsedTimer waited;
    waited.start();
    if (engine() == Engine::Sqlite) {
        // Take the write lock at once: a deferred transaction that reads first cannot wait
        // for another writer later and fails instead.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("begin immediate")))
            throw Error(errorText(q.lastError()));
    } else if (!db.transaction()) {
        // A connection dropped while idle shows itself here; nothing had begun, so the begin
        // goes out once more on a new one.
        if (!connectionLost())
            throw Error(errorText(db.lastError()));
        reconnectIfLost();
        ++m_transactionStatements;
        if (!db.transaction())
            throw Error(errorText(db.lastError()));
    }
    const qint64 ns = waited.nsecsElapsed();
    if (ns >= kLockWaitNs) {
        ++m_lockWaits;
        m_lockWaitNs += ns;
    }
    m_inTransaction = true;
}

void Connection::commit() {
    if (!m_inTransaction)
        return;
    ++m_transactionStatements;
    QSqlDatabase db = database();
    if (engine() == Engine::Sqlite) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("commit"))) {
            const QString t = errorText(q.lastError());
            rollback();
            throw Error(t);
        }
    } else if (!db.commit()) {
        const QString t = errorText(db.lastError());
        rollback();
        throw Error(t);
    }
    m_inTransaction = false;
}

void Connection::rollback() noexcept {
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    ++m_transactionStatements;
    if (!QSqlDatabase::contains(m_name))
        return;
    QSqlDatabase db = database();
    if (engine() == Engine::Sqlite) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("rollback"));
    } else {
        db.rollback();
    }
}

Transaction::Transaction(Connection& connection)
    : m_connection(connection) {
    m_connection.begin();
}

Transaction::~Transaction() {
    if (!m_done)
        m_connection.rollback();
}

void Transaction::commit() {
    m_done = true;
    m_connection.commit();
}

// ---- Record ----------------------------------------------------------------------------

QVariant Record::value(const QString& name) const {
    const int i = m_record.indexOf(name);
    if (i < 0)
        throw Error(QStringLiteral("The column \"%1\" was not found.").arg(name));
    return m_record.value(i);
}

bool Record::isNull(const QString& name) const {
    return value(name).isNull();
}

QString Record::textOf(const QVariant& v) {
    if (v.isNull())
        return QString::fromUtf8("", 0);
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

QString Record::text(const QString& name) const {
    return textOf(value(name));
}

double Record::numberOf(const QVariant& v, const QString& name) {
    if (v.isNull())
        return 0;
    bool ok = false;
    double d = 0;
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray) {
        const QString t = v.toString().trimmed();
        if (t.isEmpty())
            return 0;
        d = t.toDouble(&ok);
    } else {
        d = v.toDouble(&ok);
    }
    if (!ok)
        throw Error(QStringLiteral("The value \"%1\" of the column \"%2\" is not a number.")
                        .arg(v.toString(), name));
    return d;
}

qint32 Record::integer(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull())
        return 0;
    bool ok = false;
    qlonglong n = 0;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = std::round(v.toDouble());
        ok = std::isfinite(d) && d >= std::numeric_limits<qint32>::min() &&
             d <= std::numeric_limits<qint32>::max();
        n = ok ? static_cast<qlonglong>(d) : 0;
        break;
    }
    default: {
        const QString t = v.toString().trimmed();
        if (t.isEmpty())
            return 0;
        n = t.toLongLong(&ok);
        if (!ok) {
            const double d = std::round(t.toDouble(&ok));
            ok = ok && std::isfinite(d) && std::fabs(d) < 4e18;
            n = ok ? static_cast<qlonglong>(d) : 0;
        }
    }
    }
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw Error(QStringLiteral("The value \"%1\" of the column \"%2\" is not a whole number.")
                        .arg(v.toString(), name));
    return static_cast<qint32>(n);
}

double Record::number(const QString& name) const {
    return numberOf(value(name), name);
}

bool Record::bit(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString t = v.toString().trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.isEmpty() || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok)
        throw Error(
            QStringLiteral("The value \"%1\" of the column \"%2\" is not a bit.").arg(t, name));
    return d != 0;
}

QDateTime Record::dateTimeFromText(const QString& text) {
    for (const char* f : kDateTimeFormats) {
        QDateTime d = QDateTime::fromString(text, QLatin1String(f));
        if (d.isValid())
            return d;
    }
    return {};
}

QDateTime Record::dateTime(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    const QString t = v.toString().trimmed();
    if (t.isEmpty())
        return {};
    const QDateTime d = dateTimeFromText(t);
    if (d.isValid())
        return d;
    throw Error(
        QStringLiteral("The value \"%1\" of the column \"%2\" is not a date.").arg(t, name));
}

// ---- Query -----------------------------------------------------------------------------

Query::Query(Connection& connection, const QString& sql)
    : m_connection(connection)
    , m_sql(sql) {
    connection.reconnectIfLost();
    m_query = QSqlQuery(connection.database());
    m_query.setForwardOnly(true);
    if (!connection.isOpen())
        throw Error(QStringLiteral("The database is not connected."));
    if (!m_query.prepare(sql))
        throw Error(errorText(m_query.lastError()));
}

Query& Query::bind(const QVariant& value) {
    m_query.addBindValue(forBinding(value));
    return *this;
}

Query& Query::bindAll(const QVariantList& values) {
    for (const QVariant& v : values)
        bind(v);
    return *this;
}

Query& Query::exec() {
    m_connection.countStatement();
    if (m_query.exec())
        return *this;
    const QString text = errorText(m_query.lastError());
    // A select that found the connection dropped (the server restarted, the network went away
    // while the program was idle) changed nothing: it goes out once more on a new connection.
    if (m_connection.connectionLost() && !m_connection.inTransaction() && isSelect(m_sql)) {
        m_connection.reconnectIfLost();
        m_connection.countStatement();
        if (m_query.exec())
            return *this;
        throw Error(errorText(m_query.lastError()));
    }
    throw Error(text);
}

bool Query::next() {
    if (m_query.next())
        return true;
    const QSqlError e = m_query.lastError();
    if (e.isValid() && e.type() != QSqlError::NoError)
        throw Error(errorText(e));
    return false;
}

QList<Record> Query::readAll() {
    QList<Record> rows;
    while (next())
        rows.append(record());
    m_query.finish();
    return rows;
}

// ---- helpers ---------------------------------------------------------------------------

bool isSelect(const QString& sql) {
    return QStringView(sql).trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive);
}

QString ident(const QString& name) {
    return u'[' + name + u']';
}

QList<Record> selectRows(Connection& c, const QString& sql, const QVariantList& params) {
    Query q(c, sql);
    q.bindAll(params).exec();
    return q.readAll();
}

int execute(Connection& c, const QString& sql, const QVariantList& params) {
    Query q(c, sql);
    q.bindAll(params).exec();
    const int n = q.rowsAffected();
    q.sqlQuery().finish();
    return n;
}

int updateRow(Connection& c, const QString& table, const QString& keyColumn, const QVariant& key,
              const Assignments& assignments, const Assignments& required) {
    if (assignments.isEmpty())
        return 0;
    QString sql = QStringLiteral("update ") + ident(table) + QStringLiteral(" set ");
    QVariantList params;
    for (qsizetype i = 0; i < assignments.size(); ++i) {
        if (i)
            sql += QStringLiteral(", ");
        sql += ident(assignments[i].first) + QStringLiteral(" = ?");
        params.append(assignments[i].second);
    }
    sql += QStringLiteral(" where ") + ident(keyColumn) + QStringLiteral(" = ?");
    params.append(key);
    for (const auto& [column, value] : required) {
        sql += QStringLiteral(" and ") + ident(column) + QStringLiteral(" = ?");
        params.append(value);
    }
    return execute(c, sql, params);
}

void insertRow(Connection& c, const QString& table, const Assignments& assignments) {
    QString cols;
    QString marks;
    QVariantList params;
    for (qsizetype i = 0; i < assignments.size(); ++i) {
        if (i) {
            cols += QStringLiteral(", ");
            marks += QStringLiteral(", ");
        }
        cols += ident(assignments[i].first);
        marks += u'?';
        params.append(assignments[i].second);
    }
    execute(c,
            QStringLiteral("insert into ") + ident(table) + QStringLiteral(" (") + cols +
                QStringLiteral(") values (") + marks + u')',
            params);
}

} // namespace tv
