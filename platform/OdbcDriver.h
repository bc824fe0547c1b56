#pragma once

#include <QSqlDriver>
#include <QString>

#include <memory>

namespace tv {

class OdbcResult;
struct OdbcDriverState;

// A Qt SQL driver for SQL Server over the ODBC API (unixODBC with the FreeTDS driver).
// Qt's own ODBC driver binds text as 8-bit strings when it sees FreeTDS, so Chinese text
// fails on a server whose code page cannot hold it, and it prepares and unprepares every
// statement. This one sends what the order database needs and nothing else:
// - a statement with parameters goes out as one sp_executesql request; one without as a batch;
// - text made only of ASCII characters is bound as VARCHAR (every server code page holds it
//   unchanged, and a varchar column compared with it keeps its index seek), any other text
//   as NVARCHAR; both with a fixed declared length (8000 / 4000), so an empty text is valid
//   and one statement keeps one plan;
// - rows are read forward only; before another statement goes out on the connection, the
//   rows still unread of the previous one are read into memory (a TDS connection carries one
//   statement at a time);
// - a transaction is "begin transaction" and "commit transaction": one request each;
// - opening sends the login alone.
// A connection that the server or the network dropped is marked broken; reconnect() opens it
// again with the same login.
class OdbcDriver : public QSqlDriver {
    Q_OBJECT
public:
    explicit OdbcDriver(QObject* parent = nullptr);
    ~OdbcDriver() override;

    // Seconds that the login may take; taken at the next open.
    void setLoginTimeout(int seconds);

    // db is the whole ODBC connection string; user and password travel inside it.
    bool open(const QString& db, const QString& user, const QString& password, const QString& host,
              int port, const QString& options) override;
    void close() override;
    bool hasFeature(DriverFeature feature) const override;
    QSqlResult* createResult() const override;
    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;

    // The transaction statements, as they go out.
    static QString beginText() { return QStringLiteral("begin transaction"); }
    static QString commitText() { return QStringLiteral("commit transaction"); }
    static QString rollbackText() {
        return QStringLiteral("if @@trancount > 0 rollback transaction");
    }

    // The server or the network dropped the connection; nothing goes out until reconnect().
    bool isBroken() const;
    // Logs in again with the connection string of the last open; any transaction of the
    // dropped connection died with it.
    bool reconnect();

private:
    friend class OdbcResult;
    bool connectNow();
    bool runBatch(const QString& text, const QString& what);

    std::unique_ptr<OdbcDriverState> m_state;
};

} // namespace tv
