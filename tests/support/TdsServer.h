#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tv::test {

// The scripted TDS server (tests/support/tds_server.py) in its own process, on a free port of
// 127.0.0.1: it logs the real driver in, records every request and answers from the script.
class TdsServer {
public:
    TdsServer();
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // A script for a server of the given collation: the answers, then the two requests that
    // Qt's ODBC driver sends on every open (its date-time precision probe and
    // "SET QUOTED_IDENTIFIER ON"), answered as SQL Server does.
    static QJsonObject script(const QString& collation, const QJsonArray& answers = {});

    // Starts the server with a script (see tds_server.py); false with errorText() on failure.
    bool start(const QJsonObject& script);
    const QString& errorText() const { return m_error; }
    int port() const { return m_port; }
    // "127.0.0.1,<port>", as the login dialog takes it.
    QString dataSource() const;
    // An order-database connection string for this server.
    QString connectionString(const QString& catalog = QStringLiteral("Shop"),
                             const QString& user = QStringLiteral("sa"),
                             const QString& password = QStringLiteral("pw")) const;

    // Replaces the script; the server takes it at its next request.
    void setScript(const QJsonObject& script);

    // Everything recorded so far, in order.
    QList<QJsonObject> records() const;
    // The batch, RPC and transaction requests alone.
    QList<QJsonObject> requests() const;

private:
    void writeScript(const QJsonObject& script);

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    int m_port = 0;
};

} // namespace tv::test
