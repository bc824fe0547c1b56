#include "platform/SqliteFile.h"

#include "platform/Error.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace tv {

namespace {
QAtomicInteger<int> g_serial;
}

QString readTextFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("%1: %2").arg(path, f.errorString()));
    return QString::fromUtf8(f.readAll());
}

void createSqliteFile(const QString& path, const QString& schemaPath) {
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("%1 exists already.").arg(path));
    const QString script = readTextFile(schemaPath);
    {
        // Create the file empty and private before SQLite writes anything into it.
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw Error(QStringLiteral("%1: %2").arg(path, f.errorString()));
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    const QString name = QStringLiteral("tolvane-create-%1").arg(g_serial.fetchAndAddRelaxed(1));
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery q(db);
            QString statement;
            bool inTransaction = false;
            for (const QString& line : script.split(u'\n')) {
                const QString t = line.trimmed();
                if (t.startsWith(QLatin1String("--")) || (t.isEmpty() && statement.isEmpty()))
                    continue;
                statement += line + u'\n';
                if (t.endsWith(u';')) {
                    // Pragmas (the journal mode among them) cannot run inside a transaction;
                    // everything else is written in one, which makes a new file quick.
                    const bool pragma = statement.trimmed().startsWith(QLatin1String("pragma"),
                                                                       Qt::CaseInsensitive);
                    if (!pragma && !inTransaction)
                        inTransaction = q.exec(QStringLiteral("begin"));
                    if (!q.exec(statement.trimmed())) {
                        failure = q.lastError().text() + QStringLiteral(": ") + statement;
                        break;
                    }
                    statement.clear();
                }
            }
            if (inTransaction && failure.isEmpty() && !q.exec(QStringLiteral("commit")))
                failure = q.lastError().text();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        QFile::remove(path);
        throw Error(failure);
    }
}

} // namespace tv
