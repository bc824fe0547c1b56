#include "shipping/BatchPackOut.h"

#include "shipping/OrderDb.h"

namespace tv {

int BatchPackOut::run() {
    OrderDb db(m_orders);
    // The whole selection is read before the first update goes out on the same connection.
    const QStringList waybills = db.selectPackedOutWaybills();
    int reset = 0;
    for (const QString& postId : waybills)
        reset += db.resetParcelState(postId);
    return reset;
}

} // namespace tv
