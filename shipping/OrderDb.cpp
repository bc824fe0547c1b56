#include "shipping/OrderDb.h"

#include "platform/Error.h"

#include <QSet>

namespace tv {

namespace {

QString paidStatus() {
    return QStringLiteral("收款发货");
}

QStringList column(Connection& db, const QString& sql, const QString& name) {
    QStringList texts;
    for (const Record& r : selectRows(db, sql))
        texts.append(r.text(name));
    return texts;
}

} // namespace

QList<ScanOrder> OrderDb::selectScanOrders(const QString& waybill, bool packedOut) {
    // The method's flag rides along as a subquery: one statement fewer per order.
    const QString bMonth = m_db.dialect().selectFirst(
        QStringLiteral("[bMonth]"),
        QStringLiteral("[df_SndStyle] where [Style] = [df_Trade].[sndStyle]"));
    const QString sql =
        QStringLiteral("select [ID], [sndStyle], [Province], [CustomerNeeds], [Remark], [Adr], "
                       "[PostID], [sTradeNO], [weight], [RcvValue], [goodsCost], [otherFee], (") +
        bMonth +
        QStringLiteral(") as [bMonth] from [df_Trade] where [PostID] = ? and [TradeStatus] = ? "
                       "and [bSnd] = ?");
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
        o.bMonth = r.bit(QStringLiteral("bMonth"));
        orders.append(o);
    }
    return orders;
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

bool OrderDb::saveTradeIfUnchanged(const QVariant& id, bool packedOut, const Assignments& changes) {
    // The state goes into the update's own condition: on SQL Server it is evaluated under the
    // row's update lock, on SQLite under the write lock, so two benches cannot both save.
    const int changed =
        updateRow(m_db, QStringLiteral("df_Trade"), QStringLiteral("ID"), id, changes,
                  {{QStringLiteral("TradeStatus"), paidStatus()},
                   {QStringLiteral("bSnd"), packedOut ? 1 : 0}});
    if (changed == 0)
        return false;
    if (changed != 1)
        throw Error(QStringLiteral("Saving order %1 changed %2 rows instead of one.")
                        .arg(Record::textOf(id), QString::number(changed)));
    return true;
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
    // An order completed since the selection no longer lets its parcel's rows move back.
    return execute(m_db,
                   QStringLiteral("update [es_TradeLog] set [PostStatus] = 1 where [SndID] = ? "
                                  "and [PostStatus] = 2 and exists (select 1 from [df_Trade] "
                                  "where [PostID] = ? and [TradeStatus] = ? and [bSnd] = 1)"),
                   {postId, postId, paidStatus()});
}

QStringList OrderDb::selectStaffNames() {
    return column(m_db, QStringLiteral("select [Name] from [df_Staff]"), QStringLiteral("Name"));
}

QStringList OrderDb::selectShopNames() {
    return column(m_db, QStringLiteral("select [Name] from [df_Shop]"), QStringLiteral("Name"));
}

QStringList OrderDb::selectSndStyles() {
    return column(m_db, QStringLiteral("select [Style] from [df_SndStyle]"),
                  QStringLiteral("Style"));
}

} // namespace tv
