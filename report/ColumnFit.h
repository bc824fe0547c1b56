#pragma once

#include "report/ListTable.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <vector>

namespace tv {

// The widths of the widest texts of a list's columns in one font, gathered while the rows
// arrive. A hundred thousand rows are too many to shape one by one: each cell is estimated
// from cached character advances, and only the few cells with the largest estimates are
// measured exactly at the end.
class ColumnFit {
public:
    ColumnFit(const QFont& font, int columns);

    // Takes rows from to to - 1 of table into account.
    void addRows(const ListTable& table, qsizetype from, qsizetype to);
    // The width in pixels of the widest cell of column among the rows added.
    int widest(const ListTable& table, int column) const;
    // The exact width of a text in pixels.
    int textWidth(QStringView text) const;

private:
    struct Candidate {
        qsizetype row;
        int estimate;
    };
    struct Column {
        // Largest estimate of a cell dropped from the candidates.
        int droppedEstimate = 0;
        std::vector<Candidate> candidates;
    };

    int charWidth(char16_t c) const;
    // The estimate of a text: the sum of its characters' advances, in 1/64 pixel.
    int estimate(QStringView text) const;

    QFontMetrics m_metrics;
    std::vector<Column> m_columns;
    QFontMetricsF m_metricsF;
    // Advance of each UTF-16 unit in 1/64 pixel; -1 not measured yet.
    mutable std::vector<qint32> m_charWidths;
    // Advances of characters beyond U+FFFF, in 1/64 pixel.
    mutable QHash<char32_t, qint32> m_wideCharWidths;
};

} // namespace tv
