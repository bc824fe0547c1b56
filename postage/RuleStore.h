#pragma once

#include "platform/Database.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tv {

// One editor row as handed to SaveRule: six texts, weights in grams, fees in yuan.
struct RuleInterval {
    QString StartWeight;
    QString EndWeight;
    QString BeginChargeWeight;
    QString BeginChargeFee;
    QString DetaWeight;
    QString DetaFee;
};

// One row of the rule table as the list reads it.
struct RuleRow {
    QString Express;
    QString Province;
    QString RuleIndex;
    qint32 StartWeight = 0;
    qint32 EndWeight = 0;
    qint32 BeginChargeWeight = 0;
    double BeginChargeFee = 0;
    qint32 DetaWeight = 0;
    double DetaFee = 0;
};

// One line of the rules list: the rows of one stamp.
struct RuleLine {
    QString method;
    // Each province once per run of equal rows, each followed by ";".
    QString provinces;
    qint32 largestEnd = 0;
};

// The rule editor's content as plain values.
struct RuleDraft {
    QString method;
    // The province text the editor shows; a save needs it non-empty.
    QString provinceText;
    // The checked provinces: these, not the text, are what a save writes.
    QStringList provinces;
    // The editor's rows from the first; the start weight follows the row above in the editor.
    QList<RuleInterval> rows;
};

// The clock behind the stamps; tests set a fixed one, an empty function restores the system's.
using RuleClock = std::function<QDateTime()>;
void setRuleClock(RuleClock clock);

// A stamp "yyyy-mm-dd-hh-mm-ss" of the given local time; text order is time order.
QString MakeRuleIndex(const QDateTime& when);
// The stamp of now, by the rule clock.
QString MakeRuleIndex();

// Whole grams: one to six digits.
bool isRuleWeightText(const QString& text);
// Yuan: digits with at most one "." and at least one digit.
bool isRuleFeeText(const QString& text);
// Every text of the interval is one its column takes.
bool isValidInterval(const RuleInterval& interval);

// The editor's rows from the first one up to, not including, the first row with an empty
// field (the start weight is not a field: it follows the row above).
QList<RuleInterval> completeIntervals(const QList<RuleInterval>& rows);

// The list's lines from the rows in the order ListRuleRows gives: one per stamp, named by the
// method of its last row.
QList<RuleLine> GroupRuleLines(const QList<RuleRow>& rows);

// The draft of the rule holding the pair: the pair's first nine rows by growing StartWeight,
// and the provinces of the rule its first row belongs to. A pair without rows gives the method
// alone.
RuleDraft LoadRuleDraft(Connection& config, const QString& method, const QString& province);
// Saves a draft through SaveRule: its complete rows for its checked provinces. Returns false and
// writes nothing when the method, the province text or a field of the first row is empty, or
// SaveRule refuses.
bool SaveRuleDraft(Connection& config, const RuleDraft& draft);

// Writes one rule: for each province, the rows of (method, province) are replaced by the
// intervals, all under one new stamp. Returns false and writes nothing when there is no
// province or no interval, or an interval fails the check. A database failure throws
// tv::Error and leaves the table as it was: the whole save is one transaction.
bool SaveRule(Connection& config, const QString& method, const QStringList& provinces,
              const QList<RuleInterval>& intervals);

// The statements on the rule table.
void DeletePairRows(Connection& config, const QString& method, const QString& province);
void AppendIntervalRows(Connection& config, const QString& method, const QString& province,
                        const QString& stamp, const QList<RuleInterval>& intervals);
// Every row, by stamp, method, province and growing EndWeight.
QList<RuleRow> ListRuleRows(Connection& config);
// The stamp of the pair's first row; empty when the pair has no row.
QString FindRuleIndex(Connection& config, const QString& method, const QString& province);
// Removes every row of the rule; an empty stamp removes nothing.
void DeleteRule(Connection& config, const QString& stamp);
// The pair's rows by growing StartWeight.
QList<Record> LoadPairIntervals(Connection& config, const QString& method, const QString& province);
// The rule's rows by method and province.
QList<Record> LoadRuleRows(Connection& config, const QString& stamp);

} // namespace tv
