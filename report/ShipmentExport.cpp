#include "report/ShipmentExport.h"

#include "xls/Workbook.h"

namespace tv {

qsizetype ShipmentExport::run(const ListSource& list, WorkbookWriter& workbook,
                              const QString& fileName) {
    const qsizetype n = list.rowCount();
    const int columns = list.columnCount();
    qsizetype exported = 0;
    qsizetype step = 1;
    const bool showProgress = n > 0;
    // The list is not changed while the export runs: nothing here serves events.
    const bool kept = list.keepsCellTexts();
    if (showProgress) {
        step = n / 10 >= 2 ? n / 10 : 1;
        m_progress.start(n, step);
    }
    try {
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
            for (int c = 0; c < columns; ++c) {
                if (kept)
                    workbook.setQuotedTextKept(row, c + 1, list.cell(k, c));
                else
                    workbook.setQuotedText(row, c + 1, list.cell(k, c));
            }
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
