#include "shipping/Scan.h"

#include "platform/Database.h"
#include "postage/Postage.h"
#include "shipping/DecimalText.h"
#include "shipping/OrderDb.h"

#include <QSet>

namespace tv {

namespace {

const QString kSep = QStringLiteral(" : ");

// The trade numbers of sTradeNO in order; empty and blank pieces name no trade (SQL Server
// ignores trailing blanks, so " " would find the rows of the empty number there), and a number
// listed twice is looked up once (its first row has left state 1 after the first lookup).
QStringList tradeNumbers(const QString& sTradeNO) {
    QStringList out;
    QSet<QString> seen;
    for (const QString& t : sTradeNO.split(u',', Qt::SkipEmptyParts)) {
        if (t.trimmed().isEmpty())
            continue;
        if (!seen.contains(t)) {
            seen.insert(t);
            out.append(t);
        }
    }
    return out;
}

} // namespace

QString Scan::timeOfDay() {
    return m_sink.currentDateTime().time().toString(QStringLiteral("hh:mm:ss"));
}

void Scan::run(const ScanInput& in) {
    if (in.waybill.isEmpty()) {
        m_sink.reportScanResult(timeOfDay() + kSep + in.waybill + QStringLiteral(" : 请输入单号!"),
                                false);
        return;
    }
    if (in.weight.isEmpty()) {
        m_sink.reportScanResult(timeOfDay() + kSep + in.weight + QStringLiteral(" : 重量值错误!"),
                                false);
        return;
    }
    if (in.operatorName.isEmpty()) {
        m_sink.reportScanResult(
            timeOfDay() + kSep + in.operatorName + QStringLiteral(" : 请选择操作员!"), false);
        return;
    }
    qint32 parcelWeight = kilogramTextToGrams(in.weight);

    // Completing mode handles packed-out orders, pack-out mode the others.
    const bool packedOut = !in.packOutMode;
    OrderDb db(m_orders);
    const QList<ScanOrder> orders = db.selectScanOrders(in.waybill, packedOut);
    if (orders.isEmpty()) {
        m_sink.reportScanResult(
            timeOfDay() + kSep + in.waybill + QStringLiteral(" : 没有符合条件的记录!"), false);
        return;
    }
    m_sink.clearDetails();

    const QString changedLine = QStringLiteral(" : 订单状态已改变,未发货");
    // The first order takes the parcel's weight and postage; the others of the same parcel
    // are recorded with 0.
    bool parcelCharged = false;
    for (const ScanOrder& order : orders) {
        double postFee = 0;
        if (parcelCharged) {
            parcelWeight = 0;
        } else if (in.manualPostage) {
            postFee = decimalTextToDouble(in.postage);
            parcelCharged = true;
        } else {
            postFee = ComputePostage(m_config, order.sndStyle, order.province, parcelWeight);
            m_sink.showPostage(generalNumber(postFee));
            parcelCharged = true;
        }

        m_sink.addNote(QStringLiteral("客户备注：") + order.customerNeeds);
        m_sink.addNote(QStringLiteral("卖家备注：") + order.remark);

        const qint64 difference = qint64(parcelWeight) - order.weight;
        const QString weights = QStringLiteral(" : 商品:") + gramsAsKilograms(order.weight) +
                                QStringLiteral("kg，包裹:") + gramsAsKilograms(parcelWeight) +
                                QStringLiteral("kg，差:") + gramsAsKilograms(difference) +
                                QStringLiteral("kg");

        if (in.showSummary) {
            for (const GoodsLine& g : db.selectGoods(order.id))
                m_sink.addGoods(g.name, g.spec, g.count);
        }

        Assignments changes{{QStringLiteral("weight2"), parcelWeight},
                            {QStringLiteral("PostFee2"), postFee}};
        // Asked before any transaction begins, so that none waits on the packer. Every save
        // requires the state the selection saw: whatever changed the order meanwhile (the
        // order-management system, another bench) wins, and this order is not shipped.
        if (in.askBeforeFinishing && !m_sink.askYesNo(QStringLiteral("是否完成发货？"))) {
            const bool saved = db.saveTradeIfUnchanged(order.id, packedOut, changes);
            m_sink.reportScanResult(
                timeOfDay() + kSep + in.waybill +
                    (saved ? weights + QStringLiteral("，未发货") : changedLine),
                false);
            continue;
        }

        const double profit = order.rcvValue - order.goodsCost - postFee - order.otherFee;
        const QString profitCalc =
            generalNumber(profit) + QStringLiteral("(毛利)=") + generalNumber(order.rcvValue) +
            QStringLiteral("(实际收款)-") + generalNumber(order.goodsCost) +
            QStringLiteral("(货品成本)-") + generalNumber(postFee) + QStringLiteral("(实际邮资)-") +
            generalNumber(order.otherFee) + QStringLiteral("(其他开销)-0(包装成本)");
        changes.append({QStringLiteral("profit"), profit});
        changes.append({QStringLiteral("profitCalc"), profitCalc});

        const QDateTime now = m_sink.currentDateTime();
        const QVariant today = m_orders.dialect().dateParam(now.date());
        if (in.packOutMode) {
            changes.append({QStringLiteral("bSnd"), 1});
            changes.append({QStringLiteral("sndTime"), today});
        } else {
            changes.append({QStringLiteral("TradeStatus"), QStringLiteral("交易完成")});
            changes.append({QStringLiteral("overtime"), today});
        }
        if (in.recordShipper)
            changes.append({QStringLiteral("sndOperator"), in.operatorName});

        // The order's writes stand or fall together; orders finished before it stay finished.
        {
            Transaction tx(m_orders);
            if (!db.saveTradeIfUnchanged(order.id, packedOut, changes)) {
                // Rolled back as the transaction ends: no charge, no log, no trade moves.
                m_sink.reportScanResult(timeOfDay() + kSep + in.waybill + changedLine, false);
                continue;
            }
            if (order.bMonth) {
                db.appendPostageCharge({order.id, order.postId, postFee, now.date(), order.sndStyle,
                                        QStringLiteral("重量：") + QString::number(parcelWeight),
                                        order.remark, order.adr, in.operatorName});
            }
            db.appendTradeLog(order.id, now, in.operatorName,
                              in.packOutMode ? QStringLiteral("发货出库")
                                             : QStringLiteral("完成关闭"));
            for (const QString& tradeNo : tradeNumbers(order.sTradeNO))
                db.moveFirstTradeState(tradeNo);
            tx.commit();
        }
        m_sink.reportScanResult(timeOfDay() + kSep + in.waybill + weights, true);
    }
}

} // namespace tv
