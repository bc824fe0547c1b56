#pragma once

// The cells a workbook input stands for, and the texts a reader must find in them.
// Pieces split at 0xFF are the cells of column A, one per row. A piece that starts with 0xFE and
// a count byte k stands for its remaining text repeated until it is at least k × 256 code units
// long, so that long cells (past the 8,224-byte record and the 32,767-unit cell limit) come up.

#include "FuzzInput.h"

#include <QStringList>

namespace tv::fuzz {

inline QStringList xlsCells(const uint8_t* data, size_t size) {
    QStringList cells;
    for (const QByteArray& piece : pieces(data, size, 200)) {
        if (piece.size() >= 2 && quint8(piece[0]) == 0xFE) {
            const QString unit = text(piece.mid(2));
            const qsizetype target = qsizetype(quint8(piece[1])) * 256;
            QString cell;
            if (!unit.isEmpty()) {
                while (cell.size() < target)
                    cell += unit;
            }
            cells.append(cell);
        } else {
            cells.append(text(piece));
        }
    }
    return cells;
}

// What the cell holds after writing: the text cut at 32,767 code units, never inside a
// surrogate pair.
inline QString storedText(const QString& text) {
    if (text.size() <= 32767)
        return text;
    qsizetype cut = 32767;
    if (text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate())
        --cut;
    return text.left(cut);
}

} // namespace tv::fuzz
