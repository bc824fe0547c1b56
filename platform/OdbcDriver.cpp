#include "platform/OdbcDriver.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace tv {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide text is UTF-16");

struct OdbcDriverState {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    QString connectString;
    int loginTimeout = 5;
    bool broken = false;
    // Grows with every login and close: statement handles of an older one are gone.
    quint64 generation = 0;
    // The result whose rows are still on the wire, if any.
    OdbcResult* onWire = nullptr;
};

namespace {

// Declared lengths of text parameters: fixed, so that a statement keeps one text (and one
// plan) whatever its values. FreeTDS cuts a longer value to these lengths without a word, so
// a longer one goes as a long type (varchar(max), nvarchar(max)).
constexpr SQLULEN kVarcharLength = 8000;
constexpr SQLULEN kNVarcharLength = 4000;

struct Diagnostics {
    QString text;
    QString state;
    int native = 0;
    bool connectionLost = false;
};

// Every diagnostic record of a handle: "[FreeTDS][SQL Server]..." texts joined by blanks.
// SQLSTATE class 08 means the connection itself failed (dropped, refused, gone).
Diagnostics diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    Diagnostics d;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[2048];
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(type, handle, i, state, &native, message, 2048, &length);
        if (!SQL_SUCCEEDED(r))
            break;
        const QString s = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
        const QString m = QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                             qMin<qsizetype>(length, 2047));
        if (d.state.isEmpty()) {
            d.state = s;
            d.native = int(native);
        }
        if (s.startsWith(QLatin1String("08")))
            d.connectionLost = true;
        if (!m.isEmpty() && !d.text.contains(m)) {
            if (!d.text.isEmpty())
                d.text += u' ';
            d.text += m;
        }
    }
    if (d.text.isEmpty())
        d.text = QStringLiteral("The ODBC driver reported a failure without a message.");
    return d;
}

QSqlError sqlError(const QString& what, const Diagnostics& d, QSqlError::ErrorType type) {
    return QSqlError(what, d.text, type, d.native ? QString::number(d.native) : d.state);
}

// A statement or connection text as the wide-character calls take it.
SQLWCHAR* wide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<ushort*>(text.utf16()));
}

// Whether the driver found the connection gone. FreeTDS reports a server that hung up as
// "Unexpected EOF from the server" with SQLSTATE 01000, not as a connection failure (08...),
// but marks the connection dead.
bool connectionDead(SQLHDBC dbc) {
    if (dbc == SQL_NULL_HDBC)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    return SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
}

bool isAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// How a result column is read.
enum class ColumnKind { Text, Binary, Int, BigInt, Bit, Double, Timestamp, Date, Time };

ColumnKind kindOf(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return ColumnKind::Int;
    case SQL_BIGINT:
        return ColumnKind::BigInt;
    case SQL_BIT:
        return ColumnKind::Bit;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL: // money comes as decimal(19,4); amounts are doubles in this program
    case SQL_NUMERIC:
        return ColumnKind::Double;
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:
        return ColumnKind::Timestamp;
    case SQL_TYPE_DATE:
        return ColumnKind::Date;
    case SQL_TYPE_TIME:
        return ColumnKind::Time;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return ColumnKind::Binary;
    default:
        return ColumnKind::Text;
    }
}

QMetaType metaTypeOf(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Int:
        return QMetaType(QMetaType::Int);
    case ColumnKind::BigInt:
        return QMetaType(QMetaType::LongLong);
    case ColumnKind::Bit:
        return QMetaType(QMetaType::Bool);
    case ColumnKind::Double:
        return QMetaType(QMetaType::Double);
    case ColumnKind::Timestamp:
        return QMetaType(QMetaType::QDateTime);
    case ColumnKind::Date:
        return QMetaType(QMetaType::QDate);
    case ColumnKind::Time:
        return QMetaType(QMetaType::QTime);
    case ColumnKind::Binary:
        return QMetaType(QMetaType::QByteArray);
    case ColumnKind::Text:
        break;
    }
    return QMetaType(QMetaType::QString);
}

// One bound parameter's value, alive until the statement has run.
struct ParamBuffer {
    QByteArray bytes;
    SQLLEN indicator = 0;
    union {
        SQLINTEGER integer;
        SQLBIGINT bigint;
        double real;
        unsigned char bit;
        SQL_TIMESTAMP_STRUCT timestamp;
        SQL_DATE_STRUCT date;
        SQL_TIME_STRUCT time;
    } v;
};

SQLRETURN bindParameter(SQLHSTMT stmt, SQLUSMALLINT number, const QVariant& value, ParamBuffer& p) {
    const bool null = value.isNull();
    std::memset(&p.v, 0, sizeof p.v);
    auto bindFixed = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                         void* buffer, SQLLEN length) {
        p.indicator = null ? SQL_NULL_DATA : length;
        return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, cType, sqlType, size, digits, buffer,
                                length, &p.indicator);
    };
    switch (value.typeId()) {
    case QMetaType::Bool:
        p.v.bit = value.toBool() ? 1 : 0;
        return bindFixed(SQL_C_BIT, SQL_BIT, 1, 0, &p.v.bit, sizeof p.v.bit);
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        p.v.integer = SQLINTEGER(value.toInt());
        return bindFixed(SQL_C_SLONG, SQL_INTEGER, 10, 0, &p.v.integer, sizeof p.v.integer);
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        p.v.bigint = SQLBIGINT(value.toLongLong());
        return bindFixed(SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &p.v.bigint, sizeof p.v.bigint);
    case QMetaType::Double:
    case QMetaType::Float:
        p.v.real = value.toDouble();
        return bindFixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &p.v.real, sizeof p.v.real);
    case QMetaType::QDateTime: {
        const QDateTime t = value.toDateTime();
        const QDate d = t.date();
        const QTime h = t.time();
        p.v.timestamp = {SQLSMALLINT(d.year()),           SQLUSMALLINT(d.month()),
                         SQLUSMALLINT(d.day()),           SQLUSMALLINT(h.hour()),
                         SQLUSMALLINT(h.minute()),        SQLUSMALLINT(h.second()),
                         SQLUINTEGER(h.msec()) * 1000000u};
        return bindFixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 27, 7, &p.v.timestamp,
                         sizeof p.v.timestamp);
    }
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        p.v.date = {SQLSMALLINT(d.year()), SQLUSMALLINT(d.month()), SQLUSMALLINT(d.day())};
        return bindFixed(SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &p.v.date, sizeof p.v.date);
    }
    case QMetaType::QTime: {
        const QTime h = value.toTime();
        p.v.time = {SQLUSMALLINT(h.hour()), SQLUSMALLINT(h.minute()), SQLUSMALLINT(h.second())};
        return bindFixed(SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, &p.v.time, sizeof p.v.time);
    }
    case QMetaType::QByteArray: {
        p.bytes = value.toByteArray();
        p.indicator = null ? SQL_NULL_DATA : SQLLEN(p.bytes.size());
        const bool isLong = SQLULEN(p.bytes.size()) > kVarcharLength;
        return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_BINARY,
                                isLong ? SQL_LONGVARBINARY : SQL_VARBINARY,
                                qMax<SQLULEN>(kVarcharLength, p.bytes.size()), 0, p.bytes.data(),
                                p.bytes.size(), &p.indicator);
    }
    default:
        break;
    }
    const QString text = value.toString();
    if (isAscii(text)) {
        p.bytes = text.toLatin1();
        p.indicator = null ? SQL_NULL_DATA : SQLLEN(p.bytes.size());
        const bool isLong = SQLULEN(p.bytes.size()) > kVarcharLength;
        return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_CHAR,
                                isLong ? SQL_LONGVARCHAR : SQL_VARCHAR,
                                qMax<SQLULEN>(kVarcharLength, p.bytes.size()), 0, p.bytes.data(),
                                p.bytes.size(), &p.indicator);
    }
    p.bytes = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    p.indicator = SQLLEN(p.bytes.size());
    const bool isLong = SQLULEN(text.size()) > kNVarcharLength;
    return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR,
                            isLong ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                            qMax<SQLULEN>(kNVarcharLength, text.size()), 0, p.bytes.data(),
                            p.bytes.size(), &p.indicator);
}

} // namespace

// ---- OdbcResult ------------------------------------------------------------------------

class OdbcResult final : public QSqlResult {
public:
    explicit OdbcResult(const OdbcDriver* driver)
        : QSqlResult(driver) {}
    ~OdbcResult() override;

    // Reads the rows still on the wire into memory, so that the connection is free.
    void drain();
    // The connection's handles are gone (closed or reconnected).
    void forget();

protected:
    QVariant data(int i) override;
    bool isNull(int i) override;
    bool reset(const QString& query) override;
    bool prepare(const QString& query) override;
    bool exec() override;
    bool fetch(int i) override;
    bool fetchNext() override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override { return -1; }
    int numRowsAffected() override { return int(m_rowsAffected); }
    QSqlRecord record() const override { return m_record; }
    void detachFromResultSet() override;

private:
    OdbcDriver* odbcDriver() const {
        return static_cast<OdbcDriver*>(const_cast<QSqlDriver*>(driver()));
    }
    OdbcDriverState* state() const {
        OdbcDriver* d = odbcDriver();
        return d ? d->m_state.get() : nullptr;
    }
    bool run(const QString& sql, const QVariantList& params);
    void fail(const QString& what, SQLHANDLE handle, SQLSMALLINT type,
              QSqlError::ErrorType kind = QSqlError::StatementError);
    // The next row from memory or from the wire; false at the end or on an error.
    bool nextRow(QVariantList& row);
    bool readRowFromWire(QVariantList& row);
    bool readColumn(SQLUSMALLINT column, ColumnKind kind, QVariant& value);
    // Reads the rest of the answer (further results included) and closes the cursor.
    void endOfWire();
    void releaseHandle();

    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
    quint64 m_generation = 0;
    QString m_sql;
    QSqlRecord m_record;
    std::vector<ColumnKind> m_kinds;
    QVariantList m_row;
    QList<QVariantList> m_buffered; // rows drained from the wire, not handed out yet
    qsizetype m_bufferedAt = 0;
    QSqlError m_drainError;
    qint64 m_rowsAffected = -1;
    bool m_onWire = false;
};

OdbcResult::~OdbcResult() {
    releaseHandle();
}

void OdbcResult::releaseHandle() {
    OdbcDriverState* s = state();
    if (s && s->onWire == this)
        s->onWire = nullptr;
    if (m_stmt != SQL_NULL_HSTMT && s && m_generation == s->generation)
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
    m_stmt = SQL_NULL_HSTMT;
    m_onWire = false;
}

void OdbcResult::forget() {
    m_stmt = SQL_NULL_HSTMT;
    m_onWire = false;
}

void OdbcResult::fail(const QString& what, SQLHANDLE handle, SQLSMALLINT type,
                      QSqlError::ErrorType kind) {
    const Diagnostics d = diagnostics(type, handle);
    if (OdbcDriverState* s = state())
        s->broken = s->broken || d.connectionLost || connectionDead(s->dbc);
    setLastError(sqlError(what, d, kind));
}

bool OdbcResult::prepare(const QString& query) {
    // Nothing goes to the server here: the statement and its values go out together in exec().
    m_sql = query;
    return true;
}

bool OdbcResult::exec() {
    return run(m_sql, boundValues());
}

bool OdbcResult::reset(const QString& query) {
    m_sql = query;
    return run(query, {});
}

bool OdbcResult::run(const QString& sql, const QVariantList& params) {
    setLastError(QSqlError());
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    setSelect(false);
    endOfWire();
    m_record.clear();
    m_kinds.clear();
    m_row.clear();
    m_buffered.clear();
    m_bufferedAt = 0;
    m_drainError = QSqlError();
    m_rowsAffected = -1;

    OdbcDriver* driver = odbcDriver();
    OdbcDriverState* s = state();
    if (!driver || !driver->isOpen() || !s || s->dbc == SQL_NULL_HDBC) {
        setLastError(QSqlError(QStringLiteral("The database is not connected."), {},
                               QSqlError::ConnectionError));
        return false;
    }
    if (s->broken) {
        setLastError(QSqlError(QStringLiteral("The connection to the database was lost."), {},
                               QSqlError::ConnectionError));
        return false;
    }
    // One statement at a time: the previous one's unread rows come off the wire first.
    if (s->onWire && s->onWire != this)
        s->onWire->drain();
    if (m_stmt != SQL_NULL_HSTMT && m_generation != s->generation)
        m_stmt = SQL_NULL_HSTMT;
    if (m_stmt == SQL_NULL_HSTMT) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, s->dbc, &m_stmt))) {
            m_stmt = SQL_NULL_HSTMT;
            fail(QStringLiteral("Unable to allocate a statement"), s->dbc, SQL_HANDLE_DBC);
            return false;
        }
        m_generation = s->generation;
    }

    std::vector<ParamBuffer> buffers(size_t(params.size()));
    for (qsizetype i = 0; i < params.size(); ++i) {
        if (!SQL_SUCCEEDED(bindParameter(m_stmt, SQLUSMALLINT(i + 1), params[i], buffers[i]))) {
            fail(QStringLiteral("Unable to bind a value"), m_stmt, SQL_HANDLE_STMT);
            SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
            return false;
        }
    }
    SQLRETURN r = SQLExecDirectW(m_stmt, wide(sql), SQLINTEGER(sql.size()));
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO && r != SQL_NO_DATA) {
        fail(QStringLiteral("Unable to execute statement"), m_stmt, SQL_HANDLE_STMT);
        SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return false;
    }
    // The values' buffers end with this call.
    SQLFreeStmt(m_stmt, SQL_RESET_PARAMS);
    SQLSMALLINT columns = 0;
    if (r != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(m_stmt, &columns))) {
        fail(QStringLiteral("Unable to read the result"), m_stmt, SQL_HANDLE_STMT);
        SQLFreeStmt(m_stmt, SQL_CLOSE);
        return false;
    }
    if (columns > 0) {
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0;
            SQLSMALLINT type = 0;
            SQLULEN size = 0;
            SQLSMALLINT digits = 0;
            SQLSMALLINT nullable = 0;
            SQLDescribeColW(m_stmt, c, name, 256, &nameLength, &type, &size, &digits, &nullable);
            const ColumnKind kind = kindOf(type);
            m_kinds.push_back(kind);
            QSqlField field(QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                               qMin<qsizetype>(nameLength, 255)),
                            metaTypeOf(kind));
            field.setSqlType(type);
            m_record.append(field);
        }
        m_onWire = true;
        s->onWire = this;
        setSelect(true);
    } else {
        SQLLEN count = 0;
        if (r != SQL_NO_DATA)
            SQLRowCount(m_stmt, &count);
        m_rowsAffected = count < 0 ? 0 : count;
        // Anything after the count (a trigger's own counts) is read, not cancelled.
        m_onWire = true;
        endOfWire();
        if (lastError().isValid() && lastError().type() != QSqlError::NoError)
            return false;
    }
    setActive(true);
    return true;
}

void OdbcResult::endOfWire() {
    if (!m_onWire)
        return;
    m_onWire = false;
    OdbcDriverState* s = state();
    if (s && s->onWire == this)
        s->onWire = nullptr;
    if (m_stmt == SQL_NULL_HSTMT || !s || m_generation != s->generation)
        return;
    for (;;) {
        const SQLRETURN r = SQLMoreResults(m_stmt);
        if (r == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(r)) {
            fail(QStringLiteral("Unable to read the result"), m_stmt, SQL_HANDLE_STMT);
            break;
        }
    }
    SQLFreeStmt(m_stmt, SQL_CLOSE);
}

bool OdbcResult::readColumn(SQLUSMALLINT column, ColumnKind kind, QVariant& value) {
    SQLLEN indicator = 0;
    SQLRETURN r = SQL_SUCCESS;
    auto got = [&](const QVariant& v) {
        value = indicator == SQL_NULL_DATA ? QVariant(metaTypeOf(kind)) : v;
        return true;
    };
    switch (kind) {
    case ColumnKind::Int: {
        SQLINTEGER v = 0;
        r = SQLGetData(m_stmt, column, SQL_C_SLONG, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(int(v));
        break;
    }
    case ColumnKind::BigInt: {
        SQLBIGINT v = 0;
        r = SQLGetData(m_stmt, column, SQL_C_SBIGINT, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(qlonglong(v));
        break;
    }
    case ColumnKind::Bit: {
        unsigned char v = 0;
        r = SQLGetData(m_stmt, column, SQL_C_BIT, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(v != 0);
        break;
    }
    case ColumnKind::Double: {
        double v = 0;
        r = SQLGetData(m_stmt, column, SQL_C_DOUBLE, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(v);
        break;
    }
    case ColumnKind::Timestamp: {
        SQL_TIMESTAMP_STRUCT v{};
        r = SQLGetData(m_stmt, column, SQL_C_TYPE_TIMESTAMP, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(QDateTime(QDate(v.year, v.month, v.day),
                                 QTime(v.hour, v.minute, v.second, int(v.fraction / 1000000))));
        break;
    }
    case ColumnKind::Date: {
        SQL_DATE_STRUCT v{};
        r = SQLGetData(m_stmt, column, SQL_C_TYPE_DATE, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(QDate(v.year, v.month, v.day));
        break;
    }
    case ColumnKind::Time: {
        SQL_TIME_STRUCT v{};
        r = SQLGetData(m_stmt, column, SQL_C_TYPE_TIME, &v, sizeof v, &indicator);
        if (SQL_SUCCEEDED(r))
            return got(QTime(v.hour, v.minute, v.second));
        break;
    }
    case ColumnKind::Text:
    case ColumnKind::Binary: {
        // In pieces: a text piece ends with a terminating NUL, a binary one does not.
        const bool text = kind == ColumnKind::Text;
        char buffer[8192];
        const SQLLEN room = text ? SQLLEN(sizeof buffer - sizeof(SQLWCHAR)) : SQLLEN(sizeof buffer);
        QByteArray bytes;
        for (;;) {
            r = SQLGetData(m_stmt, column, text ? SQL_C_WCHAR : SQL_C_BINARY, buffer, sizeof buffer,
                           &indicator);
            if (r == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(r))
                break;
            if (indicator == SQL_NULL_DATA)
                return got({});
            const bool more =
                r == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > room);
            bytes.append(buffer, more ? room : qMin(indicator, room));
            if (!more)
                break;
        }
        if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA)
            break;
        indicator = 0;
        if (!text)
            return got(bytes);
        return got(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                      bytes.size() / 2));
    }
    }
    fail(QStringLiteral("Unable to read a value"), m_stmt, SQL_HANDLE_STMT);
    return false;
}

bool OdbcResult::readRowFromWire(QVariantList& row) {
    if (!m_onWire)
        return false;
    OdbcDriverState* s = state();
    if (!s || m_generation != s->generation || s->broken) {
        m_onWire = false;
        if (s && s->onWire == this)
            s->onWire = nullptr;
        setLastError(QSqlError(QStringLiteral("The connection to the database was lost."), {},
                               QSqlError::ConnectionError));
        return false;
    }
    const SQLRETURN r = SQLFetch(m_stmt);
    if (r == SQL_NO_DATA) {
        endOfWire();
        return false;
    }
    if (!SQL_SUCCEEDED(r)) {
        fail(QStringLiteral("Unable to fetch row"), m_stmt, SQL_HANDLE_STMT);
        endOfWire();
        return false;
    }
    QVariantList values;
    values.reserve(qsizetype(m_kinds.size()));
    for (size_t c = 0; c < m_kinds.size(); ++c) {
        QVariant v;
        if (!readColumn(SQLUSMALLINT(c + 1), m_kinds[c], v)) {
            endOfWire();
            return false;
        }
        values.append(std::move(v));
    }
    row = std::move(values);
    return true;
}

void OdbcResult::drain() {
    setLastError(QSqlError());
    QVariantList row;
    while (readRowFromWire(row))
        m_buffered.append(std::move(row));
    if (lastError().isValid() && lastError().type() != QSqlError::NoError)
        m_drainError = lastError();
}

bool OdbcResult::nextRow(QVariantList& row) {
    if (m_bufferedAt < m_buffered.size()) {
        row = std::move(m_buffered[m_bufferedAt++]);
        if (m_bufferedAt == m_buffered.size()) {
            m_buffered.clear();
            m_bufferedAt = 0;
        }
        return true;
    }
    if (m_drainError.isValid()) {
        setLastError(m_drainError);
        m_drainError = QSqlError();
        return false;
    }
    return readRowFromWire(row);
}

bool OdbcResult::fetchNext() {
    if (!isActive() || !isSelect() || at() == QSql::AfterLastRow)
        return false;
    QVariantList row;
    if (!nextRow(row))
        return false;
    m_row = std::move(row);
    setAt(at() == QSql::BeforeFirstRow ? 0 : at() + 1);
    return true;
}

bool OdbcResult::fetch(int i) {
    if (i == at())
        return at() >= 0;
    if (i == at() + 1 || (i == 0 && at() == QSql::BeforeFirstRow))
        return fetchNext();
    return false; // forward only
}

bool OdbcResult::fetchFirst() {
    if (at() == QSql::BeforeFirstRow)
        return fetchNext();
    return at() == 0;
}

bool OdbcResult::fetchLast() {
    if (!fetchNext() && at() < 0)
        return false;
    while (fetchNext()) {
    }
    return at() >= 0;
}

QVariant OdbcResult::data(int i) {
    return i >= 0 && i < m_row.size() ? m_row[i] : QVariant();
}

bool OdbcResult::isNull(int i) {
    return i < 0 || i >= m_row.size() || m_row[i].isNull();
}

void OdbcResult::detachFromResultSet() {
    // The caller is done with the rows: what is left on the wire is cancelled by the driver.
    m_buffered.clear();
    m_bufferedAt = 0;
    if (!m_onWire)
        return;
    m_onWire = false;
    OdbcDriverState* s = state();
    if (s && s->onWire == this)
        s->onWire = nullptr;
    if (m_stmt != SQL_NULL_HSTMT && s && m_generation == s->generation)
        SQLFreeStmt(m_stmt, SQL_CLOSE);
}

// ---- OdbcDriver ------------------------------------------------------------------------

OdbcDriver::OdbcDriver(QObject* parent)
    : QSqlDriver(parent)
    , m_state(std::make_unique<OdbcDriverState>()) {}

OdbcDriver::~OdbcDriver() {
    close();
    if (m_state->env != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, m_state->env);
}

void OdbcDriver::setLoginTimeout(int seconds) {
    m_state->loginTimeout = seconds;
}

bool OdbcDriver::hasFeature(DriverFeature feature) const {
    switch (feature) {
    case Transactions:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case FinishQuery:
    case BLOB:
    case LowPrecisionNumbers:
        return true;
    default:
        return false;
    }
}

QSqlResult* OdbcDriver::createResult() const {
    return new OdbcResult(this);
}

bool OdbcDriver::connectNow() {
    OdbcDriverState& s = *m_state;
    if (s.env == SQL_NULL_HENV) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &s.env))) {
            s.env = SQL_NULL_HENV;
            setLastError(
                QSqlError(QStringLiteral("Unable to start ODBC"), {}, QSqlError::ConnectionError));
            return false;
        }
        SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, s.env, &s.dbc))) {
        s.dbc = SQL_NULL_HDBC;
        setLastError(QSqlError(QStringLiteral("Unable to start ODBC"),
                               diagnostics(SQL_HANDLE_ENV, s.env).text,
                               QSqlError::ConnectionError));
        return false;
    }
    const auto timeout = reinterpret_cast<SQLPOINTER>(std::intptr_t(s.loginTimeout));
    SQLSetConnectAttr(s.dbc, SQL_ATTR_LOGIN_TIMEOUT, timeout, 0);
    SQLSetConnectAttr(s.dbc, SQL_ATTR_CONNECTION_TIMEOUT, timeout, 0);
    const SQLRETURN r = SQLDriverConnectW(s.dbc, nullptr, wide(s.connectString),
                                          SQLSMALLINT(s.connectString.size()), nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(r)) {
        setLastError(sqlError(QStringLiteral("Unable to connect"),
                              diagnostics(SQL_HANDLE_DBC, s.dbc), QSqlError::ConnectionError));
        SQLFreeHandle(SQL_HANDLE_DBC, s.dbc);
        s.dbc = SQL_NULL_HDBC;
        return false;
    }
    ++s.generation;
    s.broken = false;
    return true;
}

// Lets go of the connection handle and of any statement still reading on it; statements of
// the old connection see the new generation and never touch the handle again.
static void dropConnection(OdbcDriverState& s) {
    if (s.onWire) {
        s.onWire->forget();
        s.onWire = nullptr;
    }
    if (s.dbc != SQL_NULL_HDBC) {
        SQLDisconnect(s.dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, s.dbc);
        s.dbc = SQL_NULL_HDBC;
    }
    ++s.generation;
}

bool OdbcDriver::open(const QString& db, const QString&, const QString&, const QString&, int,
                      const QString&) {
    if (isOpen())
        close();
    m_state->connectString = db;
    if (!connectNow()) {
        setOpenError(true);
        return false;
    }
    setOpen(true);
    setOpenError(false);
    return true;
}

void OdbcDriver::close() {
    OdbcDriverState& s = *m_state;
    dropConnection(s);
    s.broken = false;
    if (isOpen())
        setOpen(false);
    setOpenError(false);
}

bool OdbcDriver::isBroken() const {
    return m_state->broken;
}

bool OdbcDriver::reconnect() {
    OdbcDriverState& s = *m_state;
    dropConnection(s);
    const bool ok = connectNow();
    s.broken = !ok;
    setOpen(ok);
    return ok;
}

bool OdbcDriver::runBatch(const QString& text, const QString& what) {
    OdbcDriverState& s = *m_state;
    if (!isOpen() || s.dbc == SQL_NULL_HDBC || s.broken) {
        setLastError(QSqlError(what, QStringLiteral("The connection to the database was lost."),
                               QSqlError::TransactionError));
        return false;
    }
    if (s.onWire)
        s.onWire->drain();
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &stmt))) {
        setLastError(
            sqlError(what, diagnostics(SQL_HANDLE_DBC, s.dbc), QSqlError::TransactionError));
        return false;
    }
    SQLRETURN r = SQLExecDirectW(stmt, wide(text), SQLINTEGER(text.size()));
    while (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO)
        r = SQLMoreResults(stmt);
    const bool ok = r == SQL_NO_DATA;
    if (!ok) {
        const Diagnostics d = diagnostics(SQL_HANDLE_STMT, stmt);
        s.broken = s.broken || d.connectionLost || connectionDead(s.dbc);
        setLastError(sqlError(what, d, QSqlError::TransactionError));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

// Transactions are T-SQL batches: FreeTDS's own way (switching autocommit off, SQLEndTran)
// commits by "commit and begin the next one", so switching autocommit back on sends one more
// request, a rollback of that empty next transaction, after every commit.
bool OdbcDriver::beginTransaction() {
    return runBatch(beginText(), QStringLiteral("Unable to begin transaction"));
}

bool OdbcDriver::commitTransaction() {
    return runBatch(commitText(), QStringLiteral("Unable to commit transaction"));
}

bool OdbcDriver::rollbackTransaction() {
    // A dropped connection took its transaction with it: the server has rolled it back.
    if (m_state->broken)
        return true;
    return runBatch(rollbackText(), QStringLiteral("Unable to roll back transaction"));
}

} // namespace tv
