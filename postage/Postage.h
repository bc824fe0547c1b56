#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tv {

class Connection;

// The four numbers of one rule row that price a parcel.
struct PostageRule {
    qint32 beginChargeWeight = 0; // grams covered by the first-weight fee
    double beginChargeFee = 0;    // yuan
    qint32 detaWeight = 0;        // grams of one additional step
    double detaFee = 0;           // yuan per started step
};

// The first rule row of the method whose province begins with the given text and whose
// interval (StartWeight, EndWeight] holds the weight; none when no row matches.
std::optional<PostageRule> FindPostageRule(Connection& config, const QString& method,
                                           const QString& province, qint32 weightGrams);

// The postage of a weight under one row. Throws tv::Error when the row has no additional step
// (DetaWeight 0) and the weight lies above its first weight.
double postageForRule(const PostageRule& rule, qint32 weightGrams, const QString& method = {},
                      const QString& province = {});

// The parcel's postage in yuan from the rule table; 0 when no row matches. Throws tv::Error.
double ComputePostage(Connection& config, const QString& method, const QString& province,
                      qint32 weightGrams);

} // namespace tv
