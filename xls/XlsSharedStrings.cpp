#include "xls/XlsSharedStrings.h"

#include "platform/Error.h"
#include "xls/CompoundFile.h"

#include <QHash>
#include <QSysInfo>
#include <algorithm>
#include <cstring>

namespace tv {

namespace {

constexpr quint16 SstRecord = 0x00FC;
constexpr quint16 ContinueRecord = 0x003C;
constexpr quint16 ExtSstRecord = 0x00FF;
constexpr qsizetype MaxRecordData = 8224;

// Up to this many references a part keep its hash table within the cache while the part is
// searched.
constexpr quint32 ReferencesPerPart = 1 << 16;
constexpr quint32 MaxPartBits = 8;
constexpr quint32 NoReference = 0xFFFFFFFF;

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19) ||
           (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

// EXTSST points at every dsst-th string so that a reader can seek into the table.
quint32 bucketSpacing(quint32 unique) {
    return std::max<quint32>(unique / 128 + 1, 8);
}

// Sizes the SST and CONTINUE records: the layout pass over the table.
class CountingRecords {
public:
    explicit CountingRecords(std::vector<quint16>& sizes)
        : m_sizes(sizes) {}
    void begin(quint16) {
        m_used = 0;
        m_bytes += 4;
    }
    void end() { m_sizes.push_back(quint16(m_used)); }
    qsizetype room() const { return MaxRecordData - m_used; }
    void put8(quint8) { add(1); }
    void put16(quint16) { add(2); }
    void put32(quint32) { add(4); }
    void putChars(const char16_t*, qsizetype n, bool compressed) { add(compressed ? n : 2 * n); }
    void bucket() {}
    quint64 bytes() const { return m_bytes; }

private:
    void add(qsizetype n) {
        m_used += n;
        m_bytes += quint64(n);
    }
    std::vector<quint16>& m_sizes;
    qsizetype m_used = 0;
    quint64 m_bytes = 0;
};

// Puts the records out, each header with the size the layout pass found.
class EmittingRecords {
public:
    struct Bucket {
        quint32 position;
        quint16 offset;
    };

    EmittingRecords(ByteSink& out, quint64 streamStart, const std::vector<quint16>& sizes)
        : m_out(out)
        , m_streamStart(streamStart)
        , m_sizes(sizes) {}
    void begin(quint16 type) {
        m_out.put16(type);
        m_out.put16(m_sizes.at(m_next++));
        m_used = 0;
    }
    void end() {}
    qsizetype room() const { return MaxRecordData - m_used; }
    void put8(quint8 v) {
        m_out.put8(v);
        m_used += 1;
    }
    void put16(quint16 v) {
        m_out.put16(v);
        m_used += 2;
    }
    void put32(quint32 v) {
        m_out.put32(v);
        m_used += 4;
    }
    void putChars(const char16_t* s, qsizetype n, bool compressed) {
        if (n == 0)
            return;
        if (compressed) {
            char bytes[1024];
            for (qsizetype done = 0; done < n;) {
                const qsizetype k = std::min<qsizetype>(n - done, sizeof bytes);
                for (qsizetype i = 0; i < k; ++i)
                    bytes[i] = char(s[done + i]);
                m_out.putBytes(bytes, k);
                done += k;
            }
            m_used += n;
            return;
        }
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            m_out.putBytes(reinterpret_cast<const char*>(s), 2 * n);
        } else {
            for (qsizetype i = 0; i < n; ++i)
                m_out.put16(s[i]);
        }
        m_used += 2 * n;
    }
    void bucket() {
        m_buckets.push_back({quint32(m_out.position() - m_streamStart), quint16(4 + m_used)});
    }
    const std::vector<Bucket>& buckets() const { return m_buckets; }

private:
    ByteSink& m_out;
    quint64 m_streamStart;
    const std::vector<quint16>& m_sizes;
    size_t m_next = 0;
    qsizetype m_used = 0;
    std::vector<Bucket> m_buckets;
};

} // namespace

quint16 textWidth(QStringView text) {
    quint32 width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x1100) { // nothing below is wide
            ++width;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        width += isWide(c) ? 2 : 1;
    }
    return quint16(std::min<quint32>(width, 0xFFFF));
}

XlsSharedStrings::XlsSharedStrings(Hash hash)
    : m_hash(hash) {}

quint32 XlsSharedStrings::add(QStringView text, bool kept) {
    if (text.size() > MaxLength)
        throw Error(QStringLiteral("单元格文字超过 %1 个字符。").arg(MaxLength));
    // References are 31-bit, as the file's own counts are.
    if (m_lengths.size() >= 0x7FFFFFFFu)
        throw Error(QStringLiteral("文件过大，无法写入。"));
    const quint32 ref = quint32(m_lengths.size());
    if (text.isEmpty()) {
        // Nothing to place: an empty text joins whatever run is open.
        if (m_segments.empty())
            m_segments.push_back({ref, nullptr, nullptr, m_text.size()});
    } else if (kept) {
        const char16_t* p = text.utf16();
        if (m_segments.empty() || !m_segments.back().kept || m_segments.back().keptEnd != p)
            m_segments.push_back({ref, p, p, 0});
        m_segments.back().keptEnd = p + text.size();
    } else {
        if (m_segments.empty() || m_segments.back().kept)
            m_segments.push_back({ref, nullptr, nullptr, m_text.size()});
        m_text.insert(m_text.end(), text.utf16(), text.utf16() + text.size());
    }
    m_lengths.push_back(quint16(text.size()));
    m_built = false;
    return ref;
}

void XlsSharedStrings::hashAll(std::vector<quint32>& counts) {
    walk(0, totalCount(), [&](quint32 ref, QStringView t) {
        quint32 h;
        if (m_hash) {
            h = m_hash(t);
        } else {
            const size_t full = qHash(t, 0);
            h = quint32(full ^ (quint64(full) >> 32));
        }
        m_index[ref] = h;
        ++counts[part(h)];
        char16_t any = 0;
        for (const QChar c : t)
            any |= c.unicode();
        m_lengths[ref] = quint16(t.size()) | (any >= 0x100 ? WideBit : 0);
    });
}

void XlsSharedStrings::build() {
    const quint32 n = totalCount();
    quint32 bits = 0;
    while (bits < MaxPartBits && (n >> bits) > ReferencesPerPart)
        ++bits;
    m_partShift = 32 - bits;
    const quint32 parts = 1u << bits;
    m_index.resize(n);

    // Hashes, 8-bit flags and the size of each part.
    std::vector<quint32> counts(parts);
    hashAll(counts);

    {
        // The references grouped by part, in order within a part; freed before the numbering
        // takes its own memory.
        std::vector<quint32> partStart(parts + 1);
        std::vector<quint32> next(parts);
        for (quint32 p = 0; p < parts; ++p) {
            next[p] = partStart[p];
            partStart[p + 1] = partStart[p] + counts[p];
        }
        std::vector<HashedRef> grouped(n);
        for (quint32 ref = 0; ref < n; ++ref) {
            const quint32 h = m_index[ref];
            grouped[next[part(h)]++] = {h, ref};
        }
        findFirstOccurrences(grouped, partStart);
    }
    numberInOrder();
    m_built = true;
}

void XlsSharedStrings::findFirstOccurrences(const std::vector<HashedRef>& grouped,
                                            const std::vector<quint32>& partStart) {
    // Texts are not read here: a reference whose hash matches an earlier one is taken for its
    // repeat, and numberInOrder() checks that where the texts are at hand.
    std::vector<HashedRef> table;
    for (size_t p = 0; p + 1 < partStart.size(); ++p) {
        table.assign(4096, HashedRef{0, NoReference});
        size_t mask = table.size() - 1;
        size_t used = 0;
        for (quint32 j = partStart[p]; j < partStart[p + 1]; ++j) {
            const HashedRef r = grouped[j];
            for (size_t s = r.hash & mask;; s = (s + 1) & mask) {
                HashedRef& slot = table[s];
                if (slot.ref == NoReference) {
                    slot = r;
                    m_index[r.ref] = r.ref;
                    ++used;
                    break;
                }
                if (slot.hash == r.hash) {
                    m_index[r.ref] = slot.ref;
                    break;
                }
            }
            if (used * 2 > table.size()) {
                std::vector<HashedRef> bigger(table.size() * 2, HashedRef{0, NoReference});
                mask = bigger.size() - 1;
                for (const HashedRef& slot : table) {
                    if (slot.ref == NoReference)
                        continue;
                    size_t s = slot.hash & mask;
                    while (bigger[s].ref != NoReference)
                        s = (s + 1) & mask;
                    bigger[s] = slot;
                }
                table.swap(bigger);
            }
        }
    }
}

void XlsSharedStrings::numberInOrder() {
    // First occurrences are numbered in order; every other reference takes its first's number,
    // which is already in place because the first comes earlier. A claimed repeat whose text
    // differs (two texts of one hash) is looked up among such texts by its text. The records
    // the table will take are sized on the way.
    const quint32 n = totalCount();
    std::vector<const char16_t*> uniqueText; // where the text of each table entry starts
    QHash<QStringView, quint32> collided;    // text -> table index
    m_recordSizes.clear();
    CountingRecords layout(m_recordSizes);
    layout.begin(SstRecord);
    layout.put32(0); // the counts
    layout.put32(0);
    quint32 next = 0;
    walk(0, n, [&](quint32 ref, QStringView t) {
        const quint32 first = m_index[ref];
        const quint16 lengthAndWidth = m_lengths[ref];
        quint32 index = next;
        if (first != ref) {
            index = m_index[first];
            const QStringView firstText(uniqueText[index], m_lengths[first] & LengthMask);
            if (firstText != t) {
                auto it = collided.constFind(t);
                if (it == collided.cend())
                    it = collided.insert(t, next);
                index = *it;
            }
        }
        if (index == next) {
            uniqueText.push_back(t.utf16());
            putString(layout, t.utf16(), t.size(), !(lengthAndWidth & WideBit), false);
            ++next;
        }
        m_index[ref] = index;
    });
    layout.end();
    m_unique = next;
    const quint32 spacing = bucketSpacing(m_unique);
    m_byteSize = layout.bytes() + 4 + 2 + 8 * quint64((m_unique + spacing - 1) / spacing);
}

template <class Records>
void XlsSharedStrings::putString(Records& rec, const char16_t* chars, qsizetype length,
                                 bool compressed, bool bucket) const {
    const int charSize = compressed ? 1 : 2;
    // The header (count and flags) and the first character never split; a surrogate pair
    // counts as one character here and below.
    qsizetype head = length == 0 ? 0 : (QChar::isHighSurrogate(chars[0]) ? 2 : 1);
    if (head > length)
        head = length;
    if (rec.room() < 3 + head * charSize) {
        rec.end();
        rec.begin(ContinueRecord);
    }
    if (bucket)
        rec.bucket();
    rec.put16(quint16(length));
    rec.put8(compressed ? 0x00 : 0x01);

    qsizetype done = 0;
    for (;;) {
        qsizetype part = std::min<qsizetype>(length - done, rec.room() / charSize);
        if (done + part < length && part > 0 && QChar::isHighSurrogate(chars[done + part - 1]))
            --part;
        rec.putChars(chars + done, part, compressed);
        done += part;
        if (done == length)
            break;
        // The rest continues in a CONTINUE record that starts with a fresh flags byte.
        rec.end();
        rec.begin(ContinueRecord);
        rec.put8(compressed ? 0x00 : 0x01);
    }
}

void XlsSharedStrings::write(ByteSink& out, quint64 streamStart) const {
    if (!m_built)
        throw Error(QStringLiteral("shared string table written before it was built"));
    EmittingRecords rec(out, streamStart, m_recordSizes);
    rec.begin(SstRecord);
    rec.put32(totalCount());
    rec.put32(m_unique);
    const quint32 spacing = bucketSpacing(m_unique);
    quint32 k = 0;
    walk(0, totalCount(), [&](quint32 ref, QStringView t) {
        if (m_index[ref] == k) { // the text's first occurrence
            putString(rec, t.utf16(), t.size(), !(m_lengths[ref] & WideBit), k % spacing == 0);
            ++k;
        }
    });
    rec.end();

    const auto& buckets = rec.buckets();
    out.put16(ExtSstRecord);
    out.put16(quint16(2 + 8 * buckets.size()));
    out.put16(quint16(spacing));
    for (const auto& b : buckets) {
        out.put32(b.position);
        out.put16(b.offset);
        out.put16(0);
    }
}

} // namespace tv
