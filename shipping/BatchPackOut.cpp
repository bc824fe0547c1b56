#include "shipping/BatchPackOut.h"

#include "shipping/OrderDb.h"

namespace tv {

QStringList BatchPackOut::select() {
    // The whole selection is read before the first update goes out on the same connection.
    return OrderDb(m_orders).selectPackedOutWaybills();
}

int BatchPackOut::reset(const QStringList& waybills) {
    OrderDb db(m_orders);
    int moved = 0;
    for (const QString& postId : waybills)
        moved += db.resetParcelState(postId);
    return moved;
}

} // namespace tv
