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
        // A surrogate without its partner is drawn as the replacement character.
        const QChar shown = QChar::isSurrogate(c) ? QChar(QChar::ReplacementCharacter) : QChar(c);
        w = qint32(m_metricsF.horizontalAdvance(shown) * 64 + 0.5);
    }
    return w;
}

int ColumnFit::estimate(QStringView text) const {
    int sum = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            const char32_t u = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            auto it = m_wideCharWidths.find(u);
            if (it == m_wideCharWidths.end())
                it = m_wideCharWidths.insert(
                    u, qint32(m_metricsF.horizontalAdvance(QString::fromUcs4(&u, 1)) * 64 + 0.5));
            sum += *it;
            ++i;
            continue;
        }
        sum += charWidth(c);
    }
    return sum;
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
            const int estimate = this->estimate(table.cellView(r, c));
            if (estimate == 0)
                continue;
            col.candidates.push_back({r, estimate});
            if (col.candidates.size() >= 4 * kKept) {
                std::nth_element(col.candidates.begin(), col.candidates.begin() + kKept,
                                 col.candidates.end(), wider);
                col.droppedEstimate = std::max(col.droppedEstimate, col.candidates[kKept].estimate);
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
    // A cell not measured is taken at its estimate, which sums its characters' advances; shaping
    // moves a text by a pixel or so from that.
    int unmeasured = col.droppedEstimate;
    int widest = 0;
    QSet<QStringView> measured;
    for (const Candidate& k : col.candidates) {
        const QStringView text = table.cellView(k.row, column);
        if (measured.size() >= qsizetype(kKept) && !measured.contains(text)) {
            unmeasured = std::max(unmeasured, k.estimate);
            break;
        }
        if (measured.contains(text))
            continue;
        measured.insert(text);
        widest = std::max(widest, textWidth(text));
    }
    return std::max(widest, (unmeasured + 63) / 64);
}

} // namespace tv
