#include "report/Stats.h"

#include "platform/Error.h"
#include "platform/RowReader.h"
#include "platform/VectorState.h"
#include "xls/Workbook.h"

#include <QSet>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tv {

namespace {

constexpr qint64 SecondsPerDay = 86400;
constexpr size_t DenseOrderSlots = 8 * 1024 * 1024; // at most 32 MB

// The columns read, in this order.
enum Column { TradeId, Time, User, PostId, SndStyle, Province, Weight, Weight2, PostFee2 };

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The 1 to 7 bytes at p as one word, read in fixed-size pieces (overlapping where n is not 4
// or 8), which the compiler turns into plain loads.
quint64 shortWord(const char* p, qsizetype n) {
    if (n >= 4) {
        quint32 first, last;
        std::memcpy(&first, p, 4);
        std::memcpy(&last, p + n - 4, 4);
        return first | quint64(last) << 32;
    }
    return quint64(uchar(p[0])) | quint64(uchar(p[n / 2])) << 8 | quint64(uchar(p[n - 1])) << 16;
}

// Eight bytes at a time, each word mixed in by a multiply, with a final mix so that every bit
// depends on every byte. The length is mixed in first, so the overlapping reads of a short
// tail tell texts apart as well as separate reads would.
quint64 hashOf(QByteArrayView text) {
    constexpr quint64 K = 0x9e3779b97f4a7c15ULL;
    const char* p = text.data();
    qsizetype n = text.size();
    quint64 h = quint64(n) * K;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * K;
        h ^= h >> 29;
    }
    if (n > 0) {
        h = (h ^ shortWord(p, n)) * K;
        h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ULL;
    h ^= h >> 32;
    return h;
}

// Whether two texts are the same bytes; short ones, as names and waybills are, without a
// call.
bool sameBytes(QByteArrayView a, QByteArrayView b) {
    const qsizetype n = a.size();
    if (n != b.size())
        return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n > 16)
        return std::memcmp(p, q, size_t(n)) == 0;
    if (n >= 8) {
        quint64 x, y, u, v;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, q, 8);
        std::memcpy(&u, p + n - 8, 8);
        std::memcpy(&v, q + n - 8, 8);
        return x == y && u == v;
    }
    return n == 0 || shortWord(p, n) == shortWord(q, n);
}

// Seconds since the start of Julian day 0 of a scan time given as "yyyy-mm-dd hh:mm:ss" (what
// the embedded database keeps, and how the reader writes a date-time); -1 when it is not one.
// lastDate keeps the previous row's date: scans come in time order, so most rows share it.
struct TimeParser {
    char lastDate[10] = {};
    qint64 lastDay = -1;

    qint64 secondsOf(QByteArrayView t) {
        if (t.size() < 19 || t[4] != '-' || t[7] != '-' || t[13] != ':' || t[16] != ':')
            return -1;
        for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
            if (!isDigit(t[i]))
                return -1;
        const auto number = [&](int at, int n) {
            int r = 0;
            for (int i = at; i < at + n; ++i)
                r = r * 10 + (t[i] - '0');
            return r;
        };
        if (lastDay < 0 || !sameBytes(QByteArrayView(lastDate, sizeof lastDate), t.first(10))) {
            const QDate day(number(0, 4), number(5, 2), number(8, 2));
            if (!day.isValid())
                return -1;
            std::memcpy(lastDate, t.data(), sizeof lastDate);
            lastDay = day.toJulianDay();
        }
        return lastDay * SecondsPerDay + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
    }
};

// Texts kept one after another in one buffer, each with its hash: no allocation per text.
class TextStore {
public:
    // A text is kept up to its first 16 MB.
    int append(QByteArrayView text, quint64 hash) {
        text = text.first(std::min<qsizetype>(text.size(), MaxSize));
        m_entries.push_back({hash, m_bytes.size(), quint32(text.size())});
        m_bytes.append(text.data(), size_t(text.size()));
        return int(m_entries.size()) - 1;
    }
    QByteArrayView view(int index) const {
        const Entry& e = m_entries[size_t(index)];
        return QByteArrayView(m_bytes.data() + e.offset, qsizetype(e.size));
    }
    quint64 hash(int index) const { return m_entries[size_t(index)].hash; }
    QString text(int index) const { return QString::fromUtf8(view(index)); }
    int size() const { return int(m_entries.size()); }

private:
    static constexpr qsizetype MaxSize = (1 << 24) - 1;
    struct Entry {
        quint64 hash;
        quint64 offset : 40; // up to a terabyte of text
        quint64 size : 24;
    };

    std::vector<Entry> m_entries;
    std::string m_bytes;
};

// Texts numbered in order of first appearance, found by their UTF-8 bytes: an open-addressing
// table over one buffer, so a million waybills cost no allocation each. A slot keeps the upper
// half of the text's hash beside its number: most probes end in the slot array without a look
// at the text (a cache miss each on a table this size).
class TextIndex {
public:
    int indexOf(QByteArrayView text) {
        if (size_t(m_texts.size()) * 2 >= m_slots.size())
            grow();
        const quint64 hash = hashOf(text);
        const quint64 tag = hash >> 32;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
            const quint64 slot = m_slots[i];
            if (slot == 0) {
                const int index = m_texts.append(text, hash);
                m_slots[i] = (tag << 32) | quint64(index + 1);
                return index;
            }
            const int at = int(quint32(slot)) - 1;
            if (slot >> 32 == tag && sameBytes(m_texts.view(at), text))
                return at;
        }
    }
    QByteArrayView view(int index) const { return m_texts.view(index); }
    QString text(int index) const { return m_texts.text(index); }
    int size() const { return m_texts.size(); }

private:
    void grow() {
        m_slots.assign(std::max<size_t>(16, m_slots.size() * 2), 0);
        const size_t mask = m_slots.size() - 1;
        for (int k = 0; k < m_texts.size(); ++k) {
            const quint64 hash = m_texts.hash(k);
            size_t i = size_t(hash) & mask;
            while (m_slots[i] != 0)
                i = (i + 1) & mask;
            m_slots[i] = (hash >> 32 << 32) | quint64(k + 1);
        }
    }

    TextStore m_texts;
    std::vector<quint64> m_slots; // tag << 32 | index + 1; 0 when free
};

// Runs there on another thread and here on this one, and returns when both are done; an
// exception from either is thrown here.
template <typename There, typename Here> void inParallel(There&& there, Here&& here) {
    std::exception_ptr failure;
    std::thread thread([&] {
        try {
            clearVectorUpperState();
            there();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        clearVectorUpperState();
        here();
    } catch (...) {
        thread.join();
        throw;
    }
    thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

// Numbers texts so that equal texts get one number, in order of first appearance; first
// receives, for each number, its first text. Sorting by hash reads memory in order, where a
// table of a million waybills would miss the cache on almost every lookup.
template <typename Texts>
std::vector<int> numberEqual(const Texts& texts, std::vector<int>& first) {
    const size_t n = size_t(texts.size());
    // The hashes in order: a counting pass over their top bits puts them in buckets of two or
    // so, each put in order in place. Equal hashes keep the order of their texts.
    const int bits = std::max(1, int(std::bit_width(n)) - 1);
    const size_t buckets = size_t(1) << bits;
    const auto bucket = [&](quint64 hash) {
        return size_t(hash >> (64 - bits));
    };
    std::vector<quint32> start(buckets + 1, 0);
    for (size_t i = 0; i < n; ++i)
        ++start[bucket(texts.hash(int(i))) + 1];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    std::vector<std::pair<quint64, int>> keys(n);
    std::vector<int> same(n); // each text's first equal text
    // The lower and the upper buckets on two threads: each fills and reads only its own.
    const auto sortBuckets = [&](size_t from, size_t to) {
        std::vector<quint32> fill(start.begin() + qsizetype(from), start.begin() + qsizetype(to));
        for (size_t i = 0; i < n; ++i) {
            const quint64 hash = texts.hash(int(i));
            const size_t b = bucket(hash);
            if (b >= from && b < to)
                keys[fill[b - from]++] = {hash, int(i)};
        }
        for (size_t b = from; b < to; ++b) {
            const auto first = keys.begin() + start[b];
            const auto last = keys.begin() + start[b + 1];
            for (auto k = first + 1; k < last; ++k)
                for (auto j = k; j > first && *j < *(j - 1); --j)
                    std::iter_swap(j, j - 1);
        }
        // Equal hashes are compared by their bytes.
        for (size_t a = start[from], end = start[to]; a < end;) {
            size_t b = a + 1;
            while (b < end && keys[b].first == keys[a].first)
                ++b;
            for (size_t k = a; k < b; ++k) {
                const int i = keys[k].second;
                same[size_t(i)] = i;
                for (size_t j = a; j < k; ++j) {
                    if (sameBytes(texts.view(keys[j].second), texts.view(i))) {
                        same[size_t(i)] = same[size_t(keys[j].second)];
                        break;
                    }
                }
            }
            a = b;
        }
    };
    inParallel([&] { sortBuckets(buckets / 2, buckets); }, [&] { sortBuckets(0, buckets / 2); });
    std::vector<int> numbers(n);
    first.clear();
    for (size_t i = 0; i < n; ++i) {
        if (same[i] == int(i)) {
            numbers[i] = int(first.size());
            first.push_back(int(i));
        } else {
            numbers[i] = numbers[size_t(same[i])];
        }
    }
    return numbers;
}

// Counts distinct (group, item) pairs. Most items fall in one group only: an item's first
// group is kept beside it, and only pairs with another group are gathered.
class DistinctCounter {
public:
    explicit DistinctCounter(size_t items = 0)
        : m_first(items, -1) {}

    // Returns true when the pair is new.
    bool add(int group, int item) {
        if (size_t(item) >= m_first.size())
            m_first.resize(size_t(item) + 1, -1);
        int& first = m_first[size_t(item)];
        if (first == -1) {
            first = group;
            ++count(group);
            return true;
        }
        if (first == group)
            return false;
        const quint64 key = (quint64(quint32(group)) << 32) | quint32(item);
        if (m_seen.contains(key))
            return false;
        m_seen.insert(key);
        ++count(group);
        return true;
    }
    int countOf(int group) const {
        return size_t(group) < m_counts.size() ? m_counts[size_t(group)] : 0;
    }

private:
    int& count(int group) {
        if (size_t(group) >= m_counts.size())
            m_counts.resize(size_t(group) + 1, 0);
        return m_counts[size_t(group)];
    }
    std::vector<int> m_first;
    std::vector<int> m_counts;
    QSet<quint64> m_seen;
};

// Orders by their ID. IDs are mostly whole numbers close together: a table indexed by the ID
// finds them without hashing; other whole numbers go to a hash, IDs that are not numbers to a
// text index.
class OrderIds {
public:
    struct Key {
        qint64 id;     // the whole number
        int text = -1; // or the index of the text
    };

    Key key(bool numeric, qint64 id, QByteArrayView text) {
        return numeric ? Key{id, -1} : Key{0, m_texts.indexOf(text)};
    }
    QByteArrayView text(int index) const { return m_texts.view(index); }

    // The number given to the order, -1 before it has one. Valid until the next call.
    int& slot(const Key& key) {
        if (key.text >= 0) {
            if (size_t(key.text) >= m_textOrders.size())
                m_textOrders.resize(size_t(key.text) + 1, -1);
            return m_textOrders[size_t(key.text)];
        }
        if (!m_hasBase) {
            m_hasBase = true;
            m_base = key.id;
        }
        const qint64 dense = key.id - m_base;
        if (key.id >= m_base && dense < qint64(DenseOrderSlots)) {
            if (size_t(dense) >= m_dense.size())
                m_dense.resize(std::max(size_t(dense) + 1, m_dense.size() * 2), -1);
            return m_dense[size_t(dense)];
        }
        return m_numeric.try_emplace(key.id, -1).first->second;
    }

private:
    bool m_hasBase = false;
    qint64 m_base = 0;
    std::vector<int> m_dense;
    std::unordered_map<qint64, int> m_numeric;
    TextIndex m_texts;
    std::vector<int> m_textOrders;
};

struct OrderRow {
    qint64 weight;
    qint64 weight2;
    double postFee2;
    int method;
    int province;
    int waybill = -1;
    bool copy = false; // of an order read before
};

struct Scan {
    qint64 seconds;
    int item; // the order while reading, its waybill once the waybills are numbered
    bool operator<(const Scan& o) const {
        return seconds != o.seconds ? seconds < o.seconds : item < o.item;
    }
    bool operator==(const Scan& o) const { return seconds == o.seconds && item == o.item; }
};

// What one reader gathers from the rows of its part of the time: each order once, with the columns
// of its first row, and each operator's scans in row order. Orders, operators, methods and
// provinces are numbered in order of first appearance.
struct Part {
    bool keepKeys = false; // for a part appended to another
    int rows = 0;
    OrderIds ids;
    std::vector<OrderIds::Key> keys; // per order, when kept
    std::vector<OrderRow> orders;
    TextStore waybills; // per order, with its hash
    TextIndex users, methods, provinces;
    std::vector<std::vector<Scan>> scans; // per operator
    TimeParser times;

    template <typename Rows> void read(Rows& r) {
        while (r.next()) {
            ++rows;
            bool numeric = false;
            const qint64 id = r.integer(TradeId, &numeric);
            const OrderIds::Key key =
                ids.key(numeric, id, numeric ? QByteArrayView() : r.text(TradeId));
            int& slot = ids.slot(key);
            if (slot < 0) {
                // An order's columns are read on its first row only.
                slot = int(orders.size());
                if (keepKeys)
                    keys.push_back(key);
                const QByteArrayView waybill = r.text(PostId);
                waybills.append(waybill, hashOf(waybill));
                orders.push_back({r.integer(Weight), r.integer(Weight2), r.real(PostFee2),
                                  methods.indexOf(r.text(SndStyle)),
                                  provinces.indexOf(r.text(Province))});
            }
            const int order = slot;
            const qint64 seconds = times.secondsOf(r.text(Time));
            if (seconds < 0)
                continue;
            const int user = users.indexOf(r.text(User));
            if (size_t(user) >= scans.size())
                scans.resize(size_t(user) + 1);
            scans[size_t(user)].push_back({seconds, order});
        }
    }

    // Takes in the part of the time after this part's, as if its rows had followed this
    // part's. Its orders stay in that part and are numbered after this part's: order(i). One
    // that this part read too is marked a copy, and the scans count this part's.
    void append(Part& later) {
        rows += later.rows;
        const auto mapTexts = [](const TextIndex& from, TextIndex& to) {
            std::vector<int> map(size_t(from.size()));
            for (int i = 0; i < from.size(); ++i)
                map[size_t(i)] = to.indexOf(from.view(i));
            return map;
        };
        const std::vector<int> userMap = mapTexts(later.users, users);
        const std::vector<int> methodMap = mapTexts(later.methods, methods);
        const std::vector<int> provinceMap = mapTexts(later.provinces, provinces);
        std::vector<int> orderMap(later.orders.size());
        const int base = int(orders.size());
        for (size_t k = 0; k < later.orders.size(); ++k) {
            OrderIds::Key key = later.keys[k];
            if (key.text >= 0)
                key = ids.key(false, 0, later.ids.text(key.text));
            int& slot = ids.slot(key);
            OrderRow& o = later.orders[k];
            if (slot < 0)
                slot = base + int(k);
            else
                o.copy = true;
            o.method = methodMap[size_t(o.method)];
            o.province = provinceMap[size_t(o.province)];
            orderMap[k] = slot;
        }
        m_later = &later;
        scans.resize(size_t(users.size()));
        for (size_t u = 0; u < later.scans.size(); ++u) {
            std::vector<Scan>& to = scans[size_t(userMap[u])];
            to.reserve(to.size() + later.scans[u].size());
            for (const Scan& s : later.scans[u])
                to.push_back({s.seconds, orderMap[size_t(s.item)]});
        }
    }

    // This part's orders and then an appended part's, copies included.
    int orderCount() const { return int(orders.size() + (m_later ? m_later->orders.size() : 0)); }
    OrderRow& order(int i) {
        return size_t(i) < orders.size() ? orders[size_t(i)]
                                         : m_later->orders[size_t(i) - orders.size()];
    }
    // The waybills of those orders, as numberEqual reads them.
    struct Waybills {
        const Part& part;
        int size() const { return part.orderCount(); }
        quint64 hash(int i) const {
            const auto [store, at] = locate(i);
            return store.hash(at);
        }
        QByteArrayView view(int i) const {
            const auto [store, at] = locate(i);
            return store.view(at);
        }
        QString text(int i) const { return QString::fromUtf8(view(i)); }

    private:
        std::pair<const TextStore&, int> locate(int i) const {
            const int own = part.waybills.size();
            if (i < own)
                return {part.waybills, i};
            return {part.m_later->waybills, i - own};
        }
    };
    Waybills allWaybills() const { return {*this}; }

private:
    Part* m_later = nullptr;
};

// The median of the gaps between one operator's scans on a day: whole seconds under a day,
// counted per value, so that the median is a walk over the counts instead of a selection
// among a quarter of a million gaps.
class GapMedian {
public:
    void add(qint64 seconds) {
        ++m_counts[size_t(seconds)];
        ++m_total;
    }
    // -1 without gaps; with an even count, the mean of the two middle ones.
    double median() const {
        if (m_total == 0)
            return -1;
        const qint64 upper = valueAt(m_total / 2);
        if (m_total % 2 == 1)
            return double(upper);
        return (double(valueAt(m_total / 2 - 1)) + double(upper)) / 2;
    }

private:
    // The gap of the given rank (from 0) in increasing order.
    qint64 valueAt(qint64 rank) const {
        qint64 seen = 0;
        for (size_t v = 0; v < m_counts.size(); ++v) {
            seen += m_counts[v];
            if (seen > rank)
                return qint64(v);
        }
        return qint64(m_counts.size()) - 1;
    }

    std::vector<int> m_counts = std::vector<int>(size_t(SecondsPerDay), 0);
    qint64 m_total = 0;
};

QString noneText() {
    return QStringLiteral("（无）");
}

} // namespace

QString Stats::statement(const StatsFilter& filter) {
    QString sql = QStringLiteral(
        "select l.[TradeID], l.[Time], l.[User], t.[PostID], t.[sndStyle], t.[Province], "
        "t.[weight], t.[weight2], t.[PostFee2] from [df_TradeLog] l join [df_Trade] t on "
        "t.[ID] = l.[TradeID] where l.[Event] in (?, ?) and l.[Time] >= ? and l.[Time] < ?");
    if (!filter.shop.isEmpty())
        sql += QStringLiteral(" and t.[Shop] = ?");
    if (!filter.sndStyle.isEmpty())
        sql += QStringLiteral(" and t.[sndStyle] = ?");
    return sql;
}

namespace {

// The statement's values for the scans from begin up to, not including, end.
QVariantList rangeParameters(const Dialect& dialect, const StatsFilter& filter,
                             const QDateTime& begin, const QDateTime& end) {
    QVariantList values = {QStringLiteral("完成关闭"), QStringLiteral("发货出库"),
                           dialect.dateTimeParam(begin), dialect.dateTimeParam(end)};
    for (const QString* v : {&filter.shop, &filter.sndStyle})
        if (!v->isEmpty())
            values.append(*v);
    return values;
}

} // namespace

QVariantList Stats::parameters(const Dialect& dialect, const StatsFilter& filter) {
    // From the first day's midnight up to, not including, the midnight after the last day.
    return rangeParameters(dialect, filter, filter.from.startOfDay(),
                           filter.to.addDays(1).startOfDay());
}

StatsFigures Stats::compute(Connection& orders, const StatsFilter& filter, int readers) {
    StatsFigures out;
    for (QDate d = filter.from; d <= filter.to; d = d.addDays(1))
        out.days.append(d);
    const int dayCount = int(out.days.size());

    const QDateTime begin = filter.from.startOfDay();
    const QDateTime end = filter.to.addDays(1).startOfDay();
    const auto read = [&](Connection& db, const QDateTime& from, const QDateTime& to, Part& into) {
        Query query(db, statement(filter));
        query.bindAll(rangeParameters(db.dialect(), filter, from, to));
        query.exec();
        RowReader rows(query);
        clearVectorUpperState();
        into.read(rows);
        query.sqlQuery().finish();
    };
    Part all;
    Part laterPart; // its orders stay there when appended to all
    if (orders.engine() != Engine::Sqlite || readers < 2) {
        read(orders, begin, end, all);
    } else {
        // The embedded file is read on two cores: a connection reads and gathers the later
        // half of the time on another thread while this thread does the first half, and the
        // later part is appended. Reading costs far more than what follows it, and halves of
        // the time were the most even split. Orders, names and scans are numbered and ordered
        // as from one statement, so every figure and every tie stays the same.
        const QDateTime middle = begin.addSecs(begin.secsTo(end) / 2);
        laterPart.keepKeys = true;
        // Both parts read through connections of their own, opened for this read and set up
        // for it; the caller's connection stays as it is. They leave the file's journal mode
        // alone: a file another program holds in rollback mode would cost each a wait.
        const auto readOwn = [&](const QDateTime& from, const QDateTime& to, Part& into) {
            Connection own;
            own.setConnectionString(orders.connectionString());
            own.setBaseFolder(orders.baseFolder());
            own.setReadsOnly(true);
            if (!own.open())
                throw Error(own.lastError());
            const QString setup = own.dialect().largeReadSetup();
            if (!setup.isEmpty())
                execute(own, setup);
            read(own, from, to, into);
        };
        inParallel([&] { readOwn(middle, end, laterPart); }, [&] { readOwn(begin, middle, all); });
        all.append(laterPart);
    }
    out.scans = all.rows;

    std::vector<int> waybillOrders; // each waybill's first order
    {
        const std::vector<int> waybillOf = numberEqual(all.allWaybills(), waybillOrders);
        for (int i = 0; i < all.orderCount(); ++i)
            all.order(i).waybill = waybillOf[size_t(i)];
    }
    const size_t waybillCount = waybillOrders.size();

    // The operators' figures on this thread, the orders' on another: they share only what
    // is read.
    const auto operatorFigures = [&] {
        const qint64 firstDay = filter.from.toJulianDay();
        DistinctCounter userOrders(size_t(all.orderCount())), userParcels(waybillCount),
            userDayParcels(waybillCount), hourParcels(waybillCount);
        for (size_t u = 0; u < all.scans.size(); ++u) {
            std::vector<Scan>& list = all.scans[u];
            OperatorFigures f;
            f.name = all.users.text(int(u));
            // Each order's weight and postage once per operator, added in row order.
            for (Scan& s : list) {
                const OrderRow& o = all.order(s.item);
                if (userOrders.add(int(u), s.item)) {
                    f.weightGrams += o.weight2;
                    f.postage += o.postFee2;
                }
                s.item = o.waybill;
            }
            f.orders = userOrders.countOf(int(u));
            // The rows came in time order: most lists are sorted already.
            if (!std::is_sorted(list.begin(), list.end()))
                std::sort(list.begin(), list.end());
            // The orders of one waybill scanned together are one scan.
            list.erase(std::unique(list.begin(), list.end()), list.end());
            f.parcelsPerDay.fill(0, dayCount);
            GapMedian gaps;
            qint64 dayStart = 0;
            for (size_t i = 0; i < list.size(); ++i) {
                const Scan& s = list[i];
                const qint64 day = s.seconds / SecondsPerDay;
                const int dayIndex = int(day - firstDay);
                userParcels.add(int(u), s.item);
                if (dayIndex >= 0 && dayIndex < dayCount &&
                    userDayParcels.add(int(u) * dayCount + dayIndex, s.item))
                    ++f.parcelsPerDay[dayIndex];
                const int hour = int(s.seconds % SecondsPerDay / 3600);
                if (hourParcels.add(hour, s.item))
                    ++out.parcelsPerHour[size_t(hour)];
                if (i > 0 && list[i - 1].seconds / SecondsPerDay == day)
                    gaps.add(s.seconds - list[i - 1].seconds);
                else
                    dayStart = s.seconds;
                // The last scan of a day closes the day's span.
                if (i + 1 == list.size() || list[i + 1].seconds / SecondsPerDay != day)
                    f.workSeconds += s.seconds - dayStart;
            }
            f.parcels = userParcels.countOf(int(u));
            f.parcelsPerHour = f.workSeconds > 0 ? f.parcels * 3600.0 / double(f.workSeconds) : 0;
            f.medianGapSeconds = gaps.median();
            out.operators.append(f);
        }
        std::stable_sort(out.operators.begin(), out.operators.end(),
                         [](const OperatorFigures& a, const OperatorFigures& b) {
                             return a.parcels != b.parcels ? a.parcels > b.parcels
                                                           : a.name < b.name;
                         });
    };
    const auto orderFigures = [&] {
        // Per method and province every order counts once, whoever scanned it.
        DistinctCounter methodParcels(waybillCount), provinceParcels(waybillCount);
        std::vector<MethodFigures> byMethod(size_t(all.methods.size()));
        std::vector<ProvinceFigures> byProvince(size_t(all.provinces.size()));
        struct Parcel {
            qint64 goods = 0;
            qint64 weight = 0;
            bool goodsKnown = true;
        };
        std::vector<Parcel> parcels(waybillCount);
        for (int i = 0; i < all.orderCount(); ++i) {
            const OrderRow& o = all.order(i);
            if (o.copy)
                continue;
            MethodFigures& m = byMethod[size_t(o.method)];
            if (methodParcels.add(o.method, o.waybill))
                ++m.parcels;
            m.weightGrams += o.weight2;
            m.postage += o.postFee2;
            ProvinceFigures& p = byProvince[size_t(o.province)];
            if (provinceParcels.add(o.province, o.waybill))
                ++p.parcels;
            p.postage += o.postFee2;
            Parcel& parcel = parcels[size_t(o.waybill)];
            parcel.goods += o.weight;
            parcel.weight += o.weight2;
            parcel.goodsKnown = parcel.goodsKnown && o.weight > 0;
        }
        for (size_t i = 0; i < byMethod.size(); ++i) {
            MethodFigures& m = byMethod[i];
            m.name = all.methods.text(int(i));
            m.averagePostage = m.parcels > 0 ? m.postage / m.parcels : 0;
            out.methods.append(m);
        }
        std::stable_sort(out.methods.begin(), out.methods.end(),
                         [](const MethodFigures& a, const MethodFigures& b) {
                             return a.parcels != b.parcels ? a.parcels > b.parcels
                                                           : a.name < b.name;
                         });

        for (size_t i = 0; i < byProvince.size(); ++i)
            byProvince[i].name = all.provinces.text(int(i));
        std::stable_sort(byProvince.begin(), byProvince.end(),
                         [](const ProvinceFigures& a, const ProvinceFigures& b) {
                             return a.parcels != b.parcels ? a.parcels > b.parcels
                                                           : a.name < b.name;
                         });
        ProvinceFigures rest;
        rest.name = QStringLiteral("其他");
        for (size_t i = 0; i < byProvince.size(); ++i) {
            if (i < size_t(TopProvinces)) {
                out.provinces.append(byProvince[i]);
            } else {
                rest.parcels += byProvince[i].parcels;
                rest.postage += byProvince[i].postage;
            }
        }
        if (byProvince.size() > size_t(TopProvinces))
            out.provinces.append(rest);

        // The listed parcels are made in the order of their waybills, which reads the texts in
        // order, then sorted.
        for (size_t w = 0; w < parcels.size(); ++w) {
            const Parcel& p = parcels[w];
            if (!p.goodsKnown || p.goods <= 0)
                continue;
            const qint64 difference = p.weight - p.goods;
            if (std::abs(difference) * WeightDifferenceDivisor <= p.goods)
                continue;
            out.weightDifferences.append({all.allWaybills().text(waybillOrders[w]), p.goods,
                                          p.weight, difference,
                                          double(difference) / double(p.goods)});
        }
        std::stable_sort(out.weightDifferences.begin(), out.weightDifferences.end(),
                         [](const WeightDifference& a, const WeightDifference& b) {
                             return std::abs(a.share) > std::abs(b.share);
                         });
    };
    inParallel(orderFigures, operatorFigures);
    return out;
}

QString Stats::kilograms(qint64 grams) {
    return QString::number(double(grams) / 1000.0, 'f', 3);
}

QString Stats::money(double yuan) {
    return QString::number(yuan + 0.0, 'f', 2);
}

QString Stats::duration(qint64 seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString Stats::displayName(const QString& s) {
    return s.isEmpty() ? noneText() : s;
}

void Stats::writeWorkbook(const StatsFigures& f, WorkbookWriter& book) {
    bool first = true;
    const auto sheet = [&](const QString& name, const QStringList& header) {
        if (!first)
            book.addSheet();
        first = false;
        book.setSheetName(name);
        for (int c = 0; c < header.size(); ++c)
            book.setText(1, c + 1, header[c]);
    };
    const auto kg = [](qint64 grams) {
        return double(grams) / 1000.0;
    };

    sheet(QStringLiteral("操作员"),
          {QStringLiteral("发货员"), QStringLiteral("包裹数"), QStringLiteral("订单数"),
           QStringLiteral("包裹重量(千克)"), QStringLiteral("邮资(元)"),
           QStringLiteral("工作时长(小时)"), QStringLiteral("每小时包裹"),
           QStringLiteral("扫描间隔中位数(秒)")});
    int row = 2;
    for (const OperatorFigures& o : f.operators) {
        book.setText(row, 1, displayName(o.name));
        book.setNumber(row, 2, o.parcels, 0);
        book.setNumber(row, 3, o.orders, 0);
        book.setNumber(row, 4, kg(o.weightGrams), 3);
        book.setNumber(row, 5, o.postage, 2);
        book.setNumber(row, 6, double(o.workSeconds) / 3600.0, 2);
        book.setNumber(row, 7, o.parcelsPerHour, 1);
        if (o.medianGapSeconds >= 0)
            book.setNumber(row, 8, o.medianGapSeconds);
        ++row;
    }
    book.fitColumns();

    QStringList dayHeader{QStringLiteral("发货员")};
    for (const QDate& d : f.days)
        dayHeader.append(d.toString(QStringLiteral("yyyy-MM-dd")));
    sheet(QStringLiteral("每日包裹"), dayHeader);
    row = 2;
    for (const OperatorFigures& o : f.operators) {
        book.setText(row, 1, displayName(o.name));
        for (int d = 0; d < o.parcelsPerDay.size() && d + 2 <= 256; ++d)
            book.setNumber(row, d + 2, o.parcelsPerDay[d], 0);
        ++row;
    }
    book.fitColumns();

    sheet(QStringLiteral("物流方式"),
          {QStringLiteral("物流方式"), QStringLiteral("包裹数"), QStringLiteral("包裹重量(千克)"),
           QStringLiteral("邮资(元)"), QStringLiteral("平均邮资(元)")});
    row = 2;
    for (const MethodFigures& m : f.methods) {
        book.setText(row, 1, displayName(m.name));
        book.setNumber(row, 2, m.parcels, 0);
        book.setNumber(row, 3, kg(m.weightGrams), 3);
        book.setNumber(row, 4, m.postage, 2);
        book.setNumber(row, 5, m.averagePostage, 2);
        ++row;
    }
    book.fitColumns();

    sheet(QStringLiteral("省份"),
          {QStringLiteral("省"), QStringLiteral("包裹数"), QStringLiteral("邮资(元)")});
    row = 2;
    for (const ProvinceFigures& p : f.provinces) {
        book.setText(row, 1, displayName(p.name));
        book.setNumber(row, 2, p.parcels, 0);
        book.setNumber(row, 3, p.postage, 2);
        ++row;
    }
    book.fitColumns();

    sheet(QStringLiteral("重量差异"), {QStringLiteral("快递单号"), QStringLiteral("商品重量(千克)"),
                                       QStringLiteral("包裹重量(千克)"),
                                       QStringLiteral("重量差(千克)"), QStringLiteral("差异比例")});
    row = 2;
    for (const WeightDifference& w : f.weightDifferences) {
        if (row > 65536)
            break;
        book.setText(row, 1, w.waybill);
        book.setNumber(row, 2, kg(w.goodsGrams), 3);
        book.setNumber(row, 3, kg(w.parcelGrams), 3);
        book.setNumber(row, 4, kg(w.differenceGrams), 3);
        book.setNumber(row, 5, w.share, 2);
        ++row;
    }
    book.fitColumns();

    sheet(QStringLiteral("时段"), {QStringLiteral("小时"), QStringLiteral("包裹数")});
    for (int h = 0; h < 24; ++h) {
        book.setNumber(h + 2, 1, h, 0);
        book.setNumber(h + 2, 2, f.parcelsPerHour[size_t(h)], 0);
    }
    book.fitColumns();
}

} // namespace tv
