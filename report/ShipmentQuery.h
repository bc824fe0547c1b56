#pragma once

#include "platform/Database.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tv {

class ListTable;

// What the query tab asks for: completion dates from and to (both days included) and the
// optional shop, logistics method and operator; an empty text means no filter.
struct ShipmentFilter {
    QDate from;
    QDate to;
    QString shop;
    QString sndStyle;
    QString sndOperator;
};

// The completed orders of a filter, read row by row into the texts of the result list: the
// row number from 1, then the 18 order cells. The statement runs in the constructor.
class ShipmentQuery {
public:
    static constexpr int CellCount = 19;

    // Throws tv::Error carrying the database's text.
    ShipmentQuery(Connection& orders, const ShipmentFilter& filter);

    // Appends up to max rows to rows. Returns false once every row has been read; the
    // statement is then finished and the connection free for the next one.
    bool fetch(ListTable& rows, int max);
    // Rows read so far.
    qsizetype count() const { return m_count; }

    // The statement and its parameters for a filter.
    static QString statement(const ShipmentFilter& filter);
    static QVariantList parameters(const Dialect& dialect, const ShipmentFilter& filter);

    // A completion date-time: "yyyy-mm-dd" at midnight, else "yyyy-mm-dd hh:mm:ss".
    static QString dateTimeText(const QVariant& value);
    // The weight difference weight2 - weight, a null reading as 0, in the general form.
    static QString weightDifference(const QVariant& weight, const QVariant& weight2);
    // The status bar text for a result count.
    static QString countText(qsizetype count);

private:
    // Reads the next row and hands its cells to addCell in order; false at the end.
    template <class AddCell> bool readRow(AddCell addCell);

    Query m_query;
    qsizetype m_count = 0;
    bool m_done = false;
};

} // namespace tv
