#pragma once

#include <QString>
#include <algorithm>
#include <vector>

namespace tv {

class ByteSink;

// The shared string table of a BIFF8 workbook: every distinct cell text once, written as SST
// with its CONTINUE records and the EXTSST index.
//
// Texts are kept as they come, one reference each, and the distinct ones are found by build().
// A single hash table over hundreds of thousands of strings would cost a cache miss for
// nearly every cell, so build() groups the references by a part of the hash range and searches
// each part with a table small enough for the cache.
class XlsSharedStrings {
public:
    static constexpr qsizetype MaxLength = 32767;
    // The hash that sorts texts into parts and table slots; any function gives the same table,
    // a poor one only more work (tests pass one that makes every text collide).
    using Hash = quint32 (*)(QStringView);

    explicit XlsSharedStrings(Hash hash = nullptr);
    XlsSharedStrings(const XlsSharedStrings&) = delete;
    XlsSharedStrings& operator=(const XlsSharedStrings&) = delete;

    // Keeps one reference to text (at most MaxLength code units); returns its number, counting
    // from 0 in the order added. The text is copied, unless kept is set: then the caller
    // promises it stays valid and unchanged while the table is built and written, and texts
    // that lie end to end in the caller's memory cost no copy at all.
    quint32 add(QStringView text, bool kept = false);
    quint32 totalCount() const { return quint32(m_lengths.size()); }
    // Calls f(text) for the references first to end - 1 in order.
    template <class F> void forEach(quint32 first, quint32 end, F f) const {
        walk(first, end, [&](quint32, QStringView text) { f(text); });
    }

    // Numbers the distinct texts in the order they first occur; index(), byteSize() and
    // write() answer for that numbering until the next add().
    void build();
    quint32 uniqueCount() const { return m_unique; }
    // Index in the table of the text of reference ref.
    quint32 index(quint32 ref) const { return m_index[ref]; }
    // Bytes that write() puts out.
    quint64 byteSize() const { return m_byteSize; }
    // Writes SST, CONTINUE and EXTSST; streamStart is out.position() at the stream's byte 0.
    void write(ByteSink& out, quint64 streamStart) const;

private:
    // A length's top bit, set by build(), marks a text with a character past 8 bits: it is
    // stored with 16 bits a character, the others compressed to 8.
    static constexpr quint16 WideBit = 0x8000;
    static constexpr quint16 LengthMask = 0x7FFF;

    struct HashedRef {
        quint32 hash;
        quint32 ref;
    };
    quint32 part(quint32 hash) const { return quint32(quint64(hash) >> m_partShift); }
    // Texts lie in runs end to end: the owned copies, or a run of kept texts of the caller.
    struct Segment {
        quint32 firstRef;
        const char16_t* kept;    // nullptr for copies in m_text
        const char16_t* keptEnd; // where the next kept text must start to join the run
        quint64 offset;          // of the first copy in m_text
    };
    // Calls f(ref, text) for the references first to end - 1 in order.
    template <class F> void walk(quint32 first, quint32 end, F f) const {
        size_t s =
            size_t(std::upper_bound(m_segments.begin(), m_segments.end(), first,
                                    [](quint32 r, const Segment& g) { return r < g.firstRef; }) -
                   m_segments.begin());
        if (s == 0 || first >= end)
            return;
        --s;
        const char16_t* p = start(m_segments[s]);
        for (quint32 ref = m_segments[s].firstRef; ref < first; ++ref)
            p += m_lengths[ref] & LengthMask;
        quint32 nextRun = s + 1 < m_segments.size() ? m_segments[s + 1].firstRef : end;
        for (quint32 ref = first; ref < end; ++ref) {
            if (ref == nextRun) {
                p = start(m_segments[++s]);
                nextRun = s + 1 < m_segments.size() ? m_segments[s + 1].firstRef : end;
            }
            const qsizetype n = m_lengths[ref] & LengthMask;
            f(ref, QStringView(p, n));
            p += n;
        }
    }
    const char16_t* start(const Segment& s) const {
        return s.kept ? s.kept : m_text.data() + s.offset;
    }
    void hashAll(std::vector<quint32>& counts);
    void findFirstOccurrences(const std::vector<HashedRef>& grouped,
                              const std::vector<quint32>& partStart);
    void numberInOrder();
    template <class Records>
    void putString(Records& records, const char16_t* chars, qsizetype length, bool compressed,
                   bool bucket) const;

    Hash m_hash;
    std::vector<char16_t> m_text; // the copied texts end to end
    std::vector<Segment> m_segments;
    std::vector<quint16> m_lengths; // length of each reference's text, and WideBit
    // build() stores each reference's hash here, then its first reference with the same text,
    // then turns that into the table index in place.
    std::vector<quint32> m_index;
    quint32 m_partShift = 32;           // a hash's part is its top bits (one part when 32)
    std::vector<quint16> m_recordSizes; // data size of SST and each CONTINUE record
    quint32 m_unique = 0;
    quint64 m_byteSize = 0;
    bool m_built = false;
};

// Display width of a text in digits: East Asian wide and full-width characters count two.
quint16 textWidth(QStringView text);

} // namespace tv
