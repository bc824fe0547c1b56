#pragma once

#include <QStringList>

namespace tv {

class Connection;

// Sets the es_TradeLog rows of every parcel packed out but not completed from state 2 back
// to 1. Throws tv::Error; rows reset before an error stay reset.
class BatchPackOut {
public:
    explicit BatchPackOut(Connection& orders)
        : m_orders(orders) {}

    // Returns the number of rows set to 1.
    int run() { return reset(select()); }

    // The two steps of run(): the waybills of the orders packed out and not completed, read
    // whole; then their rows from 2 to 1, each only while an order of its waybill is still
    // packed out and not completed. Returns the rows that really moved.
    QStringList select();
    int reset(const QStringList& waybills);

private:
    Connection& m_orders;
};

} // namespace tv
