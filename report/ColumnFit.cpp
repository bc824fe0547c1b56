#include "report/ColumnFit.h"

#include <QSet>
#include <algorithm>

namespace tv {

namespace {

// Cells kept per column for the exact measurement; a column is pruned back to them when it
// holds four times as many.
constexpr size_t kKept = 32;

} // namespace

ColumnFit::ColumnFit(const QFont& font, int columns)
    : m_metrics(font)
    , m_columns(size_t(std::max(columns, 0)))
    , m_metricsF(font)
    , m_charWidths(0x10000, -1) {}

int ColumnFit::textWidth(QStringView text) const {
    return m_metrics.horizontalAdvance(text.toString());
}

int ColumnFit::charWidth(char16_t c) const {
    qint32& w = m_charWidths[c];
    if (w < 0) {
        // Half of a surrogate pair has no width alone: each half counts as the font's widest.
        const qreal px =
            QChar::isSurrogate(c) ? m_metricsF.maxWidth() : m_metricsF.horizontalAdvance(QChar(c));
        w = qint32(px * 64 + 0.5);
    }
    return w;
}

void ColumnFit::addRows(const ListTable& table, qsizetype from, qsizetype to) {
    to = std::min(to, table.rowCount());
    const int columns = std::min(int(m_columns.size()), table.columnCount());
    const auto wider = [](const Candidate& a, const Candidate& b) {
        return a.estimate > b.estimate;
    };
    for (int c = 0; c < columns; ++c) {
        Column& col = m_columns[size_t(c)];
        for (qsizetype r = from; r < to; ++r) {
            int estimate = 0;
            for (const QChar ch : table.cellView(r, c))
                estimate += charWidth(ch.unicode());
            if (estimate == 0)
                continue;
            col.bestEstimate = std::max(col.bestEstimate, estimate);
            col.candidates.push_back({r, estimate});
            if (col.candidates.size() >= 4 * kKept) {
                std::nth_element(col.candidates.begin(), col.candidates.begin() + kKept,
                                 col.candidates.end(), wider);
                col.candidates.resize(kKept);
            }
        }
    }
}

int ColumnFit::widest(const ListTable& table, int column) const {
    if (column < 0 || column >= int(m_columns.size()))
        return 0;
    Column col = m_columns[size_t(column)];
    std::sort(col.candidates.begin(), col.candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.estimate > b.estimate; });
    // The estimate itself is a floor: a cell left out is no wider than its estimate by more
    // than shaping adds, and the exact widths of the widest estimates cover that.
    int widest = (col.bestEstimate + 63) / 64;
    QSet<QStringView> measured;
    for (const Candidate& k : col.candidates) {
        if (measured.size() >= qsizetype(kKept))
            break;
        const QStringView text = table.cellView(k.row, column);
        if (measured.contains(text))
            continue;
        measured.insert(text);
        widest = std::max(widest, textWidth(text));
    }
    return widest;
}

} // namespace tv
