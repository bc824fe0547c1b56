#include "xls/XlsWorkbook.h"

#include "platform/Error.h"
#include "xls/CompoundFile.h"

#include <QDir>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
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
constexpr quint16 NumberRecord = 0x0203;
constexpr quint16 RkRecord = 0x027E;
constexpr quint16 FormatRecord = 0x041E;
constexpr quint16 Window2Record = 0x023E;

// Cell formats: XF 0 is the Normal style, 1-14 further style XFs, 15 the default cell XF;
// 16 is the default cell XF with the quote-prefix flag set; 17 on are number formats in use.
constexpr quint16 PlainXf = 15;
constexpr quint16 QuotedXf = 16;
constexpr quint16 FirstNumberXf = 17;
constexpr int StyleXfCount = 15;
constexpr int MaxDecimals = 15;
// Built-in number formats "0" and "0.00"; formats of our own are numbered from 164.
constexpr quint16 IntegerFormat = 1;
constexpr quint16 TwoDecimalsFormat = 2;
constexpr quint16 FirstCustomFormat = 164;

constexpr quint32 BofSize = 4 + 16;
constexpr quint32 LabelSstSize = 4 + 10;
constexpr quint32 RkSize = 4 + 10;
constexpr quint32 NumberSize = 4 + 14;
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

void putXf(ByteSink& out, bool style, quint16 protection, quint16 format = 0) {
    putHeader(out, XfRecord, 20);
    out.put16(0);      // font
    out.put16(format); // number format, 0 is General
    // fLocked, fHidden, fStyle, f123Prefix, then the parent style XF (0xFFF for a style XF).
    out.put16(style ? quint16(0xFFF0 | 0x0005) : protection);
    out.put8(0x20);                   // horizontal General, vertical Bottom
    out.put8(0);                      // rotation
    out.put8(0);                      // indent, shrink, reading order
    out.put8(format != 0 ? 0x04 : 0); // attribute groups in use: its own number format
    out.put32(0);                     // borders: none
    out.put32(0);
    out.put16(0x20C0); // pattern colours: system foreground 64 and background 65
}

quint16 formatOf(int decimals, int customIndex) {
    if (decimals == 0)
        return IntegerFormat;
    if (decimals == 2)
        return TwoDecimalsFormat;
    return quint16(FirstCustomFormat + customIndex);
}

// The value as an RK number (an integer, or hundredths, in 30 bits), if it is exactly one.
bool rkOf(double value, quint32& rk) {
    constexpr double Limit = 1 << 29;
    for (const int scale : {1, 100}) {
        const double scaled = value * scale;
        if (!(scaled >= -Limit && scaled < Limit))
            continue;
        const double whole = std::nearbyint(scaled);
        if (whole / scale != value)
            continue;
        rk = (quint32(qint32(whole)) << 2) | 0x2 | (scale == 100 ? 0x1 : 0x0);
        return true;
    }
    return false;
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
    putPlace(sheet, r, c);
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
}

void XlsWorkbook::putPlace(Sheet& sheet, quint32 row, quint16 column) {
    sheet.firstRow = std::min(sheet.firstRow, row);
    sheet.lastRow = std::max(sheet.lastRow, row);
    sheet.firstColumn = std::min(sheet.firstColumn, column);
    sheet.lastColumn = std::max(sheet.lastColumn, column);
}

quint8 XlsWorkbook::numberXf(int decimals) {
    if (decimals < 0)
        return quint8(PlainXf);
    decimals = std::min(decimals, MaxDecimals);
    auto at = std::find(m_numberFormats.begin(), m_numberFormats.end(), decimals);
    if (at == m_numberFormats.end())
        at = m_numberFormats.insert(at, decimals);
    return quint8(FirstNumberXf + (at - m_numberFormats.begin()));
}

void XlsWorkbook::setNumber(int row, int column, double value, int decimals) {
    if (row < 1 || row > MaxRows || column < 1 || column > MaxColumns)
        throw Error(QStringLiteral("单元格 (%1, %2) 超出工作表范围。").arg(row).arg(column));
    if (!std::isfinite(value))
        throw Error(QStringLiteral("单元格 (%1, %2) 的数值无效。").arg(row).arg(column));
    Sheet& sheet = *m_sheets.back();
    const quint32 r = quint32(row - 1);
    const quint16 c = quint16(column - 1);
    putPlace(sheet, r, c);
    quint32 rk = 0;
    sheet.numbers.push_back({quint16(r), quint8(c), numberXf(decimals), value + 0.0});
    sheet.numberBytes += rkOf(value, rk) ? RkSize : NumberSize;
    const QString shown = decimals < 0
                              ? QString::number(value, 'g', 10)
                              : QString::number(value, 'f', std::min(decimals, MaxDecimals));
    sheet.numberWidths[c] = std::max(sheet.numberWidths[c], textWidth(shown));
}

void XlsWorkbook::setSheetName(QStringView name) {
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    bool valid = !name.isEmpty() && name.size() <= 31;
    for (const QChar ch : name)
        valid = valid && !forbidden.contains(ch);
    if (!valid)
        throw Error(QStringLiteral("工作表名称无效：%1").arg(name));
    m_sheets.back()->name = name.toString();
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
    const quint32 cells = sheet.endCell - sheet.firstCell + quint32(sheet.numbers.size());
    quint32 size =
        SheetFixedSize + LabelSstSize * (sheet.endCell - sheet.firstCell) + sheet.numberBytes;
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

    for (size_t i = 0; i < m_numberFormats.size(); ++i) {
        const quint16 format = formatOf(m_numberFormats[i], int(i));
        if (format < FirstCustomFormat)
            continue;
        const QString code = QStringLiteral("0.") + QString(m_numberFormats[i], u'0');
        putHeader(out, FormatRecord, quint16(5 + code.size()));
        out.put16(format);
        out.put16(quint16(code.size()));
        out.put8(0); // 8-bit characters
        for (QChar ch : code)
            out.put8(quint8(ch.unicode()));
    }

    for (int i = 0; i < StyleXfCount; ++i)
        putXf(out, true, 0);
    putXf(out, false, 0x0001); // locked, parent style 0
    putXf(out, false, 0x0009); // locked, quote prefix, parent style 0
    for (size_t i = 0; i < m_numberFormats.size(); ++i)
        putXf(out, false, 0x0001, formatOf(m_numberFormats[i], int(i)));

    putHeader(out, StyleRecord, 4);
    out.put16(0x8000); // built-in style on XF 0
    out.put8(0);       // Normal
    out.put8(0xFF);

    for (size_t i = 0; i < m_sheets.size(); ++i) {
        const QString name =
            m_sheets[i]->name.isEmpty() ? QStringLiteral("Sheet%1").arg(i + 1) : m_sheets[i]->name;
        bool wide = false;
        for (QChar ch : name)
            wide = wide || ch.unicode() > 0xFF;
        putHeader(out, BoundSheetRecord, quint16(8 + name.size() * (wide ? 2 : 1)));
        out.put32(sheetOffsets[i]); // stream offset of the sheet's BOF
        out.put8(0);                // visible
        out.put8(0);                // worksheet
        out.put8(quint8(name.size()));
        out.put8(wide ? 1 : 0); // UTF-16 or 8-bit characters
        for (QChar ch : name) {
            if (wide)
                out.put16(ch.unicode());
            else
                out.put8(quint8(ch.unicode()));
        }
    }
}

void XlsWorkbook::writeSheet(ByteSink& out, const Sheet& sheet, bool active) const {
    const bool empty = sheet.endCell == sheet.firstCell && sheet.numbers.empty();
    putBof(out, 0x0010);

    putHeader(out, WsBoolRecord, 2);
    out.put16(0x04C1); // automatic page breaks shown, outline symbols below and right

    putHeader(out, DefColWidthRecord, 2);
    out.put16(8);

    if (sheet.fitted && !empty) {
        for (quint16 c = sheet.firstColumn; c <= sheet.lastColumn; ++c) {
            // Widest text plus one digit of margin, in 1/256 of a digit.
            const int widest = std::max(sheet.widths[c], sheet.numberWidths[c]);
            const int digits = std::min<int>(widest + 1, MaxFittedWidth);
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

    // The cells' records, assembled a few thousand at a time; number cells go in row order
    // among the texts (those are in the order written, row by row).
    constexpr int Batch = 4096;
    char records[Batch * LabelSstSize];
    char* p = records;
    const auto flush = [&] {
        if (p + NumberSize > records + sizeof records) {
            out.putBytes(records, p - records);
            p = records;
        }
    };
    auto number = sheet.numbers.begin();
    const auto putNumbersBefore = [&](quint32 row, quint32 column) {
        for (; number != sheet.numbers.end() &&
               (number->row < row || (number->row == row && number->column < column));
             ++number) {
            quint32 rk = 0;
            const bool isRk = rkOf(number->value, rk);
            char* q = p;
            const auto put16 = [&](quint32 v) {
                *q++ = char(v);
                *q++ = char(v >> 8);
            };
            put16(isRk ? RkRecord : NumberRecord);
            put16((isRk ? RkSize : NumberSize) - 4);
            put16(number->row);
            put16(number->column);
            put16(number->xf);
            quint64 bits = rk;
            if (!isRk)
                std::memcpy(&bits, &number->value, sizeof bits);
            for (int b = 0; b < (isRk ? 2 : 4); ++b, bits >>= 16)
                put16(quint32(bits & 0xFFFF));
            p += isRk ? RkSize : NumberSize;
            flush();
        }
    };
    quint32 ref = sheet.firstCell;
    for (quint32 k = sheet.firstRun; k < sheet.endRun; ++k) {
        const Run& run = m_runs[k];
        for (quint32 i = 0; i < run.count; ++i, ++ref) {
            const quint32 column = run.column + i;
            putNumbersBefore(run.row, column);
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
            flush();
        }
    }
    putNumbersBefore(0xFFFFFFFF, 0);
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
    for (const auto& sheet : m_sheets)
        std::stable_sort(sheet->numbers.begin(), sheet->numbers.end(),
                         [](const NumberCell& a, const NumberCell& b) {
                             return a.row != b.row ? a.row < b.row : a.column < b.column;
                         });

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
