#include "app/Session.h"

#include "platform/Database.h"
#include "shipping/OrderDb.h"

namespace tv {

namespace {
const QString kPseudoOperator = QStringLiteral("Tolvane");
}

Session Session::open(Connection& config, Connection& orders, const QString& folder) {
    Session s;
    config.setConnectionString(configConnectionString(folder));
    config.open();
    s.configOpen = config.isOpen();
    if (!s.configOpen) {
        s.messages.append(QStringLiteral("程序配置文件访问失败!"));
        return s;
    }

    ConfigDb db(config);
    s.settings = db.readSettings();
    s.columnChoice = db.readColumnChoice();

    orders.setConnectionString(orderConnectionString(s.settings));
    orders.setBaseFolder(folder);
    orders.open();
    s.ordersOpen = orders.isOpen();
    if (!s.ordersOpen) {
        s.messages.append(QStringLiteral("数据库访问失败,请重新设置数据库参数!"));
        return s;
    }

    OrderDb orderDb(orders);
    const QStringList staff = orderDb.selectStaffNames();
    s.operators = QStringList{QString(), kPseudoOperator} + staff;
    s.shops = QStringList{QString()} + orderDb.selectShopNames();
    s.sndStyles = QStringList{QString()} + orderDb.selectSndStyles();
    return s;
}

int Session::rememberedOperator() const {
    return int(operators.indexOf(settings.defaultOpr));
}

} // namespace tv
