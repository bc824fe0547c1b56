#pragma once

// The databases of one test: a configuration file and an order file in a temporary folder,
// copied from template files that each test program makes once, because creating a schema
// statement by statement syncs the disk each time.

#include "platform/Database.h"

#include <QString>
#include <QTemporaryDir>

namespace tv::test {

enum class Template {
    Config,        // db.mdb as the schema makes it
    Orders,        // orders.db as the schema makes it
    StaffedOrders, // orders.db with the lists a bench starts with: staff 张三, 李四, 张三;
                   // shops 小店A, 小店B; methods 圆通速递 (bMonth 1) and EMS (bMonth 0)
};

// Copies the template file to path, which must not exist yet; returns path. Throws tv::Error.
QString copyTemplate(Template t, const QString& path);

// A temporary folder holding db.mdb and orders.db (or name), both open.
class DbFolder {
public:
    explicit DbFolder(Template ordersTemplate = Template::Orders,
                      const QString& ordersName = QStringLiteral("orders.db"));

    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir; // first: outlives the connections on its files

public:
    const QString folder; // with a trailing '/', as the executable's folder
    const QString configPath;
    const QString ordersPath;
    Connection config;
    Connection orders;
};

} // namespace tv::test
