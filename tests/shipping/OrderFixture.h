#pragma once

// A configuration and an order database in a temporary folder, with helpers for small
// hand-made rows. Shared by the shipping tests.

#include "platform/Database.h"
#include "support/Databases.h"

#include <QStringList>

namespace tv::test {

class OrderFixture : public DbFolder {
    int m_lastId = 0;

public:
    // A paid, packed-out order on waybill YT1001 unless overridden: 1.2 kg of goods, 100 yuan
    // received, 80 yuan cost, method 圆通速递 to 浙江省, trade T1. Returns its ID.
    int addTrade(const Assignments& overrides = {}) {
        const int id = ++m_lastId;
        Assignments row{{QStringLiteral("ID"), id},
                        {QStringLiteral("PostID"), QStringLiteral("YT1001")},
                        {QStringLiteral("TradeStatus"), QStringLiteral("收款发货")},
                        {QStringLiteral("bSnd"), 1},
                        {QStringLiteral("sndStyle"), QStringLiteral("圆通速递")},
                        {QStringLiteral("Province"), QStringLiteral("浙江省")},
                        {QStringLiteral("Adr"), QStringLiteral("文三路1号")},
                        {QStringLiteral("CustomerNeeds"), QStringLiteral("请尽快发货")},
                        {QStringLiteral("Remark"), QStringLiteral("送小礼品")},
                        {QStringLiteral("sTradeNO"), QStringLiteral("T1")},
                        {QStringLiteral("weight"), 1200},
                        {QStringLiteral("RcvValue"), 100},
                        {QStringLiteral("goodsCost"), 80},
                        {QStringLiteral("otherFee"), 0}};
        for (const auto& o : overrides) {
            bool replaced = false;
            for (auto& r : row) {
                if (r.first == o.first) {
                    r.second = o.second;
                    replaced = true;
                }
            }
            if (!replaced)
                row.append(o);
        }
        insertRow(orders, QStringLiteral("df_Trade"), row);
        return id;
    }

    void addStyle(const QString& style, bool bMonth) {
        insertRow(orders, QStringLiteral("df_SndStyle"),
                  {{QStringLiteral("Style"), style}, {QStringLiteral("bMonth"), bMonth ? 1 : 0}});
    }

    void addEs(const QString& tradeNo, const QString& sndId, int state) {
        insertRow(orders, QStringLiteral("es_TradeLog"),
                  {{QStringLiteral("TradeNO"), tradeNo},
                   {QStringLiteral("SndID"), sndId},
                   {QStringLiteral("PostStatus"), state}});
    }

    void addGoods(int tradeId, const QString& name, const QString& spec, const QString& count) {
        insertRow(orders, QStringLiteral("df_TradeGoods"),
                  {{QStringLiteral("TradeID"), tradeId},
                   {QStringLiteral("GoodsName"), name},
                   {QStringLiteral("Spec"), spec},
                   {QStringLiteral("Count"), count}});
    }

    void addRule(const QString& method, const QString& province, int start, int end, int first,
                 double firstFee, int step, double stepFee) {
        insertRow(config, QStringLiteral("rule"),
                  {{QStringLiteral("Express"), method},
                   {QStringLiteral("Province"), province},
                   {QStringLiteral("RuleIndex"), QStringLiteral("2024-01-01-08-00-00")},
                   {QStringLiteral("StartWeight"), start},
                   {QStringLiteral("EndWeight"), end},
                   {QStringLiteral("BeginChargeWeight"), first},
                   {QStringLiteral("BeginChargeFee"), firstFee},
                   {QStringLiteral("DetaWeight"), step},
                   {QStringLiteral("DetaFee"), stepFee}});
    }

    QList<Record> rows(const QString& table) {
        return selectRows(orders, QStringLiteral("select * from ") + ident(table) +
                                      QStringLiteral(" order by [ID]"));
    }

    Record trade(int id) {
        const QList<Record> r =
            selectRows(orders, QStringLiteral("select * from [df_Trade] where [ID] = ?"), {id});
        return r.value(0);
    }

    QList<int> esStates() {
        QList<int> states;
        for (const Record& r : rows(QStringLiteral("es_TradeLog")))
            states.append(r.integer(QStringLiteral("PostStatus")));
        return states;
    }

    // Every row of the written tables as text, to show that nothing changed.
    QStringList snapshot(const QStringList& tables = {
                             QStringLiteral("df_Trade"), QStringLiteral("df_PostageCharge"),
                             QStringLiteral("df_TradeLog"), QStringLiteral("es_TradeLog")}) {
        QStringList out;
        for (const QString& t : tables) {
            for (const Record& r : rows(t)) {
                QStringList fields;
                for (int i = 0; i < r.sqlRecord().count(); ++i)
                    fields.append(r.sqlRecord().value(i).isNull()
                                      ? QStringLiteral("<null>")
                                      : Record::textOf(r.sqlRecord().value(i)));
                out.append(t + u':' + fields.join(u'|'));
            }
        }
        return out;
    }
};

} // namespace tv::test
