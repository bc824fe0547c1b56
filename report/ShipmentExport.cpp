#include "report/ShipmentExport.h"

#include "report/Workbook.h"

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

void ListTable::appendRows(const ListTable& other, qsizetype first, qsizetype count) {
    if (count <= 0)
        return;
    const int columns = columnCount();
    const qsizetype begin = first * columns;
    const qsizetype end = (first + count) * columns;
    const quint32 textBegin = begin == 0 ? 0 : other.m_ends[begin - 1];
    const quint32 textEnd = other.m_ends[end - 1];
    const quint32 shift = quint32(m_text.size());
    m_text.append(QStringView(other.m_text).sliced(textBegin, textEnd - textBegin));
    m_ends.reserve(m_ends.size() + (end - begin));
    for (qsizetype i = begin; i < end; ++i)
        m_ends.append(other.m_ends[i] - textBegin + shift);
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

qsizetype ShipmentExport::run(const ListSource& list, WorkbookWriter& workbook,
                              const QString& fileName) {
    const qsizetype n = list.rowCount();
    const int columns = list.columnCount();
    qsizetype exported = 0;
    qsizetype step = 1;
    const bool showProgress = n > 0;
    if (showProgress) {
        step = n / 10 >= 2 ? n / 10 : 1;
        m_progress.start(n, step);
    }
    try {
        // Every list row, and a header row per sheet.
        workbook.reserve((n + n / RowsPerSheet + 1) * columns, list.characterCount());
        const auto writeHeader = [&] {
            for (int c = 0; c < columns; ++c)
                workbook.setText(1, c + 1, list.caption(c));
        };
        writeHeader();
        for (qsizetype k = 0; k < n; ++k) {
            if (k != 0 && k % RowsPerSheet == 0) {
                workbook.addSheet();
                writeHeader();
            }
            const int row = int(k % RowsPerSheet) + 2;
            for (int c = 0; c < columns; ++c)
                workbook.setQuotedText(row, c + 1, list.cell(k, c));
            if ((k % RowsPerSheet) % step == step - 1)
                m_progress.stepIt();
            ++exported;
        }
        workbook.fitColumns();
        workbook.save(fileName);
    } catch (...) {
        if (showProgress)
            m_progress.finish();
        throw;
    }
    if (showProgress)
        m_progress.finish();
    return exported;
}

QString ShipmentExport::doneMessage(qsizetype count) {
    return QStringLiteral("共导出") + QString::number(count) + QStringLiteral("条记录!");
}

} // namespace tv
