#pragma once

#include <QString>

namespace tv {
class Connection;
}

namespace tv::test {

// Folder of the project's schema files.
QString dataDir();
// Folder where the build leaves `tolvane` and its supplied db.mdb.
QString binDir();

// A fresh configuration database "db.mdb" in folder, as the project's schema makes it (a copy
// of the test program's template, see Databases.h); returns its path.
QString createConfigDb(const QString& folder);
// A fresh, empty order database in folder, likewise; returns its path.
QString createOrderDb(const QString& folder, const QString& name = QStringLiteral("orders.db"));

// Opens the files made above; fails the test on error (QVERIFY-style, throws tv::Error).
void openConfig(Connection& c, const QString& dbMdbPath);
void openOrders(Connection& c, const QString& ordersPath);

} // namespace tv::test
