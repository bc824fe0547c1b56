#pragma once

#include "report/LargeMemory.h"
#include "report/Workbook.h"
#include "report/XlsSharedStrings.h"

#include <QByteArray>
#include <array>
#include <memory>
#include <vector>

namespace tv {

class ByteSink;

// Bytes appended in blocks of 1 MB: growing never copies what is already there.
class ByteBlocks {
public:
    void append(const char* data, qsizetype size);
    bool isEmpty() const { return m_size == 0; }
    quint64 size() const { return m_size; }
    void writeTo(ByteSink& out) const;

private:
    static constexpr qsizetype BlockSize = 8 << 20;
    std::vector<LargeBlock> m_blocks;
    std::vector<qsizetype> m_used;
    quint64 m_size = 0;
};

// Excel 97-2003 workbook writer (BIFF8 records in a compound file). Cells are kept as their
// LABELSST records and the strings once in the shared string table; everything else of the
// file is produced on save, so memory grows with the cells only.
class XlsWorkbook : public WorkbookWriter {
public:
    // Texts longer than this are cut: a cell holds at most 32,767 UTF-16 code units.
    static constexpr qsizetype MaxTextLength = 32767;
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;

    XlsWorkbook();
    ~XlsWorkbook() override;

    void addSheet() override;
    int currentSheet() const override { return int(m_sheets.size()); }
    void setText(int row, int column, QStringView text) override;
    void setQuotedText(int row, int column, QStringView text) override;
    void fitColumns() override;
    void save(const QString& path) override;

private:
    struct Sheet {
        ByteBlocks cells; // LABELSST records in the order written
        quint32 firstRow = 0xFFFFFFFF;
        quint32 lastRow = 0;
        quint16 firstColumn = 0xFFFF;
        quint16 lastColumn = 0;
        bool fitted = false;
        std::array<quint16, MaxColumns> widths{}; // widest text per column, in digits
    };

    void putCell(int row, int column, QStringView text, quint16 xf);
    quint32 sheetSize(const Sheet& sheet) const;
    void writeGlobals(ByteSink& out, quint64 streamStart,
                      const std::vector<quint32>& sheetOffsets) const;
    void writeSheet(ByteSink& out, const Sheet& sheet, bool active) const;

    std::vector<std::unique_ptr<Sheet>> m_sheets;
    XlsSharedStrings m_strings;
};

} // namespace tv
