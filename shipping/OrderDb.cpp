#include "shipping/OrderDb.h"

#include <QSet>

namespace tv {

namespace {

QString paidStatus() {
    return QStringLiteral("收款发货");
}

} // namespace

QList<ScanOrder> OrderDb::selectScanOrders(const QString& waybill, bool packedOut) {
    const QString sql = QStringLiteral(
        "select [ID], [sndStyle], [Province], [CustomerNeeds], [Remark], [Adr], [PostID], "
        "[sTradeNO], [weight], [RcvValue], [goodsCost], [otherFee] from [df_Trade] "
        "where [PostID] = ? and [TradeStatus] = ? and [bSnd] = ?");
    const QList<Record> rows = selectRows(m_db, sql, {waybill, paidStatus(), packedOut ? 1 : 0});
    QList<ScanOrder> orders;
    orders.reserve(rows.size());
    for (const Record& r : rows) {
        ScanOrder o;
        o.id = r.value(QStringLiteral("ID"));
        o.sndStyle = r.text(QStringLiteral("sndStyle"));
        o.province = r.text(QStringLiteral("Province"));
        o.customerNeeds = r.text(QStringLiteral("CustomerNeeds"));
        o.remark = r.text(QStringLiteral("Remark"));
        o.adr = r.text(QStringLiteral("Adr"));
        o.postId = r.text(QStringLiteral("PostID"));
        o.sTradeNO = r.text(QStringLiteral("sTradeNO"));
        o.weight = r.integer(QStringLiteral("weight"));
        o.rcvValue = r.number(QStringLiteral("RcvValue"));
        o.goodsCost = r.number(QStringLiteral("goodsCost"));
        o.otherFee = r.number(QStringLiteral("otherFee"));
        orders.append(o);
    }
    return orders;
}

bool OrderDb::selectBMonth(const QString& sndStyle) {
    // Compared with a value, not with df_Trade.sndStyle: on SQL Server two columns of
    // different collations cannot be compared at all.
    const QList<Record> rows =
        selectRows(m_db,
                   m_db.dialect().selectFirst(QStringLiteral("[bMonth]"),
                                              QStringLiteral("[df_SndStyle] where [Style] = ?")),
                   {sndStyle});
    return !rows.isEmpty() && rows[0].bit(QStringLiteral("bMonth"));
}

QList<GoodsLine> OrderDb::selectGoods(const QVariant& tradeId) {
    const QList<Record> rows = selectRows(
        m_db,
        QStringLiteral(
            "select [GoodsName], [Spec], [Count] from [df_TradeGoods] where [TradeID] = ?"),
        {tradeId});
    QList<GoodsLine> lines;
    lines.reserve(rows.size());
    for (const Record& r : rows)
        lines.append({r.text(QStringLiteral("GoodsName")), r.text(QStringLiteral("Spec")),
                      r.text(QStringLiteral("Count"))});
    return lines;
}

void OrderDb::saveTrade(const QVariant& id, const Assignments& changes) {
    updateRow(m_db, QStringLiteral("df_Trade"), QStringLiteral("ID"), id, changes);
}

void OrderDb::appendPostageCharge(const PostageChargeRow& row) {
    insertRow(m_db, QStringLiteral("df_PostageCharge"),
              {{QStringLiteral("TradeID"), row.tradeId},
               {QStringLiteral("TradeType"), QStringLiteral("销售发货")},
               {QStringLiteral("PackageBill"), row.packageBill},
               {QStringLiteral("Postage"), row.postage},
               {QStringLiteral("SndDate"), m_db.dialect().dateParam(row.sndDate)},
               {QStringLiteral("FreightCorp"), row.freightCorp},
               {QStringLiteral("ChargeStatus"), 0},
               {QStringLiteral("Summary"), row.summary},
               {QStringLiteral("Remark"), row.remark},
               {QStringLiteral("SndTo"), row.sndTo},
               {QStringLiteral("Operator"), row.operatorName}});
}

void OrderDb::appendTradeLog(const QVariant& tradeId, const QDateTime& time, const QString& user,
                             const QString& event) {
    insertRow(m_db, QStringLiteral("df_TradeLog"),
              {{QStringLiteral("TradeID"), tradeId},
               {QStringLiteral("Time"), m_db.dialect().dateTimeParam(time)},
               {QStringLiteral("User"), user},
               {QStringLiteral("Event"), event}});
}

bool OrderDb::moveFirstTradeState(const QString& tradeNo) {
    return execute(m_db, m_db.dialect().moveFirstTradeState(), {tradeNo}) > 0;
}

QStringList OrderDb::selectPackedOutWaybills() {
    const QList<Record> rows = selectRows(
        m_db,
        QStringLiteral("select [PostID] from [df_Trade] where [TradeStatus] = ? and [bSnd] = 1"),
        {paidStatus()});
    QStringList waybills;
    QSet<QString> seen;
    for (const Record& r : rows) {
        const QString postId = r.text(QStringLiteral("PostID"));
        if (postId.isEmpty() || seen.contains(postId))
            continue;
        seen.insert(postId);
        waybills.append(postId);
    }
    return waybills;
}

int OrderDb::resetParcelState(const QString& postId) {
    return execute(m_db,
                   QStringLiteral("update [es_TradeLog] set [PostStatus] = 1 where [SndID] = ? "
                                  "and [PostStatus] = 2"),
                   {postId});
}

} // namespace tv
