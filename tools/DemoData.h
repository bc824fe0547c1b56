#pragma once

#include <QString>

namespace tv {

class Connection;

struct DemoOptions {
    int orders = 1000;
    unsigned seed = 1;
    int methods = 5;        // logistics methods, at most 10
    int ruleProvinces = 30; // provinces each method's rule covers, at most 34
    // Scans of the last scanDays days (today included), scansPerDay waybills a day: the last
    // waybills written are packed out or completed by a staff member, with parcel weight and
    // postage on their first order and one df_TradeLog row per order. 0 writes no log rows.
    int scanDays = 0;
    int scansPerDay = 0;
};

// Staff, shops and logistics methods (some with bMonth), then orders in both packed-out states
// with goods lines, merged trades and es_TradeLog rows. Orders go to waybills in sequence;
// every 20th waybill carries two orders. With scan days, the scans' log rows too (see above).
// All in one transaction.
void fillDemoOrders(Connection& orders, const DemoOptions& options);

// One postage rule per method, covering the first ruleProvinces provinces with nine intervals.
void fillDemoRules(Connection& config, const DemoOptions& options);

// The waybill number of the w-th waybill (from 1) that fillDemoOrders writes, and its state.
QString demoWaybill(int w);
int demoOrdersOnWaybill(int w);   // 1 or 2
bool demoWaybillCompleted(int w); // "交易完成"
bool demoWaybillPackedOut(int w); // bSnd 1 (and not completed)
QString demoMethod(int index);    // index from 0

} // namespace tv
