#include "tools/DemoData.h"

#include "platform/Database.h"
#include "platform/Error.h"
#include "postage/Provinces.h"

#include <QDate>
#include <QSqlError>
#include <QSqlQuery>
#include <random>

namespace tv {

namespace {

const char* const kMethods[] = {"圆通速递", "申通快递", "顺丰速运", "EMS",    "韵达快递",
                                "中通快递", "汇通快递", "天天快递", "宅急送", "德邦物流"};
const char* const kStaff[] = {"张三", "李四", "王五", "赵六"};
const char* const kShops[] = {"淘宝旗舰店", "拍拍小店", "京东专营店"};
const char* const kCities[] = {"杭州市", "南京市", "广州市", "成都市", "武汉市", "西安市"};
const char* const kGoods[] = {"纯棉T恤", "牛仔裤", "运动鞋", "羊毛围巾", "保温杯", "蓝牙耳机"};
const char* const kSpecs[] = {"红色 XL", "蓝色 L", "黑色 42码", "均码", "500ml", "白色"};
const char* const kNames[] = {"陈小明", "林美玲", "黄伟", "周杰", "吴芳", "郑海"};

class Inserter {
public:
    Inserter(Connection& c, const QString& sql)
        : m_connection(c)
        , m_query(c.database()) {
        if (!m_query.prepare(sql))
            throw Error(m_query.lastError().text());
    }
    void run(const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values[i]);
        m_connection.countStatement();
        if (!m_query.exec())
            throw Error(m_query.lastError().text());
    }

private:
    Connection& m_connection;
    QSqlQuery m_query;
};

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString dateText(const QDate& day) {
    return day.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
}

// One scan of a waybill: when, by whom, and what its parcel weighs. Drawn from the waybill's
// number, not from the order generator's random sequence, so that the orders themselves come
// out the same with or without scans.
struct ScanPlan {
    QDate day;
    QDateTime time;
    QString user;
    bool heavy = false; // packed with far more than the goods weigh

    int parcelWeight(int goodsWeight) const {
        return (heavy ? goodsWeight * 3 / 2 : goodsWeight) + 50;
    }
    double postage(int goodsWeight) const { return 6.0 + 2.0 * (parcelWeight(goodsWeight) / 1000); }
};

// The s-th scanned waybill (from 0): scansPerDay a day, oldest day first, spread over the
// working day from 08:00 to 20:00; the staff do unequal shares.
ScanPlan planScan(int s, int w, const DemoOptions& o, const QDate& today) {
    static const int shares[10] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 3};
    ScanPlan p;
    p.day = today.addDays(s / o.scansPerDay - (o.scanDays - 1));
    const qint64 second = 8 * 3600 + qint64(s % o.scansPerDay) * 12 * 3600 / o.scansPerDay;
    p.time = QDateTime(p.day, QTime(0, 0).addSecs(int(second)));
    p.user = u(kStaff[shares[(w * 7 + w / 13) % 10]]);
    p.heavy = w % 9 == 0;
    return p;
}

} // namespace

QString demoMethod(int index) {
    return u(kMethods[index % 10]);
}
QString demoWaybill(int w) {
    return QString::number(880000000000LL + w);
}
int demoOrdersOnWaybill(int w) {
    return w % 20 == 0 ? 2 : 1;
}
bool demoWaybillCompleted(int w) {
    return w % 10 == 3;
}
bool demoWaybillPackedOut(int w) {
    return !demoWaybillCompleted(w) && w % 2 == 1;
}

void fillDemoOrders(Connection& c, const DemoOptions& o) {
    std::mt19937 rng(o.seed);
    auto pick = [&](int n) {
        return int(rng() % unsigned(n));
    };
    const int methods = qBound(1, o.methods, 10);
    const QDate today = QDate::currentDate();

    Transaction tx(c);
    Inserter staff(c, QStringLiteral("insert into [df_Staff] ([Name]) values (?)"));
    for (const char* s : kStaff)
        staff.run({u(s)});
    Inserter shop(c, QStringLiteral("insert into [df_Shop] ([Name]) values (?)"));
    for (const char* s : kShops)
        shop.run({u(s)});
    Inserter style(c,
                   QStringLiteral("insert into [df_SndStyle] ([Style], [bMonth]) values (?, ?)"));
    for (int m = 0; m < methods; ++m)
        style.run({demoMethod(m), m % 2 == 0 ? 1 : 0});

    Inserter trade(
        c, QStringLiteral("insert into [df_Trade] ([ID], [TradeNO], [sTradeNO], [Shop], [PostID], "
                          "[TradeStatus], [bSnd], [sndStyle], [Province], [City], [Area], [Adr], "
                          "[Zip], [phone], [CustomerID], [CustomerName], [CustomerNeeds], "
                          "[Remark], [weight], [weight2], [PostFee2], [RcvValue], [goodsCost], "
                          "[otherFee], [overtime], [sndTime], [sndOperator]) values "
                          "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?)"));
    Inserter goods(c, QStringLiteral("insert into [df_TradeGoods] ([TradeID], [GoodsName], "
                                     "[Spec], [Count]) values (?, ?, ?, ?)"));
    Inserter es(c, QStringLiteral("insert into [es_TradeLog] ([TradeNO], [SndID], [PostStatus]) "
                                  "values (?, ?, ?)"));

    Inserter log(c, QStringLiteral("insert into [df_TradeLog] ([TradeID], [Time], [User], "
                                   "[Event]) values (?, ?, ?, ?)"));
    Inserter parcel(c, QStringLiteral("update [df_Trade] set [weight2] = ?, [PostFee2] = ? "
                                      "where [ID] = ?"));

    // The scanned waybills are the last ones, so that the first waybills keep the states the
    // helpers above describe.
    int waybills = 0;
    for (int n = 0; n < o.orders; n += demoOrdersOnWaybill(++waybills)) {
    }
    const int scanned = o.scanDays > 0 && o.scansPerDay > 0 ? o.scanDays * o.scansPerDay : 0;
    const int firstScanned = waybills - scanned + 1;

    const QStringList& provinces = provinceNames();
    const QString paid = QStringLiteral("收款发货");
    const QString done = QStringLiteral("交易完成");
    int id = 0;
    for (int w = 1; id < o.orders; ++w) {
        const QString postId = demoWaybill(w);
        const bool completed = demoWaybillCompleted(w);
        const bool isScanned = scanned > 0 && w >= firstScanned;
        const bool packedOut = completed || isScanned || demoWaybillPackedOut(w);
        const int count = demoOrdersOnWaybill(w);
        ScanPlan scan;
        if (isScanned)
            scan = planScan(w - firstScanned, w, o, today);
        int firstId = 0;
        int goodsWeight = 0;
        for (int k = 0; k < count && id < o.orders; ++k) {
            ++id;
            const QString tradeNo = QStringLiteral("TB%1").arg(100000000000LL + id);
            QStringList trades{tradeNo + QStringLiteral("A")};
            if (id % 15 == 0)
                trades.append(tradeNo + QStringLiteral("B"));
            const int weight = 200 + pick(4800);
            const QString method = demoMethod(pick(methods));
            const QString province = provinces[pick(30)];
            const double rcv = 20 + pick(50000) / 100.0;
            const QDate day = today.addDays(-pick(60));
            const QString staffName = u(kStaff[pick(4)]);
            trade.run({id,
                       tradeNo,
                       trades.join(u','),
                       u(kShops[pick(3)]),
                       postId,
                       completed ? done : paid,
                       packedOut ? 1 : 0,
                       method,
                       province,
                       u(kCities[pick(6)]),
                       QStringLiteral("西湖区"),
                       QStringLiteral("文三路%1号").arg(1 + pick(500)),
                       QStringLiteral("0%1").arg(10000 + pick(89999)),
                       QStringLiteral("138%1").arg(10000000 + pick(89999999)),
                       QStringLiteral("buyer%1").arg(id),
                       u(kNames[pick(6)]),
                       pick(4) == 0 ? QStringLiteral("请尽快发货") : QString(),
                       pick(5) == 0 ? QStringLiteral("送小礼品") : QString(),
                       weight,
                       isScanned   ? QVariant(k == 0 ? scan.parcelWeight(weight) : 0)
                       : completed ? QVariant(weight + 50)
                                   : QVariant(),
                       isScanned   ? QVariant(k == 0 ? scan.postage(weight) : 0.0)
                       : completed ? QVariant(10.0)
                                   : QVariant(),
                       rcv,
                       rcv * 0.6,
                       pick(3) == 0 ? 1.5 : 0.0,
                       completed ? QVariant(dateText(isScanned ? scan.day : day)) : QVariant(),
                       packedOut ? QVariant(dateText(isScanned ? scan.day : day)) : QVariant(),
                       completed ? QVariant(isScanned ? scan.user : staffName) : QVariant()});
            if (isScanned) {
                log.run({id, scan.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), scan.user,
                         completed ? QStringLiteral("完成关闭") : QStringLiteral("发货出库")});
                if (k == 0)
                    firstId = id;
                goodsWeight += weight;
            }
            const int lines = 1 + pick(3);
            for (int g = 0; g < lines; ++g)
                goods.run(
                    {id, u(kGoods[pick(6)]), u(kSpecs[pick(6)]), QString::number(1 + pick(3))});
            for (const QString& t : trades) {
                const int state = completed ? 2 : (packedOut && w % 3 == 0 ? 2 : 1);
                es.run({t, postId, state});
            }
        }
        // The parcel of several orders weighs all their goods: its first order carries it.
        if (isScanned && count > 1)
            parcel.run({scan.parcelWeight(goodsWeight), scan.postage(goodsWeight), firstId});
    }
    tx.commit();
}

void fillDemoRules(Connection& c, const DemoOptions& o) {
    static const int ends[9] = {500, 1000, 2000, 3000, 5000, 8000, 12000, 20000, 50000};
    const int methods = qBound(1, o.methods, 10);
    const int provinces = qBound(1, o.ruleProvinces, 34);
    Transaction tx(c);
    Inserter rule(c, QStringLiteral("insert into [rule] ([Express], [Province], [RuleIndex], "
                                    "[StartWeight], [EndWeight], [BeginChargeWeight], "
                                    "[BeginChargeFee], [DetaWeight], [DetaFee]) values "
                                    "(?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int m = 0; m < methods; ++m) {
        const QString stamp = QStringLiteral("2026-01-01-08-%1-00").arg(m, 2, 10, QLatin1Char('0'));
        for (int p = 0; p < provinces; ++p) {
            int start = 0;
            for (int k = 0; k < 9; ++k) {
                rule.run({demoMethod(m), provinceNames()[p], stamp, start, ends[k], 1000,
                          8.0 + m + (p % 3), 500, 2.0 + k * 0.5});
                start = ends[k];
            }
        }
    }
    tx.commit();
}

} // namespace tv
