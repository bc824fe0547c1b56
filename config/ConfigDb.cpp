#include "config/ConfigDb.h"

#include "platform/ConnectionString.h"
#include "platform/Database.h"
#include "platform/Error.h"

#include <QCoreApplication>

namespace tv {

namespace {
// The fixed database password of the supplied file. SQLite has none; it stays in the text.
const QString kJetPassword = QStringLiteral("qmvx.ploreth.zk");
const QString kSettingsRow = QStringLiteral("select * from [pwd] where [ID] = 1");
} // namespace

QString executableFolder() {
    return QCoreApplication::applicationDirPath() + u'/';
}

QString configConnectionString(const QString& folder) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0") +
           QStringLiteral(";Jet OLEDB:Database Password=") + kJetPassword +
           QStringLiteral(";Data Source=") +
           AdoConnectionString::quoteValue(folder + QStringLiteral("db.mdb")) +
           QStringLiteral(";Persist Security Info=True");
}

QString orderConnectionString(const Settings& s) {
    // Values that hold ';', a quote or edge blanks are quoted, so none can add or change a key.
    const auto q = &AdoConnectionString::quoteValue;
    return QStringLiteral("Provider=SQLOLEDB.1;Password=") + q(s.password) +
           QStringLiteral(";Persist Security Info=True;User ID=") + q(s.user) +
           QStringLiteral(";Initial Catalog=") + q(s.dataBase) + QStringLiteral(";Data Source=") +
           q(s.ipAddress);
}

QString checkLogin(const LoginInput& login) {
    if (login.ipAddress.isEmpty() || login.dataBase.isEmpty() || login.user.isEmpty())
        return QStringLiteral("输入不能为空!");
    if (login.password != login.confirmation)
        return QStringLiteral("输入的密码不相同,失败!");
    return QString();
}

Settings ConfigDb::readSettings() {
    const QList<Record> rows = selectRows(m_c, kSettingsRow);
    if (rows.isEmpty())
        throw Error(QStringLiteral("The settings row of the configuration file is missing."));
    const Record& r = rows.front();
    Settings s;
    s.ipAddress = r.text(QStringLiteral("IPAddress"));
    s.user = r.text(QStringLiteral("User"));
    s.password = r.text(QStringLiteral("Password"));
    s.dataBase = r.text(QStringLiteral("DataBase"));
    s.com = r.integer(QStringLiteral("Com"));
    s.scaleType = r.integer(QStringLiteral("ScaleType"));
    s.defaultOpr = r.text(QStringLiteral("DefaultOpr"));
    s.check3 = r.integer(QStringLiteral("check3")) != 0;
    s.check4 = r.integer(QStringLiteral("check4")) != 0;
    s.check5 = r.integer(QStringLiteral("check5")) != 0;
    s.check6 = r.integer(QStringLiteral("check6")) != 0;
    s.check7 = r.integer(QStringLiteral("check7")) != 0;
    return s;
}

void ConfigDb::updateSettings(const QList<QPair<QString, QVariant>>& assignments) {
    if (updateRow(m_c, QStringLiteral("pwd"), QStringLiteral("ID"), 1, assignments) != 1)
        throw Error(QStringLiteral("The settings row of the configuration file is missing."));
}

void ConfigDb::writeOption(const QString& column, bool on) {
    updateSettings({{column, on ? 1 : 0}});
}

void ConfigDb::writeRemember(bool on, const QString& defaultOpr) {
    updateSettings(
        {{QStringLiteral("check3"), on ? 1 : 0}, {QStringLiteral("DefaultOpr"), defaultOpr}});
}

void ConfigDb::writeLogin(const QString& ipAddress, const QString& dataBase, const QString& user,
                          const QString& password) {
    updateSettings({{QStringLiteral("IPAddress"), ipAddress},
                    {QStringLiteral("DataBase"), dataBase},
                    {QStringLiteral("User"), user},
                    {QStringLiteral("Password"), password}});
}

void ConfigDb::writeScale(qint32 com, qint32 scaleType) {
    updateSettings({{QStringLiteral("Com"), com}, {QStringLiteral("ScaleType"), scaleType}});
}

QList<bool> ConfigDb::readColumnChoice() {
    QList<bool> shown;
    for (const Record& r :
         selectRows(m_c, QStringLiteral("select [Sel] from [ListView1Conf] order by [ColIndex]")))
        shown.append(r.integer(QStringLiteral("Sel")) != 0);
    return shown;
}

void ConfigDb::writeColumnChoice(const QList<bool>& shown) {
    const QList<Record> rows = selectRows(
        m_c, QStringLiteral("select [ColIndex] from [ListView1Conf] order by [ColIndex]"));
    Transaction tx(m_c);
    for (qsizetype k = 0; k < rows.size() && k < shown.size(); ++k)
        updateRow(m_c, QStringLiteral("ListView1Conf"), QStringLiteral("ColIndex"),
                  rows[k].value(QStringLiteral("ColIndex")),
                  {{QStringLiteral("Sel"), shown[k] ? 1 : 0}});
    tx.commit();
}

} // namespace tv
