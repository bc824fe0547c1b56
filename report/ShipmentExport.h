#pragma once

#include "report/ListTable.h"

namespace tv {

class WorkbookWriter;

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
