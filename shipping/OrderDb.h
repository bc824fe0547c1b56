#pragma once

#include "platform/Database.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tv {

// One order that a scan handles, read whole before the next statement goes out.
struct ScanOrder {
    QVariant id; // the key as stored, bound as it came
    QString sndStyle;
    QString province;
    QString customerNeeds;
    QString remark;
    QString adr;
    QString postId;
    QString sTradeNO;
    qint32 weight = 0; // goods weight, grams
    double rcvValue = 0;
    double goodsCost = 0;
    double otherFee = 0;
    bool bMonth = false; // of the order's logistics method; false without a df_SndStyle row
};

struct GoodsLine {
    QString name;
    QString spec;
    QString count;
};

struct PostageChargeRow {
    QVariant tradeId;
    QString packageBill;
    double postage = 0;
    QDate sndDate;
    QString freightCorp;
    QString summary;
    QString remark;
    QString sndTo;
    QString operatorName;
};

// The statements of the scan and the batch pass on the order database: bound parameters,
// bracketed identifiers, one text for both engines except the dialect's pieces.
class OrderDb {
public:
    explicit OrderDb(Connection& orders)
        : m_db(orders) {}

    // Orders of a waybill in "收款发货" with the given packed-out flag, with their method's bMonth.
    QList<ScanOrder> selectScanOrders(const QString& waybill, bool packedOut);
    QList<GoodsLine> selectGoods(const QVariant& tradeId);
    // Saves the changed columns of one df_Trade row if it is still in the state the scan
    // selected ("收款发货" with the given packed-out flag): false when it changed no row (the
    // order was deleted, completed or packed out meanwhile). Any other count throws tv::Error.
    bool saveTradeIfUnchanged(const QVariant& id, bool packedOut, const Assignments& changes);
    void appendPostageCharge(const PostageChargeRow& row);
    void appendTradeLog(const QVariant& tradeId, const QDateTime& time, const QString& user,
                        const QString& event);
    // The first es_TradeLog row of the trade number from state 1 to 2; true when it moved.
    bool moveFirstTradeState(const QString& tradeNo);

    // Waybill numbers of the orders packed out but not completed, empty ones left out, each once.
    QStringList selectPackedOutWaybills();
    // es_TradeLog rows of a waybill from state 2 to 1 while an order of that waybill is still
    // packed out and not completed; returns how many moved.
    int resetParcelState(const QString& postId);

    // The lists the windows offer, each in the order the server returns its rows.
    QStringList selectStaffNames();
    QStringList selectShopNames();
    // The logistics methods, `Style` of df_SndStyle.
    QStringList selectSndStyles();

    Connection& connection() { return m_db; }

private:
    Connection& m_db;
};

} // namespace tv
