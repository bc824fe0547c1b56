#include "support/TdsServer.h"

#include "config/ConfigDb.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace tv::test {

TdsServer::TdsServer() = default;

TdsServer::~TdsServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel(); // the server stops when its input closes
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

void TdsServer::writeScript(const QJsonObject& script) {
    QSaveFile f(m_dir.filePath(QStringLiteral("script.json")));
    f.open(QIODevice::WriteOnly);
    f.write(QJsonDocument(script).toJson());
    f.commit();
}

QJsonObject TdsServer::script(const QString& collation, const QJsonArray& answers) {
    QJsonArray all = answers;
    // SQLGetTypeInfo(SQL_TIMESTAMP): Qt reads the third column of the first row, the column
    // size of datetime, and keeps milliseconds in date-time parameters from it.
    all.append(QJsonObject{
        {QStringLiteral("contains"), QStringLiteral("sp_datatype_info_100 11")},
        {QStringLiteral("kind"), QStringLiteral("batch")},
        {QStringLiteral("columns"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("TYPE_NAME")},
                                {QStringLiteral("type"), QStringLiteral("varchar")},
                                {QStringLiteral("length"), 128}},
                    QJsonObject{{QStringLiteral("name"), QStringLiteral("DATA_TYPE")},
                                {QStringLiteral("type"), QStringLiteral("smallint")}},
                    QJsonObject{{QStringLiteral("name"), QStringLiteral("PRECISION")},
                                {QStringLiteral("type"), QStringLiteral("int")}}}},
        {QStringLiteral("rows"), QJsonArray{QJsonArray{QStringLiteral("datetime"), 93, 23}}}});
    all.append(
        QJsonObject{{QStringLiteral("proc"), QStringLiteral("sp_cursoropen")},
                    {QStringLiteral("contains"), QStringLiteral("SET QUOTED_IDENTIFIER ON")}});
    return QJsonObject{{QStringLiteral("collation"), collation}, {QStringLiteral("answers"), all}};
}

bool TdsServer::start(const QJsonObject& script) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    writeScript(script);
    m_process.setProgram(QStringLiteral("/usr/bin/python3"));
    m_process.setArguments({QStringLiteral(TOLVANE_SOURCE_DIR "/tests/support/tds_server.py"),
                            QStringLiteral("--script"),
                            m_dir.filePath(QStringLiteral("script.json")), QStringLiteral("--log"),
                            m_dir.filePath(QStringLiteral("log.jsonl")),
                            QStringLiteral("--exit-on-stdin-eof")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    // The first line is "port N" once the server accepts connections.
    const QDeadlineTimer deadline(30000);
    while (!m_process.canReadLine()) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired() ||
            !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_error = QStringLiteral("the TDS server did not start: ") +
                      QString::fromUtf8(m_process.readAll());
            return false;
        }
    }
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith("port ") ? line.mid(5).toInt() : 0;
    if (m_port <= 0)
        m_error = QStringLiteral("the TDS server said: ") + QString::fromUtf8(line);
    return m_port > 0;
}

QString TdsServer::dataSource() const {
    return QStringLiteral("127.0.0.1,%1").arg(m_port);
}

QString TdsServer::connectionString(const QString& catalog, const QString& user,
                                    const QString& password) const {
    Settings s;
    s.ipAddress = dataSource();
    s.dataBase = catalog;
    s.user = user;
    s.password = password;
    return orderConnectionString(s);
}

void TdsServer::setScript(const QJsonObject& script) {
    writeScript(script);
}

QList<QJsonObject> TdsServer::records() const {
    QList<QJsonObject> out;
    QFile f(m_dir.filePath(QStringLiteral("log.jsonl")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    }
    return out;
}

QList<QJsonObject> TdsServer::requests() const {
    QList<QJsonObject> out;
    for (const QJsonObject& r : records()) {
        const QString kind = r.value(QStringLiteral("kind")).toString();
        if (kind == QLatin1String("batch") || kind == QLatin1String("rpc") ||
            kind == QLatin1String("tm"))
            out.append(r);
    }
    return out;
}

} // namespace tv::test
