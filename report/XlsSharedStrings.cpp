#include "report/XlsSharedStrings.h"

#include "report/CompoundFile.h"

#include <QHash>
#include <QSysInfo>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tv {

namespace {

constexpr quint16 SstRecord = 0x00FC;
constexpr quint16 ContinueRecord = 0x003C;
constexpr quint16 ExtSstRecord = 0x00FF;
constexpr qsizetype MaxRecordData = 8224;

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

// One record at a time is assembled here, so that its size is known before its header goes out.
class RecordWriter {
public:
    explicit RecordWriter(ByteSink& out)
        : m_out(out) {
        m_data.reserve(MaxRecordData);
    }
    void begin(quint16 type) {
        m_type = type;
        m_data.resize(0);
    }
    void end() {
        m_out.put16(m_type);
        m_out.put16(quint16(m_data.size()));
        m_out.putBytes(m_data.constData(), m_data.size());
    }
    qsizetype room() const { return MaxRecordData - m_data.size(); }
    // Stream position of the next byte put, and its offset from the record's header.
    quint64 position() const { return m_out.position() + 4 + quint64(m_data.size()); }
    quint16 offsetInRecord() const { return quint16(4 + m_data.size()); }
    void put8(quint8 v) { m_data.append(char(v)); }
    void put16(quint16 v) {
        m_data.append(char(v));
        m_data.append(char(v >> 8));
    }
    void put32(quint32 v) {
        put16(quint16(v));
        put16(quint16(v >> 16));
    }
    void putChars(const char16_t* s, qsizetype n, bool compressed) {
        const qsizetype at = m_data.size();
        m_data.resize(at + (compressed ? n : 2 * n));
        char* p = m_data.data() + at;
        if (compressed) {
            for (qsizetype i = 0; i < n; ++i)
                p[i] = char(s[i]);
        } else if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            std::memcpy(p, s, size_t(n) * 2);
        } else {
            for (qsizetype i = 0; i < n; ++i) {
                p[2 * i] = char(s[i]);
                p[2 * i + 1] = char(s[i] >> 8);
            }
        }
    }

private:
    ByteSink& m_out;
    QByteArray m_data;
    quint16 m_type = 0;
};

} // namespace

quint16 textWidth(QStringView text) {
    quint32 width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        width += isWide(c) ? 2 : 1;
    }
    return quint16(std::min<quint32>(width, 0xFFFF));
}

XlsSharedStrings::XlsSharedStrings()
    : m_slots(4096, Slot{0, 0}) {}

XlsSharedStrings::~XlsSharedStrings() {
    std::free(m_pool);
}

quint32 XlsSharedStrings::add(QStringView text, quint16& width) {
    ++m_total;
    const quint32 h = quint32(qHash(text, 0));
    const size_t mask = m_slots.size() - 1;
    const qsizetype length = text.size();
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (slot.entry == 0) {
            if (m_poolSize + size_t(length) > m_poolCapacity) {
                const size_t capacity =
                    std::max<size_t>(m_poolCapacity * 2, m_poolSize + size_t(length) + 4096);
                void* p = std::realloc(m_pool, capacity * sizeof(char16_t));
                if (!p)
                    throw std::bad_alloc();
                m_pool = static_cast<char16_t*>(p);
                adviseHugePages(m_pool, capacity * sizeof(char16_t));
                m_poolCapacity = capacity;
            }
            const Entry e{quint32(m_poolSize), quint16(length), textWidth(text)};
            // An empty view may carry no data pointer at all, which memcpy must not receive.
            if (length > 0)
                std::memcpy(m_pool + m_poolSize, text.utf16(), size_t(length) * sizeof(char16_t));
            m_poolSize += size_t(length);
            m_entries.push_back(e);
            slot = {h, quint32(m_entries.size())};
            width = e.width;
            if (size_t(m_entries.size()) * 2 > m_slots.size())
                grow();
            return quint32(m_entries.size() - 1);
        }
        if (slot.hash != h)
            continue;
        const Entry& e = m_entries[slot.entry - 1];
        if (e.length == length && (length == 0 || std::memcmp(m_pool + e.offset, text.utf16(),
                                                              size_t(length) * 2) == 0)) {
            width = e.width;
            return slot.entry - 1;
        }
    }
}

void XlsSharedStrings::grow() {
    std::vector<Slot, HugePageAllocator<Slot>> table(m_slots.size() * 2, Slot{0, 0});
    const size_t mask = table.size() - 1;
    for (const Slot& s : m_slots) {
        if (s.entry == 0)
            continue;
        size_t i = s.hash & mask;
        while (table[i].entry != 0)
            i = (i + 1) & mask;
        table[i] = s;
    }
    m_slots.swap(table);
}

void XlsSharedStrings::write(ByteSink& out, quint64 streamStart) const {
    const quint32 unique = uniqueCount();
    // EXTSST points at every dsst-th string so that a reader can seek into the table.
    const quint32 dsst = std::max<quint32>(unique / 128 + 1, 8);
    struct Bucket {
        quint32 position;
        quint16 offset;
    };
    QList<Bucket> buckets;
    buckets.reserve((unique + dsst - 1) / dsst);

    RecordWriter rec(out);
    rec.begin(SstRecord);
    rec.put32(m_total);
    rec.put32(unique);
    for (quint32 k = 0; k < unique; ++k) {
        const Entry& e = m_entries[k];
        const char16_t* s = m_pool + e.offset;
        bool compressed = true;
        for (quint16 i = 0; i < e.length && compressed; ++i)
            compressed = s[i] < 0x100;
        const int charSize = compressed ? 1 : 2;

        // The header (count and flags) and the first character never split; a surrogate pair
        // counts as one character here and below.
        qsizetype first = e.length == 0 ? 0 : (QChar::isHighSurrogate(s[0]) ? 2 : 1);
        if (first > e.length)
            first = e.length;
        if (rec.room() < 3 + first * charSize) {
            rec.end();
            rec.begin(ContinueRecord);
        }
        if (k % dsst == 0)
            buckets.append({quint32(rec.position() - streamStart), rec.offsetInRecord()});
        rec.put16(e.length);
        rec.put8(compressed ? 0x00 : 0x01);

        qsizetype done = 0;
        for (;;) {
            qsizetype n = std::min<qsizetype>(e.length - done, rec.room() / charSize);
            if (done + n < e.length && n > 0 && QChar::isHighSurrogate(s[done + n - 1]))
                --n;
            rec.putChars(s + done, n, compressed);
            done += n;
            if (done == e.length)
                break;
            // The rest continues in a CONTINUE record that starts with a fresh flags byte.
            rec.end();
            rec.begin(ContinueRecord);
            rec.put8(compressed ? 0x00 : 0x01);
        }
    }
    rec.end();

    rec.begin(ExtSstRecord);
    rec.put16(quint16(dsst));
    for (const Bucket& b : buckets) {
        rec.put32(b.position);
        rec.put16(b.offset);
        rec.put16(0);
    }
    rec.end();
}

} // namespace tv
