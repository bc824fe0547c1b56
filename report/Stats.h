#pragma once

#include "platform/Database.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

namespace tv {

class WorkbookWriter;

// What the statistics tab asks for: scan days from and to (both included) and the optional
// shop and logistics method; an empty text means no filter.
struct StatsFilter {
    QDate from;
    QDate to;
    QString shop;
    QString sndStyle;
};

struct OperatorFigures {
    QString name;
    int parcels = 0; // distinct waybills
    int orders = 0;
    qint64 weightGrams = 0;
    double postage = 0;
    qint64 workSeconds = 0; // first to last scan of each day, summed
    double parcelsPerHour = 0;
    double medianGapSeconds = -1; // between two scans on one day; -1 with fewer than two
    QList<int> parcelsPerDay;     // one entry per day of StatsFigures::days
};

struct MethodFigures {
    QString name;
    int parcels = 0;
    qint64 weightGrams = 0;
    double postage = 0;
    double averagePostage = 0; // per parcel
};

struct ProvinceFigures {
    QString name;
    int parcels = 0;
    double postage = 0;
};

// A parcel whose weight differs from its goods' weight by more than a fifth.
struct WeightDifference {
    QString waybill;
    qint64 goodsGrams = 0;
    qint64 parcelGrams = 0;
    qint64 differenceGrams = 0; // parcel minus goods
    double share = 0;           // difference / goods
};

struct StatsFigures {
    QList<QDate> days; // every day of the range, in order
    QList<OperatorFigures> operators;
    QList<MethodFigures> methods;
    QList<ProvinceFigures> provinces; // the 15 with most parcels, then "其他" for the rest
    QList<WeightDifference> weightDifferences;
    std::array<int, 24> parcelsPerHour{};
    int scans = 0; // log rows read
};

// The owner's figures over the scans of a date range. A scan is an order's df_TradeLog row
// with event "完成关闭" or "发货出库" (its time and user); weight and postage are the order's
// weight2 and PostFee2, each order counted once per figure however often it was scanned.
class Stats {
public:
    static constexpr int TopProvinces = 15;
    // A parcel is listed when its weight differs from its goods' by more than a fifth.
    static constexpr qint64 WeightDifferenceDivisor = 5;

    // Reads every scan of the filter with one statement text. An embedded file is read by
    // two readers at once, each on a connection of its own with half of the time; readers = 1
    // reads everything on the given connection (the figures are the same). Throws tv::Error.
    static StatsFigures compute(Connection& orders, const StatsFilter& filter, int readers = 2);

    static QString statement(const StatsFilter& filter);
    static QVariantList parameters(const Dialect& dialect, const StatsFilter& filter);

    // Writes one sheet per table, header row first, numbers as numbers, widths fitted.
    static void writeWorkbook(const StatsFigures& figures, WorkbookWriter& workbook);

    // Texts as the tables show them.
    static QString kilograms(qint64 grams);       // "0.000"
    static QString money(double yuan);            // "0.00"
    static QString duration(qint64 seconds);      // "h:mm:ss"
    static QString displayName(const QString& s); // empty as "（无）"
};

} // namespace tv
