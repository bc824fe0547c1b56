#pragma once

#include <QList>
#include <QString>

namespace tv {

class Connection;

// The executable's folder with a trailing "/", whatever the working directory.
QString executableFolder();

// Connection string of the configuration database db.mdb in the given folder.
QString configConnectionString(const QString& folder);

// The settings row (ID 1) of table pwd.
struct Settings {
    QString ipAddress;
    QString user;
    QString password;
    QString dataBase;
    qint32 com = 0;
    qint32 scaleType = 0;
    QString defaultOpr;
    // check3 .. check7: any value other than 0 reads as set.
    bool check3 = false;
    bool check4 = false;
    bool check5 = false;
    bool check6 = false;
    bool check7 = false;
};

// Connection string of the order database, built from the settings row's login.
QString orderConnectionString(const Settings& s);

// The order-database login as the login dialog holds it when confirmed.
struct LoginInput {
    QString ipAddress;
    QString dataBase;
    QString user;
    QString password;
    QString confirmation;
};

// The message that refuses the login, or empty text when it may be stored: server, catalog and
// user must not be empty (blanks count as text), and the password must match its confirmation.
QString checkLogin(const LoginInput& login);

// Reads and writes of the configuration database. Each writer assigns exactly its columns.
// Throw tv::Error with the database's text.
class ConfigDb {
public:
    explicit ConfigDb(Connection& connection)
        : m_c(connection) {}

    Settings readSettings();
    // One of the options check4 .. check7.
    void writeOption(const QString& column, bool on);
    // The option "记住": check3 and then DefaultOpr.
    void writeRemember(bool on, const QString& defaultOpr);
    void writeLogin(const QString& ipAddress, const QString& dataBase, const QString& user,
                    const QString& password);
    void writeScale(qint32 com, qint32 scaleType);

    // Sel of ListView1Conf in ColIndex order, one entry per row.
    QList<bool> readColumnChoice();
    // Writes Sel row by row in ColIndex order from the given states; rows beyond them stay.
    void writeColumnChoice(const QList<bool>& shown);

private:
    void updateSettings(const QList<QPair<QString, QVariant>>& assignments);
    Connection& m_c;
};

} // namespace tv
