#include "support/TestSupport.h"

#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/SqliteFile.h"

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
    const QString path = QDir(folder).filePath(QStringLiteral("db.mdb"));
    createSqliteFile(path, dataDir() + QStringLiteral("/config.sql"));
    return path;
}

QString createOrderDb(const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    createSqliteFile(path, dataDir() + QStringLiteral("/orders.sql"));
    return path;
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
