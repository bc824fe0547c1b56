#pragma once

namespace tv {

class Connection;

// Sets the es_TradeLog rows of every parcel packed out but not completed from state 2 back
// to 1. Throws tv::Error; rows reset before an error stay reset.
class BatchPackOut {
public:
    explicit BatchPackOut(Connection& orders)
        : m_orders(orders) {}

    // Returns the number of rows set to 1.
    int run();

private:
    Connection& m_orders;
};

} // namespace tv
