#pragma once

#include "report/LargeMemory.h"

#include <QList>
#include <QString>
#include <vector>

namespace tv {

class ByteSink;

// The shared string table of a BIFF8 workbook: every distinct cell text once, found again
// through a hash, written as SST with its CONTINUE records and the EXTSST index.
class XlsSharedStrings {
public:
    XlsSharedStrings();
    ~XlsSharedStrings();
    XlsSharedStrings(const XlsSharedStrings&) = delete;
    XlsSharedStrings& operator=(const XlsSharedStrings&) = delete;

    // Index of text in the table, adding it when new; counts one more reference.
    // width receives the text's display width in digits of the default font.
    quint32 add(QStringView text, quint16& width);
    quint32 uniqueCount() const { return quint32(m_entries.size()); }
    quint32 totalCount() const { return m_total; }

    // Writes SST, CONTINUE and EXTSST; streamStart is out.position() at the stream's byte 0.
    void write(ByteSink& out, quint64 streamStart) const;

private:
    struct Entry {
        quint32 offset; // first code unit in m_pool
        quint16 length; // in UTF-16 code units, at most 32767
        quint16 width;
    };
    // The hash beside the index lets a lookup pass other strings without reading them.
    struct Slot {
        quint32 hash;
        quint32 entry; // entry index + 1, 0 for a free slot
    };
    void grow();

    // All distinct texts end to end; grown with realloc, which moves large blocks without
    // copying them, so the pool never needs twice its size.
    char16_t* m_pool = nullptr;
    size_t m_poolSize = 0;
    size_t m_poolCapacity = 0;
    std::vector<Entry, HugePageAllocator<Entry>> m_entries;
    std::vector<Slot, HugePageAllocator<Slot>> m_slots;
    quint32 m_total = 0;
};

// Display width of a text in digits: East Asian wide and full-width characters count two.
quint16 textWidth(QStringView text);

} // namespace tv
