#pragma once

#include "app/main.h"
#include "platform/Database.h"
#include "support/TestSupport.h"

#include <QDate>
#include <QTemporaryDir>
#include <memory>

namespace tv::test {

// A folder with db.mdb and orders.db, as the executable's folder of one test.
class FormBench {
public:
    FormBench() {
        folder = dir.path() + u'/';
        test::createConfigDb(dir.path());
        ordersPath = test::createOrderDb(dir.path());
        test::openConfig(config, folder + QStringLiteral("db.mdb"));
        test::openOrders(orders, ordersPath);
        for (const char* name : {"张三", "李四", "张三"})
            execute(orders, QStringLiteral("insert into [df_Staff] ([Name]) values (?)"),
                    {QString::fromUtf8(name)});
        execute(orders,
                QStringLiteral("insert into [df_Shop] ([Name]) values ('小店A'), ('小店B')"));
        execute(orders, QStringLiteral("insert into [df_SndStyle] ([Style], [bMonth]) values "
                                       "('圆通速递', 1), ('EMS', 0)"));
    }

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

    QTemporaryDir dir;
    QString folder;
    QString ordersPath;
    Connection config;
    Connection orders;
};

} // namespace tv::test
