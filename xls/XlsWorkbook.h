#pragma once

#include "xls/Workbook.h"
#include "xls/XlsSharedStrings.h"

#include <array>
#include <memory>
#include <vector>

namespace tv {

class ByteSink;

// Excel 97-2003 workbook writer (BIFF8 records in a compound file). Cells are kept as their
// place and text; on save the distinct texts become the shared string table and the cells its
// LABELSST records, so memory grows with the cells only.
class XlsWorkbook : public WorkbookWriter {
public:
    // Texts longer than this are cut: a cell holds at most 32,767 UTF-16 code units.
    static constexpr qsizetype MaxTextLength = 32767;
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;

    // hash is the string table's, see XlsSharedStrings; the default suits every use.
    explicit XlsWorkbook(XlsSharedStrings::Hash hash = nullptr);
    ~XlsWorkbook() override;

    void addSheet() override;
    int currentSheet() const override { return int(m_sheets.size()); }
    void setText(int row, int column, QStringView text) override;
    void setQuotedText(int row, int column, QStringView text) override;
    void setQuotedTextKept(int row, int column, QStringView text) override;
    void setNumber(int row, int column, double value, int decimals = -1) override;
    void setSheetName(QStringView name) override;
    void fitColumns() override;
    void save(const QString& path) override;

private:
    // Cells put one after the other along a row, with one format: cell i of the run is at
    // column + i, and its text is the string reference that follows the previous cell's.
    struct Run {
        quint16 row;
        quint8 column;
        quint8 xf;
        quint32 count;
    };
    struct NumberCell {
        quint16 row;
        quint8 column;
        quint8 xf;
        double value;
    };
    struct Sheet {
        quint32 firstCell = 0; // the sheet's cells are references firstCell to endCell - 1
        quint32 endCell = 0;
        quint32 firstRun = 0; // its runs are firstRun to endRun - 1
        quint32 endRun = 0;
        quint32 firstRow = 0xFFFFFFFF;
        quint32 lastRow = 0;
        quint16 firstColumn = 0xFFFF;
        quint16 lastColumn = 0;
        bool fitted = false;
        std::array<quint16, MaxColumns> widths{}; // widest text per column, in digits
        // Number cells, kept apart from the texts and put in row order among them on save.
        std::vector<NumberCell> numbers;
        quint32 numberBytes = 0;
        std::array<quint16, MaxColumns> numberWidths{};
        QString name;
    };
    void putPlace(Sheet& sheet, quint32 row, quint16 column);
    quint8 numberXf(int decimals);

    void putCell(int row, int column, QStringView text, quint16 xf, bool kept);
    void measureWidths(Sheet& sheet) const;
    quint32 sheetSize(const Sheet& sheet) const;
    // Everything of the globals before the string table.
    void writeGlobalsHead(ByteSink& out, const std::vector<quint32>& sheetOffsets) const;
    void writeSheet(ByteSink& out, const Sheet& sheet, bool active) const;

    std::vector<std::unique_ptr<Sheet>> m_sheets;
    XlsSharedStrings m_strings;
    std::vector<Run> m_runs;
    // Decimals of the number formats in use; cell format 17 + i shows m_numberFormats[i].
    std::vector<int> m_numberFormats;
};

} // namespace tv
