#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tv {

// The result list as the export reads it: column captions, and rows whose cell 0 is the row's
// caption and cells 1.. its sub-items.
class ListSource {
public:
    virtual ~ListSource() = default;
    virtual int columnCount() const = 0;
    virtual QString caption(int column) const = 0;
    virtual qsizetype rowCount() const = 0;
    virtual QString cell(qsizetype row, int column) const = 0;
    // True when the text of cell() stays valid and unchanged as long as the list is not changed,
    // so that the export can hand it to the workbook without a copy.
    virtual bool keepsCellTexts() const { return false; }
};

// A list held in memory: all texts end to end in one buffer, so that 100,000 rows of 19
// cells cost their characters and one offset per cell rather than an allocation per cell.
class ListTable : public ListSource {
public:
    ListTable() = default;
    explicit ListTable(QStringList captions);

    void setCaptions(QStringList captions);
    // Appends a row of cells; missing cells are empty, cells past the last column are dropped.
    void appendRow(const QStringList& cells);
    // Appends one cell to the row being filled: rows are filled whole, columnCount() cells each.
    void appendCell(QStringView text) {
        m_text.append(text);
        m_ends.append(quint32(m_text.size()));
    }
    void clear();

    int columnCount() const override { return int(m_captions.size()); }
    QString caption(int column) const override { return m_captions.at(column); }
    qsizetype rowCount() const override;
    // Shares the table's buffer: valid until the table is next changed.
    QString cell(qsizetype row, int column) const override;
    QStringView cellView(qsizetype row, int column) const;
    bool keepsCellTexts() const override { return true; }

private:
    QStringList m_captions;
    QString m_text;
    QList<quint32> m_ends; // end of each cell in m_text, row by row
};

} // namespace tv
