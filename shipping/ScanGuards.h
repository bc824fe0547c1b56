#pragma once

#include "config/ConfigDb.h"
#include "scale/ScaleSteadiness.h"

#include <QDateTime>
#include <QString>

namespace tv {

// The scale as the scan sees it: the reader's last reading, asked once when the scan starts.
class WeightSource {
public:
    virtual ~WeightSource() = default;
    virtual ScaleReading lastReading() const = 0;
};

// What the stable-weight check makes of a reading.
enum class ReadingVerdict {
    Take,      // stable and fresh: its grams are the parcel weight
    Unsteady,  // fresh but still moving
    NoReading, // none, or older than kMaxReadingAgeMs
    NotWeight, // a warning rather than a weight: the weight field's text decides
};

// The oldest a reading may be and still weigh the parcel in hand.
inline constexpr qint64 kMaxReadingAgeMs = 2000;

ReadingVerdict judgeReading(const ScaleReading& reading);

// True when a parcel differs from its goods by more than a limit that is set; goods of unknown
// weight (0 or less) are never over.
bool overWeightLimit(const ScanCheck& check, qint32 goodsGrams, qint64 differenceGrams);

// A waybill's order as it stands, whatever its state, with its latest closing.
struct WaybillOrderState {
    QString tradeStatus;
    bool packedOut = false;
    QDateTime closedAt; // invalid without a "完成关闭" log row
    QString closedBy;
};

// Why the scan found nothing to handle in this order: the line under the refusal, or empty
// text when the order would have been handled.
QString refusalReason(const WaybillOrderState& order, bool packOutMode);

} // namespace tv
