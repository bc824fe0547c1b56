#pragma once

#include "platform/Database.h"

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

struct sqlite3_stmt;

namespace tv {

// Reads the rows of an executed select value by value, without a QVariant per value where
// the engine allows it: on the embedded database straight from the statement, elsewhere
// through QSqlQuery. For selects of a million rows, where QSqlQuery::value costs more than
// the statement itself. Start it after Query::exec and before any Query::next.
class RowReader {
public:
    enum class Path { Direct, Values };

    // Path::Direct falls back to Path::Values where the statement cannot be read directly.
    explicit RowReader(Query& query, Path path = Path::Direct);

    // Moves to the next row; false after the last. Throws tv::Error with the database's text.
    bool next();

    bool isNull(int column) const;
    // A whole number; ok (when given) tells whether the value was one. Null reads as 0.
    qint64 integer(int column, bool* ok = nullptr) const;
    double real(int column) const;
    // The value as UTF-8 text, valid until the next call of next() or text() on the column;
    // a date-time as "yyyy-MM-dd hh:mm:ss", null as empty.
    QByteArrayView text(int column) const;

    Path path() const { return m_stmt ? Path::Direct : Path::Values; }

private:
    QSqlQuery& m_query;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_started = false;
    bool m_done = false;
    mutable std::vector<QByteArray> m_texts; // Path::Values: the texts handed out
};

} // namespace tv
