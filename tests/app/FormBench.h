#pragma once

#include "app/main.h"
#include "platform/Database.h"
#include "support/Databases.h"

#include <QDate>
#include <memory>

namespace tv::test {

// A folder with db.mdb and orders.db, as the executable's folder of one test; the order
// database holds a bench's staff, shops and methods.
class FormBench : public DbFolder {
public:
    FormBench()
        : DbFolder(Template::StaffedOrders) {}

    void setSettings(const QString& assignments) {
        execute(config, QStringLiteral("update [pwd] set ") + assignments);
    }

    Record settings() { return selectRows(config, QStringLiteral("select * from [pwd]")).front(); }

    std::unique_ptr<TForm1> start(QDate today = {}, bool scaleReader = false) {
        TForm1::Environment env;
        env.folder = folder;
        env.startScaleReader = scaleReader;
        env.today = today;
        return std::make_unique<TForm1>(env);
    }
};

} // namespace tv::test
