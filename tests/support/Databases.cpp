#include "support/Databases.h"

#include "platform/Error.h"
#include "platform/SqliteFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QMutex>

namespace tv::test {

namespace {

class Templates {
public:
    QString path(Template t) {
        QMutexLocker lock(&m_lock);
        switch (t) {
        case Template::Config:
            if (m_config.isEmpty())
                m_config = makeConfig(QStringLiteral("db.mdb"));
            return m_config;
        case Template::Orders:
            if (m_orders.isEmpty())
                m_orders = makeOrders(QStringLiteral("orders.db"));
            return m_orders;
        case Template::StaffedOrders:
            if (m_staffed.isEmpty())
                m_staffed = makeStaffed();
            return m_staffed;
        }
        return {};
    }

private:
    QString make(const QString& name, const QString& schema) {
        const QString path = m_dir.filePath(name);
        createSqliteFile(path, dataDir() + u'/' + schema);
        return path;
    }
    QString makeConfig(const QString& name) { return make(name, QStringLiteral("config.sql")); }
    QString makeOrders(const QString& name) { return make(name, QStringLiteral("orders.sql")); }
    QString makeStaffed() {
        const QString path = makeOrders(QStringLiteral("staffed.db"));
        // Closed before it is copied: the write-ahead log goes back into the file.
        Connection c;
        openOrders(c, path);
        for (const char* name : {"张三", "李四", "张三"})
            execute(c, QStringLiteral("insert into [df_Staff] ([Name]) values (?)"),
                    {QString::fromUtf8(name)});
        execute(c, QStringLiteral("insert into [df_Shop] ([Name]) values ('小店A'), ('小店B')"));
        execute(c, QStringLiteral("insert into [df_SndStyle] ([Style], [bMonth]) values "
                                  "('圆通速递', 1), ('EMS', 0)"));
        return path;
    }

    QMutex m_lock;
    QTemporaryDir m_dir;
    QString m_config;
    QString m_orders;
    QString m_staffed;
};

Templates& templates() {
    static Templates t;
    return t;
}

} // namespace

QString copyTemplate(Template t, const QString& path) {
    const QString from = templates().path(t);
    if (!QFile::copy(from, path))
        throw Error(QStringLiteral("Cannot copy %1 to %2.").arg(from, path));
    return path;
}

DbFolder::DbFolder(Template ordersTemplate, const QString& ordersName)
    : folder(m_dir.path() + u'/')
    , configPath(copyTemplate(Template::Config, m_dir.filePath(QStringLiteral("db.mdb"))))
    , ordersPath(copyTemplate(ordersTemplate, m_dir.filePath(ordersName))) {
    openConfig(config, configPath);
    openOrders(orders, ordersPath);
}

} // namespace tv::test
