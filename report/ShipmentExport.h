#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tv {

class WorkbookWriter;

// The result list as the export reads it: column captions, and rows whose cell 0 is the row's
// caption and cells 1.. its sub-items.
class ListSource {
public:
    virtual ~ListSource() = default;
    virtual int columnCount() const = 0;
    virtual QString caption(int column) const = 0;
    virtual qsizetype rowCount() const = 0;
    virtual QString cell(qsizetype row, int column) const = 0;
    // Characters in all cells: lets the export tell the workbook how much text is coming.
    virtual qsizetype characterCount() const = 0;
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
    // Appends count rows of other from row first; both tables have the same columns.
    void appendRows(const ListTable& other, qsizetype first, qsizetype count);
    void clear();

    int columnCount() const override { return int(m_captions.size()); }
    QString caption(int column) const override { return m_captions.at(column); }
    qsizetype rowCount() const override;
    // Shares the table's buffer: valid until the table is next changed.
    QString cell(qsizetype row, int column) const override;
    QStringView cellView(qsizetype row, int column) const;
    qsizetype characterCount() const override { return m_text.size(); }

private:
    QStringList m_captions;
    QString m_text;
    QList<quint32> m_ends; // end of each cell in m_text, row by row
};

// Where the export reports its advance; the progress window implements it.
class ExportProgress {
public:
    virtual ~ExportProgress() = default;
    // Position 0 of maximum; each stepIt() advances by step. Shows the progress.
    virtual void start(qsizetype maximum, qsizetype step) = 0;
    virtual void stepIt() = 0;
    // Hides the progress.
    virtual void finish() = 0;
};

// Writes the result list into a workbook and saves it: a header row on every sheet, 65000 list
// rows a sheet, every cell as quoted text, widths fitted on the last sheet.
class ShipmentExport {
public:
    static constexpr qsizetype RowsPerSheet = 65000;

    explicit ShipmentExport(ExportProgress& progress)
        : m_progress(progress) {}

    // Returns the number of rows exported. On failure the progress is finished, no file is
    // left at fileName, and the tv::Error propagates.
    qsizetype run(const ListSource& list, WorkbookWriter& workbook, const QString& fileName);

    // The message shown when the export is done.
    static QString doneMessage(qsizetype count);

private:
    ExportProgress& m_progress;
};

} // namespace tv
