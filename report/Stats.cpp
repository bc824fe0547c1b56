#include "report/Stats.h"

#include "platform/Error.h"
#include "platform/RowReader.h"
#include "xls/Workbook.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
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
        if (lastDay < 0 || std::memcmp(lastDate, t.data(), sizeof lastDate) != 0) {
            const QDate day(number(0, 4), number(5, 2), number(8, 2));
            if (!day.isValid())
                return -1;
            std::memcpy(lastDate, t.data(), sizeof lastDate);
            lastDay = day.toJulianDay();
        }
        return lastDay * SecondsPerDay + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
    }
};

// Eight bytes at a time, each word mixed in by a multiply, with a final mix so that every bit
// depends on every byte.
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
        quint64 w = 0;
        std::memcpy(&w, p, size_t(n));
        h = (h ^ w) * K;
        h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ULL;
    h ^= h >> 32;
    return h;
}

// Texts kept one after another in one buffer, each with its hash: no allocation per text.
class TextStore {
public:
    int append(QByteArrayView text, quint64 hash) {
        m_entries.push_back({hash, m_bytes.size(), size_t(text.size())});
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
    struct Entry {
        quint64 hash;
        size_t offset;
        size_t size;
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
            if (slot >> 32 == tag && m_texts.view(at) == text)
                return at;
        }
    }
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

// Texts kept one after the other and numbered afterwards: equal texts get one number, in
// order of first appearance. Grouping them by hash reads memory in order, where a table of a
// million waybills would miss the cache on almost every lookup.
class TextRun {
public:
    void reserve(size_t texts, size_t bytes) {
        m_ends.reserve(texts);
        m_bytes.reserve(bytes);
    }
    void append(QByteArrayView text) {
        m_bytes.append(text.data(), size_t(text.size()));
        m_ends.push_back(m_bytes.size());
    }
    // The number of each text appended; first receives, for each number, its first text.
    std::vector<int> number(std::vector<int>& first) const {
        const size_t n = m_ends.size();
        // The hashes in order: a counting pass over their top bits puts them in buckets of two
        // or so, each put in order in place. Equal hashes keep the order of their texts.
        const int bits = std::max(1, int(std::bit_width(n)) - 1);
        std::vector<quint32> start((size_t(1) << bits) + 1, 0);
        std::vector<quint64> hashes(n);
        for (size_t i = 0; i < n; ++i) {
            hashes[i] = hashOf(view(int(i)));
            ++start[size_t(hashes[i] >> (64 - bits)) + 1];
        }
        for (size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        std::vector<std::pair<quint64, int>> keys(n);
        {
            std::vector<quint32> fill(start.begin(), start.end() - 1);
            for (size_t i = 0; i < n; ++i)
                keys[fill[size_t(hashes[i] >> (64 - bits))]++] = {hashes[i], int(i)};
        }
        for (size_t b = 0; b + 1 < start.size(); ++b) {
            const auto from = keys.begin() + start[b];
            const auto to = keys.begin() + start[b + 1];
            for (auto k = from + 1; k < to; ++k)
                for (auto j = k; j > from && *j < *(j - 1); --j)
                    std::iter_swap(j, j - 1);
        }
        hashes = {};
        // Each text's first equal text; equal hashes are compared by their bytes.
        std::vector<int> same(n);
        for (size_t a = 0; a < n;) {
            size_t b = a + 1;
            while (b < n && keys[b].first == keys[a].first)
                ++b;
            for (size_t k = a; k < b; ++k) {
                const int i = keys[k].second;
                same[size_t(i)] = i;
                for (size_t j = a; j < k; ++j) {
                    if (view(keys[j].second) == view(i)) {
                        same[size_t(i)] = same[size_t(keys[j].second)];
                        break;
                    }
                }
            }
            a = b;
        }
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
    QString text(int index) const { return QString::fromUtf8(view(index)); }

private:
    QByteArrayView view(int index) const {
        const size_t from = index > 0 ? m_ends[size_t(index) - 1] : 0;
        return QByteArrayView(m_bytes.data() + from, qsizetype(m_ends[size_t(index)] - from));
    }

    std::vector<size_t> m_ends; // where each text ends in m_bytes
    std::string m_bytes;
};

// Counts distinct (group, item) pairs. Most items fall in one group only: an item's first
// group is kept beside it, and only pairs with another group are gathered and sorted.
class DistinctCounter {
public:
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

// The rows of a statement read on another thread and kept for the reading thread: the values
// the figures use, texts one after the other. Read as RowReader reads the statement.
class RowCopy {
public:
    void read(RowReader& rows) {
        while (rows.next()) {
            Row r;
            r.tradeId = rows.integer(TradeId, &r.numericId);
            r.weight = rows.integer(Weight);
            r.weight2 = rows.integer(Weight2);
            r.postFee2 = rows.real(PostFee2);
            m_rows.push_back(r);
            for (int c :
                 {int(TradeId), int(Time), int(User), int(PostId), int(SndStyle), int(Province)}) {
                if (c != TradeId || !r.numericId) {
                    const QByteArrayView t = rows.text(c);
                    m_bytes.append(t.data(), size_t(t.size()));
                }
                m_ends.push_back(m_bytes.size());
            }
        }
    }

    bool next() { return ++m_at < m_rows.size(); }
    qint64 integer(int column, bool* ok = nullptr) const {
        const Row& r = m_rows[m_at];
        if (column == TradeId) {
            if (ok)
                *ok = r.numericId;
            return r.tradeId;
        }
        return column == Weight ? r.weight : r.weight2;
    }
    double real(int) const { return m_rows[m_at].postFee2; }
    QByteArrayView text(int column) const {
        const size_t at = m_at * TextColumns + size_t(column);
        const size_t from = at > 0 ? m_ends[at - 1] : 0;
        return QByteArrayView(m_bytes.data() + from, qsizetype(m_ends[at] - from));
    }

private:
    static constexpr size_t TextColumns = 6; // TradeId to Province, in column order
    struct Row {
        qint64 tradeId;
        qint64 weight;
        qint64 weight2;
        double postFee2;
        bool numericId;
    };
    std::vector<Row> m_rows;
    std::vector<size_t> m_ends;
    std::string m_bytes;
    size_t m_at = size_t(-1);
};

struct OrderRow {
    int waybill;
    qint64 weight;
    qint64 weight2;
    double postFee2;
    int method;
    int province;
};

struct Scan {
    qint64 seconds;
    int waybill;
    bool operator<(const Scan& o) const {
        return seconds != o.seconds ? seconds < o.seconds : waybill < o.waybill;
    }
    bool operator==(const Scan& o) const { return seconds == o.seconds && waybill == o.waybill; }
};

double median(std::vector<qint64>& values) {
    if (values.empty())
        return -1;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + qsizetype(mid), values.end());
    const double upper = double(values[mid]);
    if (values.size() % 2 == 1)
        return upper;
    const qint64 lower = *std::max_element(values.begin(), values.begin() + qsizetype(mid));
    return (double(lower) + upper) / 2;
}

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

QVariantList Stats::parameters(const Dialect& dialect, const StatsFilter& filter) {
    // From the first day's midnight up to, not including, the midnight after the last day.
    QVariantList values = {QStringLiteral("完成关闭"), QStringLiteral("发货出库"),
                           dialect.dateParam(filter.from), dialect.dateParam(filter.to.addDays(1))};
    for (const QString* v : {&filter.shop, &filter.sndStyle})
        if (!v->isEmpty())
            values.append(*v);
    return values;
}

StatsFigures Stats::compute(Connection& orders, const StatsFilter& filter) {
    StatsFigures out;
    for (QDate d = filter.from; d <= filter.to; d = d.addDays(1))
        out.days.append(d);

    // Names and waybills are numbered by their bytes as the rows hand them out: a million
    // rows cost no text object each.
    TextIndex users, methods, provinces, textIds;
    TextRun postIds; // one per order, in order
    // Order IDs are mostly whole numbers close together: a table indexed by the ID finds them
    // without hashing; others go to the hash, and IDs that are not numbers to textOrders.
    std::vector<int> denseOrders;
    qint64 denseBase = -1;
    QHash<qint64, int> numericOrders;
    std::vector<int> textOrders; // by textIds index
    std::vector<OrderRow> orderRows;
    std::vector<std::vector<Scan>> scans; // per operator

    DistinctCounter userOrders;
    std::vector<qint64> userWeight;
    std::vector<double> userPostage;
    TimeParser times;
    const auto consume = [&](auto& rows) {
        while (rows.next()) {
            ++out.scans;
            bool numeric = false;
            const qint64 numericId = rows.integer(TradeId, &numeric);
            int* slot = nullptr;
            if (numeric && denseBase < 0)
                denseBase = numericId;
            const qint64 dense = numericId - denseBase;
            if (numeric && dense >= 0 && dense < qint64(DenseOrderSlots)) {
                if (size_t(dense) >= denseOrders.size())
                    denseOrders.resize(std::max(size_t(dense) + 1, denseOrders.size() * 2), -1);
                slot = &denseOrders[size_t(dense)];
            } else if (numeric) {
                slot = &*numericOrders.insert(numericId, numericOrders.value(numericId, -1));
            } else {
                const int t = textIds.indexOf(rows.text(TradeId));
                if (size_t(t) >= textOrders.size())
                    textOrders.resize(size_t(t) + 1, -1);
                slot = &textOrders[size_t(t)];
            }
            if (*slot < 0) {
                // An order's columns are read on its first row only.
                *slot = int(orderRows.size());
                postIds.append(rows.text(PostId));
                orderRows.push_back({-1, rows.integer(Weight), rows.integer(Weight2),
                                     rows.real(PostFee2), methods.indexOf(rows.text(SndStyle)),
                                     provinces.indexOf(rows.text(Province))});
            }
            const int order = *slot;
            const qint64 seconds = times.secondsOf(rows.text(Time));
            if (seconds < 0)
                continue;
            const int user = users.indexOf(rows.text(User));
            if (size_t(user) >= scans.size()) {
                scans.resize(size_t(user) + 1);
                userWeight.resize(size_t(user) + 1, 0);
                userPostage.resize(size_t(user) + 1, 0);
            }
            const OrderRow& o = orderRows[size_t(order)];
            // The order for now; its waybill once the waybills are numbered.
            scans[size_t(user)].push_back({seconds, order});
            if (userOrders.add(user, order)) {
                userWeight[size_t(user)] += o.weight2;
                userPostage[size_t(user)] += o.postFee2;
            }
        }
    };
    const auto read = [](Connection& db, const StatsFilter& part, auto&& use) {
        Query query(db, statement(part));
        query.bindAll(parameters(db.dialect(), part));
        query.exec();
        RowReader rows(query);
        use(rows);
        query.sqlQuery().finish();
    };

    const int dayCount = int(out.days.size());
    if (orders.engine() != Engine::Sqlite || dayCount < 2) {
        read(orders, filter, consume);
    } else {
        // The embedded file is read on two cores: a connection reads the later days on another
        // thread and keeps their rows, while this thread reads and counts the first days, then
        // counts the kept rows. Reading costs far more than counting: an even split of the
        // days was fastest. The rows come in the same order as from one statement, so every
        // figure and every tie stays the same.
        StatsFilter first = filter;
        first.to = filter.from.addDays((dayCount + 1) / 2 - 1);
        StatsFilter later = filter;
        later.from = first.to.addDays(1);
        RowCopy laterRows;
        std::exception_ptr failure;
        // Both parts read through connections of their own, opened for this read and set up
        // for it; the caller's connection stays as it is.
        const auto readOwn = [&](const StatsFilter& part, auto&& use) {
            Connection own;
            own.setConnectionString(orders.connectionString());
            own.setBaseFolder(orders.baseFolder());
            if (!own.open())
                throw Error(own.lastError());
            const QString setup = own.dialect().largeReadSetup();
            if (!setup.isEmpty())
                execute(own, setup);
            read(own, part, use);
        };
        std::thread reader([&] {
            try {
                readOwn(later, [&](RowReader& rows) { laterRows.read(rows); });
            } catch (...) {
                failure = std::current_exception();
            }
        });
        try {
            readOwn(first, consume);
        } catch (...) {
            reader.join();
            throw;
        }
        reader.join();
        if (failure)
            std::rethrow_exception(failure);
        consume(laterRows);
    }

    std::vector<int> waybillOrders; // each waybill's first order
    {
        const std::vector<int> waybillOf = postIds.number(waybillOrders);
        for (size_t i = 0; i < orderRows.size(); ++i)
            orderRows[i].waybill = waybillOf[i];
        for (std::vector<Scan>& list : scans)
            for (Scan& s : list)
                s.waybill = orderRows[size_t(s.waybill)].waybill;
    }

    const qint64 firstDay = filter.from.toJulianDay();
    DistinctCounter userParcels, userDayParcels, hourParcels;
    for (size_t u = 0; u < scans.size(); ++u) {
        std::vector<Scan>& list = scans[u];
        // The rows came in time order: most lists are sorted already.
        if (!std::is_sorted(list.begin(), list.end()))
            std::sort(list.begin(), list.end());
        // The orders of one waybill scanned together are one scan.
        list.erase(std::unique(list.begin(), list.end()), list.end());
        OperatorFigures f;
        f.name = users.text(int(u));
        f.parcelsPerDay.fill(0, dayCount);
        std::vector<qint64> gaps;
        qint64 dayStart = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            const Scan& s = list[i];
            const qint64 day = s.seconds / SecondsPerDay;
            const int dayIndex = int(day - firstDay);
            userParcels.add(int(u), s.waybill);
            if (dayIndex >= 0 && dayIndex < dayCount &&
                userDayParcels.add(int(u) * dayCount + dayIndex, s.waybill))
                ++f.parcelsPerDay[dayIndex];
            const int hour = int(s.seconds % SecondsPerDay / 3600);
            if (hourParcels.add(hour, s.waybill))
                ++out.parcelsPerHour[size_t(hour)];
            if (i > 0 && list[i - 1].seconds / SecondsPerDay == day)
                gaps.push_back(s.seconds - list[i - 1].seconds);
            else
                dayStart = s.seconds;
            // The last scan of a day closes the day's span.
            if (i + 1 == list.size() || list[i + 1].seconds / SecondsPerDay != day)
                f.workSeconds += s.seconds - dayStart;
        }
        f.parcels = userParcels.countOf(int(u));
        f.orders = userOrders.countOf(int(u));
        f.weightGrams = userWeight[u];
        f.postage = userPostage[u];
        f.parcelsPerHour = f.workSeconds > 0 ? f.parcels * 3600.0 / double(f.workSeconds) : 0;
        f.medianGapSeconds = median(gaps);
        out.operators.append(f);
    }
    std::stable_sort(out.operators.begin(), out.operators.end(),
                     [](const OperatorFigures& a, const OperatorFigures& b) {
                         return a.parcels != b.parcels ? a.parcels > b.parcels : a.name < b.name;
                     });

    // Per method and province every order counts once, whoever scanned it.
    DistinctCounter methodParcels, provinceParcels;
    std::vector<MethodFigures> byMethod(size_t(methods.size()));
    std::vector<ProvinceFigures> byProvince(size_t(provinces.size()));
    struct Parcel {
        qint64 goods = 0;
        qint64 weight = 0;
        bool goodsKnown = true;
    };
    std::vector<Parcel> parcels(waybillOrders.size());
    for (const OrderRow& o : orderRows) {
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
        m.name = methods.text(int(i));
        m.averagePostage = m.parcels > 0 ? m.postage / m.parcels : 0;
        out.methods.append(m);
    }
    std::stable_sort(out.methods.begin(), out.methods.end(),
                     [](const MethodFigures& a, const MethodFigures& b) {
                         return a.parcels != b.parcels ? a.parcels > b.parcels : a.name < b.name;
                     });

    for (size_t i = 0; i < byProvince.size(); ++i)
        byProvince[i].name = provinces.text(int(i));
    std::stable_sort(byProvince.begin(), byProvince.end(),
                     [](const ProvinceFigures& a, const ProvinceFigures& b) {
                         return a.parcels != b.parcels ? a.parcels > b.parcels : a.name < b.name;
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

    for (size_t w = 0; w < parcels.size(); ++w) {
        const Parcel& p = parcels[w];
        if (!p.goodsKnown || p.goods <= 0)
            continue;
        const qint64 difference = p.weight - p.goods;
        if (std::abs(difference) * WeightDifferenceDivisor <= p.goods)
            continue;
        out.weightDifferences.append({postIds.text(waybillOrders[w]), p.goods, p.weight, difference,
                                      double(difference) / p.goods});
    }
    std::stable_sort(out.weightDifferences.begin(), out.weightDifferences.end(),
                     [](const WeightDifference& a, const WeightDifference& b) {
                         return std::abs(a.share) > std::abs(b.share);
                     });
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
