#include "support/TestSupport.h"

#include "platform/Database.h"
#include "platform/Error.h"
#include "support/Databases.h"

#include <QDir>
#include <QFileInfo>

namespace tv::test {

QString dataDir() {
    return QStringLiteral(TOLVANE_DATA_DIR);
}
QString binDir() {
    return QStringLiteral(TOLVANE_BIN_DIR);
}

QString createConfigDb(const QString& folder) {
    return copyTemplate(Template::Config, QDir(folder).filePath(QStringLiteral("db.mdb")));
}

QString createOrderDb(const QString& folder, const QString& name) {
    return copyTemplate(Template::Orders, QDir(folder).filePath(name));
}

void openConfig(Connection& c, const QString& dbMdbPath) {
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                          QFileInfo(dbMdbPath).absoluteFilePath());
    if (!c.open())
        throw Error(c.lastError());
}

void openOrders(Connection& c, const QString& ordersPath) {
    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                          QFileInfo(ordersPath).absoluteFilePath());
    if (!c.open())
        throw Error(c.lastError());
}

} // namespace tv::test
