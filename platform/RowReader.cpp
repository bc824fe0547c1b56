#include "platform/RowReader.h"

#include "platform/Error.h"

#include <QSqlError>
#include <QSqlResult>

#ifdef TOLVANE_SQLITE_DIRECT
#include <sqlite3.h>
#endif

namespace tv {

RowReader::RowReader(Query& query, Path path)
    : m_query(query.sqlQuery()) {
#ifdef TOLVANE_SQLITE_DIRECT
    // Qt's SQLite driver hands out its statement; the program links the same library as the
    // driver, so the statement can be stepped and read here.
    const QVariant handle = m_query.result() ? m_query.result()->handle() : QVariant();
    if (path == Path::Direct && handle.isValid() &&
        qstrcmp(handle.typeName(), "sqlite3_stmt*") == 0)
        m_stmt = *static_cast<sqlite3_stmt* const*>(handle.constData());
#else
    Q_UNUSED(path);
#endif
}

bool RowReader::next() {
#ifdef TOLVANE_SQLITE_DIRECT
    if (m_stmt) {
        // The driver's exec already stepped to the first row (it keeps a copy of it): that
        // row is the statement's current one, if there is any.
        if (!m_started) {
            m_started = true;
            m_done = sqlite3_data_count(m_stmt) == 0;
            return !m_done;
        }
        // A step after the last row would run the statement again from its start.
        if (m_done)
            return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        m_done = true;
        if (rc == SQLITE_DONE)
            return false;
        throw Error(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt))));
    }
#endif
    m_started = true;
    if (m_query.next())
        return true;
    if (m_query.lastError().isValid())
        throw Error(m_query.lastError().text());
    return false;
}

bool RowReader::isNull(int column) const {
#ifdef TOLVANE_SQLITE_DIRECT
    if (m_stmt)
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
#endif
    return m_query.isNull(column);
}

qint64 RowReader::integer(int column, bool* ok) const {
#ifdef TOLVANE_SQLITE_DIRECT
    if (m_stmt) {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_INTEGER:
            if (ok)
                *ok = true;
            return sqlite3_column_int64(m_stmt, column);
        case SQLITE_NULL:
            if (ok)
                *ok = false;
            return 0;
        case SQLITE_FLOAT:
            if (ok)
                *ok = true;
            return qRound64(sqlite3_column_double(m_stmt, column));
        default:
            return text(column).toLongLong(ok);
        }
    }
#endif
    const QVariant v = m_query.value(column);
    if (v.isNull()) {
        if (ok)
            *ok = false;
        return 0;
    }
    return v.toLongLong(ok);
}

double RowReader::real(int column) const {
#ifdef TOLVANE_SQLITE_DIRECT
    if (m_stmt)
        return sqlite3_column_double(m_stmt, column);
#endif
    return m_query.value(column).toDouble();
}

QByteArrayView RowReader::text(int column) const {
#ifdef TOLVANE_SQLITE_DIRECT
    if (m_stmt) {
        // Text first, then its length in bytes, as SQLite asks.
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QByteArrayView(data, data ? sqlite3_column_bytes(m_stmt, column) : 0);
    }
#endif
    if (m_texts.size() <= size_t(column))
        m_texts.resize(size_t(column) + 1);
    QByteArray& out = m_texts[size_t(column)];
    const QVariant v = m_query.value(column);
    if (v.typeId() == QMetaType::QDateTime)
        out = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    else
        out = v.toString().toUtf8();
    return out;
}

} // namespace tv
