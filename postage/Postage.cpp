#include "postage/Postage.h"

#include "platform/Database.h"
#include "platform/Error.h"

namespace tv {

std::optional<PostageRule> FindPostageRule(Connection& config, const QString& method,
                                           const QString& province, qint32 weightGrams) {
    const Dialect& d = config.dialect();
    const QString sql = d.selectFirst(
        QStringLiteral("[BeginChargeWeight], [BeginChargeFee], [DetaWeight], [DetaFee]"),
        QStringLiteral("[rule] where [Express] = ? and ") +
            d.prefixLike(QStringLiteral("[Province]")) +
            QStringLiteral(" and [StartWeight] < ? and [EndWeight] >= ?"));
    const QList<Record> rows =
        selectRows(config, sql, {method, Dialect::likePrefix(province), weightGrams, weightGrams});
    if (rows.isEmpty())
        return std::nullopt;
    const Record& r = rows.first();
    return PostageRule{
        r.integer(QStringLiteral("BeginChargeWeight")), r.number(QStringLiteral("BeginChargeFee")),
        r.integer(QStringLiteral("DetaWeight")), r.number(QStringLiteral("DetaFee"))};
}

double postageForRule(const PostageRule& rule, qint32 weightGrams, const QString& method,
                      const QString& province) {
    if (weightGrams > 0 && weightGrams <= rule.beginChargeWeight)
        return rule.beginChargeFee;
    if (rule.detaWeight == 0) {
        if (weightGrams <= rule.beginChargeWeight)
            return rule.beginChargeFee;
        throw Error(QStringLiteral("The postage rule of \"%1\" for \"%2\" has an additional "
                                   "weight of 0 g and cannot price %3 g above its first "
                                   "weight of %4 g.")
                        .arg(method, province)
                        .arg(weightGrams)
                        .arg(rule.beginChargeWeight));
    }
    // Whole-gram steps, a started step counting whole; 64 bits so that extreme stored bounds
    // cannot overflow (for every 32-bit result the quotient is the same).
    const qint64 excess = qint64(weightGrams) - rule.beginChargeWeight;
    qint64 steps = excess / rule.detaWeight;
    if (excess % rule.detaWeight > 0)
        ++steps;
    return rule.beginChargeFee + double(steps) * rule.detaFee;
}

double ComputePostage(Connection& config, const QString& method, const QString& province,
                      qint32 weightGrams) {
    const std::optional<PostageRule> rule = FindPostageRule(config, method, province, weightGrams);
    if (!rule)
        return 0;
    return postageForRule(*rule, weightGrams, method, province);
}

} // namespace tv
