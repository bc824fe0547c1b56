#include "report/ListTable.h"

namespace tv {

ListTable::ListTable(QStringList captions)
    : m_captions(std::move(captions)) {}

void ListTable::setCaptions(QStringList captions) {
    clear();
    m_captions = std::move(captions);
}

void ListTable::appendRow(const QStringList& cells) {
    const int columns = columnCount();
    for (int c = 0; c < columns; ++c) {
        if (c < cells.size())
            m_text.append(cells[c]);
        m_ends.append(quint32(m_text.size()));
    }
}

void ListTable::clear() {
    m_text.clear();
    m_ends.clear();
}

qsizetype ListTable::rowCount() const {
    return columnCount() == 0 ? 0 : m_ends.size() / columnCount();
}

QString ListTable::cell(qsizetype row, int column) const {
    const QStringView v = cellView(row, column);
    return QString::fromRawData(v.data(), v.size());
}

QStringView ListTable::cellView(qsizetype row, int column) const {
    const qsizetype i = row * columnCount() + column;
    const quint32 begin = i == 0 ? 0 : m_ends[i - 1];
    return QStringView(m_text.constData() + begin, qsizetype(m_ends[i] - begin));
}

} // namespace tv
