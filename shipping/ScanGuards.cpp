#include "shipping/ScanGuards.h"

#include <cstdlib>

namespace tv {

ReadingVerdict judgeReading(const ScaleReading& r) {
    if (!r.present || r.ageMs < 0 || r.ageMs > kMaxReadingAgeMs)
        return ReadingVerdict::NoReading;
    if (!r.hasWeight)
        return ReadingVerdict::NotWeight;
    return r.stable ? ReadingVerdict::Take : ReadingVerdict::Unsteady;
}

bool overWeightLimit(const ScanCheck& check, qint32 goodsGrams, qint64 differenceGrams) {
    if (goodsGrams <= 0)
        return false;
    const qint64 off = std::llabs(differenceGrams);
    if (check.maxDiffGrams > 0 && off > check.maxDiffGrams)
        return true;
    // In whole numbers: off / goods > percent / 100.
    return check.maxDiffPercent > 0 && off * 100 > qint64(check.maxDiffPercent) * goodsGrams;
}

QString refusalReason(const WaybillOrderState& order, bool packOutMode) {
    if (order.tradeStatus == QStringLiteral("交易完成")) {
        if (!order.closedAt.isValid())
            return QStringLiteral("已完成");
        return QStringLiteral("已于 %1 %2 由 %3 完成关闭")
            .arg(order.closedAt.toString(QStringLiteral("yyyy-MM-dd")),
                 order.closedAt.toString(QStringLiteral("hh:mm:ss")), order.closedBy);
    }
    if (order.tradeStatus != QStringLiteral("收款发货"))
        return QStringLiteral("订单状态为") + order.tradeStatus;
    if (!packOutMode && !order.packedOut)
        return QStringLiteral("订单尚未打包出库，请勾选替换打包出库");
    if (packOutMode && order.packedOut)
        return QStringLiteral("订单已打包出库");
    return QString();
}

} // namespace tv
