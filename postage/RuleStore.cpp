#include "postage/RuleStore.h"

#include "platform/Error.h"

#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tv {

namespace {

const QString kStampFormat = QStringLiteral("yyyy-MM-dd-hh-mm-ss");
const QString kRuleColumns =
    QStringLiteral("[Express], [Province], [RuleIndex], [StartWeight], [EndWeight], "
                   "[BeginChargeWeight], [BeginChargeFee], [DetaWeight], [DetaFee]");

RuleClock& ruleClock() {
    static RuleClock clock;
    return clock;
}

QDateTime now() {
    const RuleClock& clock = ruleClock();
    return clock ? clock() : QDateTime::currentDateTime();
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

qint32 weightValue(const QString& text, const char* column) {
    if (!isRuleWeightText(text))
        throw Error(QStringLiteral("\"%1\" is not a valid value for the column \"%2\".")
                        .arg(text, QLatin1String(column)));
    return text.toInt();
}

double feeValue(const QString& text, const char* column) {
    if (!isRuleFeeText(text))
        throw Error(QStringLiteral("\"%1\" is not a valid value for the column \"%2\".")
                        .arg(text, QLatin1String(column)));
    return text.toDouble();
}

// A whole-gram column as a 32-bit number, converted as Record::integer converts it.
qint32 wholeOf(const QVariant& v, const char* column) {
    const double d = std::round(Record::numberOf(v, QLatin1String(column)));
    if (!std::isfinite(d) || d < std::numeric_limits<qint32>::min() ||
        d > std::numeric_limits<qint32>::max())
        throw Error(QStringLiteral("The value \"%1\" of the column \"%2\" is not a whole number.")
                        .arg(v.toString(), QLatin1String(column)));
    return qint32(d);
}

bool stampInUse(Connection& config, const QString& stamp) {
    return !selectRows(config,
                       config.dialect().selectFirst(QStringLiteral("[RuleIndex]"),
                                                    QStringLiteral("[rule] where [RuleIndex] = ?")),
                       {stamp})
                .isEmpty();
}

// The stamp of now, or the first later second no rule uses yet: two saves in one second
// would otherwise read as one rule. Seconds are counted on the wall-clock text itself, so the
// stamps keep growing even across a change of daylight saving time.
QString freeStamp(Connection& config) {
    const QDateTime local = now();
    QDateTime wall(local.date(), local.time(), QTimeZone::utc());
    QString stamp = MakeRuleIndex(wall);
    while (stampInUse(config, stamp)) {
        wall = wall.addSecs(1);
        stamp = MakeRuleIndex(wall);
    }
    return stamp;
}

} // namespace

void setRuleClock(RuleClock clock) {
    ruleClock() = std::move(clock);
}

QString MakeRuleIndex(const QDateTime& when) {
    return when.toString(kStampFormat);
}

QString MakeRuleIndex() {
    return MakeRuleIndex(now());
}

bool isRuleWeightText(const QString& text) {
    if (text.isEmpty() || text.size() > 6)
        return false;
    for (QChar c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

bool isRuleFeeText(const QString& text) {
    int digits = 0;
    int points = 0;
    for (QChar c : text) {
        if (isAsciiDigit(c))
            ++digits;
        else if (c == u'.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

bool isValidInterval(const RuleInterval& i) {
    return isRuleWeightText(i.StartWeight) && isRuleWeightText(i.EndWeight) &&
           isRuleWeightText(i.BeginChargeWeight) && isRuleFeeText(i.BeginChargeFee) &&
           isRuleWeightText(i.DetaWeight) && isRuleFeeText(i.DetaFee);
}

QList<RuleInterval> completeIntervals(const QList<RuleInterval>& rows) {
    QList<RuleInterval> out;
    for (const RuleInterval& r : rows) {
        if (r.EndWeight.isEmpty() || r.BeginChargeWeight.isEmpty() || r.BeginChargeFee.isEmpty() ||
            r.DetaWeight.isEmpty() || r.DetaFee.isEmpty())
            break;
        out.append(r);
    }
    return out;
}

bool SaveRule(Connection& config, const QString& method, const QStringList& provinces,
              const QList<RuleInterval>& intervals) {
    // Everything is checked before the first delete, so a refused save loses no old rule.
    if (provinces.isEmpty() || intervals.isEmpty())
        return false;
    for (const RuleInterval& i : intervals) {
        if (!isValidInterval(i))
            return false;
    }
    Transaction transaction(config);
    const QString stamp = freeStamp(config);
    for (const QString& province : provinces) {
        DeletePairRows(config, method, province);
        AppendIntervalRows(config, method, province, stamp, intervals);
    }
    transaction.commit();
    return true;
}

void DeletePairRows(Connection& config, const QString& method, const QString& province) {
    execute(config, QStringLiteral("delete from [rule] where [Express] = ? and [Province] = ?"),
            {method, province});
}

void AppendIntervalRows(Connection& config, const QString& method, const QString& province,
                        const QString& stamp, const QList<RuleInterval>& intervals) {
    for (const RuleInterval& i : intervals) {
        insertRow(config, QStringLiteral("rule"),
                  {{QStringLiteral("Express"), method},
                   {QStringLiteral("Province"), province},
                   {QStringLiteral("RuleIndex"), stamp},
                   {QStringLiteral("StartWeight"), weightValue(i.StartWeight, "StartWeight")},
                   {QStringLiteral("EndWeight"), weightValue(i.EndWeight, "EndWeight")},
                   {QStringLiteral("BeginChargeWeight"),
                    weightValue(i.BeginChargeWeight, "BeginChargeWeight")},
                   {QStringLiteral("BeginChargeFee"), feeValue(i.BeginChargeFee, "BeginChargeFee")},
                   {QStringLiteral("DetaWeight"), weightValue(i.DetaWeight, "DetaWeight")},
                   {QStringLiteral("DetaFee"), feeValue(i.DetaFee, "DetaFee")}});
    }
}

QList<RuleRow> ListRuleRows(Connection& config) {
    // Read by column position into plain rows: the list reads every row of the table, and a
    // record with its field descriptions per row would cost several times the read itself.
    Query q(config, QStringLiteral("select ") + kRuleColumns +
                        QStringLiteral(" from [rule] order by [RuleIndex], [Express], "
                                       "[Province], [EndWeight]"));
    q.exec();
    QList<RuleRow> rows;
    QSqlQuery& sql = q.sqlQuery();
    while (q.next()) {
        RuleRow r;
        r.Express = Record::textOf(sql.value(0));
        r.Province = Record::textOf(sql.value(1));
        r.RuleIndex = Record::textOf(sql.value(2));
        r.StartWeight = wholeOf(sql.value(3), "StartWeight");
        r.EndWeight = wholeOf(sql.value(4), "EndWeight");
        r.BeginChargeWeight = wholeOf(sql.value(5), "BeginChargeWeight");
        r.BeginChargeFee = Record::numberOf(sql.value(6), QStringLiteral("BeginChargeFee"));
        r.DetaWeight = wholeOf(sql.value(7), "DetaWeight");
        r.DetaFee = Record::numberOf(sql.value(8), QStringLiteral("DetaFee"));
        rows.append(std::move(r));
    }
    sql.finish();
    return rows;
}

QString FindRuleIndex(Connection& config, const QString& method, const QString& province) {
    const QList<Record> rows =
        selectRows(config,
                   config.dialect().selectFirst(
                       QStringLiteral("[RuleIndex]"),
                       QStringLiteral("[rule] where [Express] = ? and [Province] = ?")),
                   {method, province});
    return rows.isEmpty() ? QString() : rows.first().text(QStringLiteral("RuleIndex"));
}

void DeleteRule(Connection& config, const QString& stamp) {
    if (stamp.isEmpty())
        return;
    execute(config, QStringLiteral("delete from [rule] where [RuleIndex] = ?"), {stamp});
}

QList<Record> LoadPairIntervals(Connection& config, const QString& method,
                                const QString& province) {
    return selectRows(config,
                      QStringLiteral("select ") + kRuleColumns +
                          QStringLiteral(" from [rule] where [Express] = ? and [Province] = ? "
                                         "order by [StartWeight]"),
                      {method, province});
}

QList<Record> LoadRuleRows(Connection& config, const QString& stamp) {
    if (stamp.isEmpty())
        return {};
    return selectRows(config,
                      QStringLiteral("select ") + kRuleColumns +
                          QStringLiteral(" from [rule] where [RuleIndex] = ? "
                                         "order by [Express], [Province]"),
                      {stamp});
}

QList<RuleLine> GroupRuleLines(const QList<RuleRow>& rows) {
    QList<RuleLine> lines;
    QString stamp;
    QString lastProvince;
    for (const RuleRow& row : rows) {
        // Rows without a stamp sort first and join the line of the first stamped rule.
        if (lines.isEmpty() || (!stamp.isEmpty() && stamp != row.RuleIndex)) {
            lines.append(RuleLine());
            lastProvince.clear();
        }
        RuleLine& line = lines.last();
        stamp = row.RuleIndex;
        line.method = row.Express;
        if (row.Province != lastProvince)
            line.provinces += row.Province + u';';
        lastProvince = row.Province;
        line.largestEnd = std::max(line.largestEnd, row.EndWeight);
    }
    return lines;
}

RuleDraft LoadRuleDraft(Connection& config, const QString& method, const QString& province) {
    RuleDraft draft;
    draft.method = method;
    const QList<Record> intervals = LoadPairIntervals(config, method, province);
    // A pair holds at most nine rows when this program wrote it; further rows from an outside
    // change are not shown, and a save replaces the whole pair.
    for (qsizetype k = 0; k < std::min<qsizetype>(intervals.size(), 9); ++k) {
        const Record& r = intervals[k];
        draft.rows.append(
            {r.text(QStringLiteral("StartWeight")), r.text(QStringLiteral("EndWeight")),
             r.text(QStringLiteral("BeginChargeWeight")), r.text(QStringLiteral("BeginChargeFee")),
             r.text(QStringLiteral("DetaWeight")), r.text(QStringLiteral("DetaFee"))});
    }
    const QString stamp =
        intervals.isEmpty() ? QString() : intervals.first().text(QStringLiteral("RuleIndex"));
    QString previous;
    for (const Record& r : LoadRuleRows(config, stamp)) {
        const QString p = r.text(QStringLiteral("Province"));
        if (p == previous)
            continue;
        previous = p;
        draft.provinceText += p + u';';
        draft.provinces.append(p);
    }
    return draft;
}

bool SaveRuleDraft(Connection& config, const RuleDraft& draft) {
    if (draft.method.isEmpty() || draft.provinceText.isEmpty() || draft.rows.isEmpty())
        return false;
    const RuleInterval& first = draft.rows.first();
    if (first.EndWeight.isEmpty() || first.BeginChargeWeight.isEmpty() ||
        first.BeginChargeFee.isEmpty() || first.DetaWeight.isEmpty() || first.DetaFee.isEmpty())
        return false;
    return SaveRule(config, draft.method, draft.provinces, completeIntervals(draft.rows));
}

} // namespace tv
