#include "report/ShipmentQuery.h"

#include "report/ListTable.h"

namespace tv {

namespace {

// The columns read, in the order of the list's cells; the weight difference is computed
// between weight2 and PostFee2.
const QStringList kColumns = {
    QStringLiteral("overtime"),     QStringLiteral("TradeNO"),  QStringLiteral("Shop"),
    QStringLiteral("sndStyle"),     QStringLiteral("PostID"),   QStringLiteral("CustomerID"),
    QStringLiteral("CustomerName"), QStringLiteral("Province"), QStringLiteral("City"),
    QStringLiteral("Area"),         QStringLiteral("Adr"),      QStringLiteral("Zip"),
    QStringLiteral("weight"),       QStringLiteral("weight2"),  QStringLiteral("PostFee2"),
    QStringLiteral("sndOperator"),  QStringLiteral("phone")};
constexpr int kOvertime = 0;
constexpr int kWeight = 12;
constexpr int kWeight2 = 13;

QString dateTimeOf(const QDateTime& d) {
    return d.time() == QTime(0, 0) ? d.date().toString(QStringLiteral("yyyy-MM-dd"))
                                   : d.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

bool isDigits(QStringView t, qsizetype from, qsizetype count) {
    for (qsizetype i = from; i < from + count; ++i)
        if (!t[i].isDigit())
            return false;
    return true;
}

// "yyyy-mm-dd hh:mm:ss", the form the embedded database keeps, without a parse per row.
bool isPlainDateTime(QStringView t) {
    return t.size() == 19 && isDigits(t, 0, 4) && t[4] == u'-' && isDigits(t, 5, 2) &&
           t[7] == u'-' && isDigits(t, 8, 2) && t[10] == u' ' && isDigits(t, 11, 2) &&
           t[13] == u':' && isDigits(t, 14, 2) && t[16] == u':' && isDigits(t, 17, 2);
}

} // namespace

ShipmentQuery::ShipmentQuery(Connection& orders, const ShipmentFilter& filter)
    : m_query(orders, statement(filter)) {
    m_query.bindAll(parameters(orders.dialect(), filter));
    m_query.exec();
}

QString ShipmentQuery::statement(const ShipmentFilter& filter) {
    QStringList columns;
    for (const QString& c : kColumns)
        columns.append(ident(c));
    QString sql = QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
                  QStringLiteral(" from [df_Trade] where ([overtime] between ? and ?)");
    if (!filter.shop.isEmpty())
        sql += QStringLiteral(" and [Shop] = ?");
    if (!filter.sndStyle.isEmpty())
        sql += QStringLiteral(" and [sndStyle] = ?");
    if (!filter.sndOperator.isEmpty())
        sql += QStringLiteral(" and [sndOperator] = ?");
    return sql;
}

QVariantList ShipmentQuery::parameters(const Dialect& dialect, const ShipmentFilter& filter) {
    // Both ends are days at midnight: the scan stores a completion date without a time, so
    // the to-date's own orders are found, and a later time on that day is not.
    QVariantList values = {dialect.dateParam(filter.from), dialect.dateParam(filter.to)};
    for (const QString* v : {&filter.shop, &filter.sndStyle, &filter.sndOperator})
        if (!v->isEmpty())
            values.append(*v);
    return values;
}

template <class AddCell> bool ShipmentQuery::readRow(AddCell addCell) {
    if (m_done)
        return false;
    QSqlQuery& q = m_query.sqlQuery();
    if (!m_query.next()) {
        m_done = true;
        q.finish();
        return false;
    }
    addCell(QString::number(++m_count));
    for (int c = 0; c < kColumns.size(); ++c) {
        const QVariant v = q.value(c);
        if (c == kOvertime)
            addCell(dateTimeText(v));
        else
            addCell(Record::textOf(v));
        if (c == kWeight2)
            addCell(weightDifference(q.value(kWeight), v));
    }
    return true;
}

bool ShipmentQuery::fetch(ListTable& rows, int max) {
    for (int n = 0; n < max; ++n)
        if (!readRow([&](const QString& cell) { rows.appendCell(cell); }))
            return false;
    return true;
}

QString ShipmentQuery::dateTimeText(const QVariant& value) {
    if (value.isNull())
        return QString::fromUtf8("", 0);
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return dateTimeOf(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default:
        break;
    }
    const QString t = Record::textOf(value).trimmed();
    if (isPlainDateTime(t))
        return t.endsWith(QLatin1String(" 00:00:00")) ? t.left(10) : t;
    const QDateTime d = Record::dateTimeFromText(t);
    if (d.isValid())
        return dateTimeOf(d);
    // Not a date-time at all: shown as the data layer gives it.
    return t;
}

QString ShipmentQuery::weightDifference(const QVariant& weight, const QVariant& weight2) {
    const double d = Record::numberOf(weight2, QStringLiteral("weight2")) -
                     Record::numberOf(weight, QStringLiteral("weight"));
    // +0.0 keeps a negative zero from showing as "-0".
    return QString::number(d + 0.0, 'g', 15);
}

QString ShipmentQuery::countText(qsizetype count) {
    return QStringLiteral("查询到 ") + QString::number(count) + QStringLiteral(" 条记录");
}

} // namespace tv
