#include "xls/XlsWorkbook.h"

#include "platform/Error.h"
#include "xls/CompoundFile.h"

#include <QDir>
#include <QSaveFile>
#include <cstring>

namespace tv {

namespace {

// Record types.
constexpr quint16 BofRecord = 0x0809;
constexpr quint16 EofRecord = 0x000A;
constexpr quint16 CodepageRecord = 0x0042;
constexpr quint16 Window1Record = 0x003D;
constexpr quint16 FontRecord = 0x0031;
constexpr quint16 XfRecord = 0x00E0;
constexpr quint16 StyleRecord = 0x0293;
constexpr quint16 BoundSheetRecord = 0x0085;
constexpr quint16 WsBoolRecord = 0x0081;
constexpr quint16 DefColWidthRecord = 0x0055;
constexpr quint16 ColInfoRecord = 0x007D;
constexpr quint16 DimensionsRecord = 0x0200;
constexpr quint16 LabelSstRecord = 0x00FD;
constexpr quint16 Window2Record = 0x023E;

// Cell formats: XF 0 is the Normal style, 1-14 further style XFs, 15 the default cell XF;
// 16 is the default cell XF with the quote-prefix flag set.
constexpr quint16 PlainXf = 15;
constexpr quint16 QuotedXf = 16;
constexpr int StyleXfCount = 15;

constexpr quint32 BofSize = 4 + 16;
constexpr quint32 LabelSstSize = 4 + 10;
constexpr quint32 ColInfoSize = 4 + 12;
constexpr quint32 SheetFixedSize = BofSize + (4 + 2) + (4 + 2) + (4 + 14) + (4 + 18) + 4;

constexpr int MaxFittedWidth = 255; // in digits

const QString FontName = QStringLiteral("Arial");

void putHeader(ByteSink& out, quint16 type, quint16 size) {
    out.put16(type);
    out.put16(size);
}

void putBof(ByteSink& out, quint16 substream) {
    putHeader(out, BofRecord, 16);
    out.put16(0x0600); // BIFF8
    out.put16(substream);
    out.put16(0x0DBB); // build and year of the writing application
    out.put16(0x07CC);
    out.put32(0);
    out.put32(0x00000006); // lowest BIFF version that can read the file
}

void putXf(ByteSink& out, bool style, quint16 protection) {
    putHeader(out, XfRecord, 20);
    out.put16(0); // font
    out.put16(0); // number format: General
    // fLocked, fHidden, fStyle, f123Prefix, then the parent style XF (0xFFF for a style XF).
    out.put16(style ? quint16(0xFFF0 | 0x0005) : protection);
    out.put8(0x20); // horizontal General, vertical Bottom
    out.put8(0);    // rotation
    out.put8(0);    // indent, shrink, reading order
    out.put8(0);    // attribute groups in use
    out.put32(0);   // borders: none
    out.put32(0);
    out.put16(0x20C0); // pattern colours: system foreground 64 and background 65
}

} // namespace

XlsWorkbook::XlsWorkbook(XlsSharedStrings::Hash hash)
    : m_strings(hash) {
    addSheet();
}

XlsWorkbook::~XlsWorkbook() = default;

void XlsWorkbook::addSheet() {
    m_sheets.push_back(std::make_unique<Sheet>());
}

void XlsWorkbook::setText(int row, int column, QStringView text) {
    putCell(row, column, text, PlainXf, false);
}

void XlsWorkbook::setQuotedText(int row, int column, QStringView text) {
    putCell(row, column, text, QuotedXf, false);
}

void XlsWorkbook::setQuotedTextKept(int row, int column, QStringView text) {
    putCell(row, column, text, QuotedXf, true);
}

void XlsWorkbook::putCell(int row, int column, QStringView text, quint16 xf, bool kept) {
    if (row < 1 || row > MaxRows || column < 1 || column > MaxColumns)
        throw Error(QStringLiteral("单元格 (%1, %2) 超出工作表范围。").arg(row).arg(column));
    if (text.size() > MaxTextLength) {
        qsizetype cut = MaxTextLength;
        if (text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate())
            --cut;
        text = text.first(cut);
    }
    Sheet& sheet = *m_sheets.back();
    const quint32 r = quint32(row - 1);
    const quint16 c = quint16(column - 1);
    const quint32 ref = m_strings.add(text, kept);
    if (sheet.endCell == sheet.firstCell) {
        sheet.firstCell = ref;
        sheet.firstRun = sheet.endRun = quint32(m_runs.size());
    }
    sheet.endCell = ref + 1;
    Run* last = sheet.endRun > sheet.firstRun ? &m_runs[sheet.endRun - 1] : nullptr;
    if (last && last->row == r && last->xf == xf && last->column + last->count == c) {
        ++last->count;
    } else {
        m_runs.push_back({quint16(r), quint8(c), quint8(xf), 1});
        sheet.endRun = quint32(m_runs.size());
    }
    sheet.firstRow = std::min(sheet.firstRow, r);
    sheet.lastRow = std::max(sheet.lastRow, r);
    sheet.firstColumn = std::min(sheet.firstColumn, c);
    sheet.lastColumn = std::max(sheet.lastColumn, c);
}

void XlsWorkbook::fitColumns() {
    m_sheets.back()->fitted = true;
}

void XlsWorkbook::measureWidths(Sheet& sheet) const {
    sheet.widths.fill(0);
    quint32 run = sheet.firstRun;
    quint32 left = 0; // cells left in the current run
    quint32 column = 0;
    m_strings.forEach(sheet.firstCell, sheet.endCell, [&](QStringView text) {
        while (left == 0) {
            left = m_runs[run].count;
            column = m_runs[run++].column;
        }
        quint16& width = sheet.widths[column++];
        width = std::max(width, textWidth(text));
        --left;
    });
}

quint32 XlsWorkbook::sheetSize(const Sheet& sheet) const {
    const quint32 cells = sheet.endCell - sheet.firstCell;
    quint32 size = SheetFixedSize + LabelSstSize * cells;
    if (sheet.fitted && cells != 0)
        size += ColInfoSize * (sheet.lastColumn - sheet.firstColumn + 1u);
    return size;
}

void XlsWorkbook::writeGlobalsHead(ByteSink& out, const std::vector<quint32>& sheetOffsets) const {
    const quint16 activeSheet = quint16(m_sheets.size() - 1);
    putBof(out, 0x0005);
    putHeader(out, CodepageRecord, 2);
    out.put16(1200); // UTF-16

    putHeader(out, Window1Record, 18);
    out.put16(0); // window position and size, in twips
    out.put16(0);
    out.put16(0x4000);
    out.put16(0x2000);
    out.put16(0x0038); // scroll bars and sheet tabs shown
    out.put16(activeSheet);
    out.put16(0); // first tab shown
    out.put16(1); // tabs selected
    out.put16(600);

    // Four fonts: readers skip index 4, so a fifth would be numbered 5.
    for (int i = 0; i < 4; ++i) {
        putHeader(out, FontRecord, quint16(16 + FontName.size()));
        out.put16(200); // height in twips: 10 points
        out.put16(0);
        out.put16(0x7FFF); // automatic colour
        out.put16(400);    // normal weight
        out.put16(0);
        out.put8(0);
        out.put8(0);
        out.put8(0);
        out.put8(0);
        out.put8(quint8(FontName.size()));
        out.put8(0); // 8-bit characters
        for (QChar ch : FontName)
            out.put8(quint8(ch.unicode()));
    }

    for (int i = 0; i < StyleXfCount; ++i)
        putXf(out, true, 0);
    putXf(out, false, 0x0001); // locked, parent style 0
    putXf(out, false, 0x0009); // locked, quote prefix, parent style 0

    putHeader(out, StyleRecord, 4);
    out.put16(0x8000); // built-in style on XF 0
    out.put8(0);       // Normal
    out.put8(0xFF);

    for (size_t i = 0; i < m_sheets.size(); ++i) {
        const QString name = QStringLiteral("Sheet%1").arg(i + 1);
        putHeader(out, BoundSheetRecord, quint16(8 + name.size()));
        out.put32(sheetOffsets[i]); // stream offset of the sheet's BOF
        out.put8(0);                // visible
        out.put8(0);                // worksheet
        out.put8(quint8(name.size()));
        out.put8(0);
        for (QChar ch : name)
            out.put8(quint8(ch.unicode()));
    }
}

void XlsWorkbook::writeSheet(ByteSink& out, const Sheet& sheet, bool active) const {
    const bool empty = sheet.endCell == sheet.firstCell;
    putBof(out, 0x0010);

    putHeader(out, WsBoolRecord, 2);
    out.put16(0x04C1); // automatic page breaks shown, outline symbols below and right

    putHeader(out, DefColWidthRecord, 2);
    out.put16(8);

    if (sheet.fitted && !empty) {
        for (quint16 c = sheet.firstColumn; c <= sheet.lastColumn; ++c) {
            // Widest text plus one digit of margin, in 1/256 of a digit.
            const int digits = std::min<int>(sheet.widths[c] + 1, MaxFittedWidth);
            putHeader(out, ColInfoRecord, 12);
            out.put16(c);
            out.put16(c);
            out.put16(quint16(digits * 256));
            out.put16(PlainXf);
            out.put16(0);
            out.put16(0);
        }
    }

    putHeader(out, DimensionsRecord, 14);
    out.put32(empty ? 0 : sheet.firstRow);
    out.put32(empty ? 0 : sheet.lastRow + 1);
    out.put16(empty ? 0 : sheet.firstColumn);
    out.put16(empty ? 0 : sheet.lastColumn + 1);
    out.put16(0);

    // The cells' LABELSST records, assembled a few thousand at a time.
    constexpr int Batch = 4096;
    char records[Batch * LabelSstSize];
    char* p = records;
    quint32 ref = sheet.firstCell;
    for (quint32 k = sheet.firstRun; k < sheet.endRun; ++k) {
        const Run& run = m_runs[k];
        for (quint32 i = 0; i < run.count; ++i, ++ref) {
            const quint32 column = run.column + i;
            const quint32 index = m_strings.index(ref);
            p[0] = char(LabelSstRecord);
            p[1] = char(LabelSstRecord >> 8);
            p[2] = 10;
            p[3] = 0;
            p[4] = char(run.row);
            p[5] = char(run.row >> 8);
            p[6] = char(column);
            p[7] = char(column >> 8);
            p[8] = char(run.xf);
            p[9] = 0;
            p[10] = char(index);
            p[11] = char(index >> 8);
            p[12] = char(index >> 16);
            p[13] = char(index >> 24);
            p += LabelSstSize;
            if (p == records + sizeof records) {
                out.putBytes(records, sizeof records);
                p = records;
            }
        }
    }
    out.putBytes(records, p - records);

    putHeader(out, Window2Record, 18);
    // Grid, headers, zeros, outline symbols shown; the active sheet is selected and shown.
    out.put16(active ? 0x06B6 : 0x00B6);
    out.put16(0);  // top row
    out.put16(0);  // left column
    out.put16(64); // grid line colour: automatic
    out.put16(0);
    out.put16(0); // zoom of the page break preview, default
    out.put16(0); // zoom of the normal view, default
    out.put32(0);

    putHeader(out, EofRecord, 0);
}

void XlsWorkbook::save(const QString& path) {
    m_strings.build();
    for (const auto& sheet : m_sheets)
        if (sheet->fitted)
            measureWidths(*sheet);

    std::vector<quint32> offsets(m_sheets.size(), 0);
    ByteSink counter;
    writeGlobalsHead(counter, offsets);
    quint64 streamSize = counter.position() + m_strings.byteSize() + 4;
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        offsets[i] = quint32(streamSize);
        streamSize += sheetSize(*m_sheets[i]);
    }

    // QSaveFile writes beside the target and renames on commit; when anything fails the
    // partial file is removed and the target stays as it was.
    QSaveFile file(path);
    const auto fail = [&](const QString& reason) {
        file.cancelWriting();
        return Error(
            QStringLiteral("无法保存文件 %1：%2").arg(QDir::toNativeSeparators(path), reason));
    };
    if (!file.open(QIODevice::WriteOnly))
        throw fail(file.errorString());
    try {
        ByteSink out(&file);
        writeCompoundFile(out, u"Workbook", streamSize, [&](ByteSink& stream) {
            const quint64 streamStart = stream.position();
            writeGlobalsHead(stream, offsets);
            m_strings.write(stream, streamStart);
            putHeader(stream, EofRecord, 0);
            for (size_t i = 0; i < m_sheets.size(); ++i)
                writeSheet(stream, *m_sheets[i], i + 1 == m_sheets.size());
        });
        out.flush();
    } catch (const Error& e) {
        throw fail(e.message());
    }
    if (!file.commit())
        throw fail(file.errorString());
}

} // namespace tv
