// The main window over SQL Server's wire: the order database is the scripted TDS server,
// reached through Qt's ODBC driver and FreeTDS as in a shop.
#include "FormBench.h"
#include "app/main.h"
#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/SoundPlayer.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingSoundPlayer.h"
#include "support/TdsServer.h"

#include <QComboBox>
#include <QJsonArray>
#include <QTest>

using namespace tv;

namespace {

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

// One text column answering the select that contains `from`.
QJsonObject listAnswer(const QString& from, const QString& column, const QString& type,
                       const QStringList& values) {
    QJsonArray rows;
    for (const QString& v : values)
        rows.append(QJsonArray{v});
    return QJsonObject{
        {QStringLiteral("contains"), from},
        {QStringLiteral("columns"), QJsonArray{QJsonObject{{QStringLiteral("name"), column},
                                                           {QStringLiteral("type"), type},
                                                           {QStringLiteral("length"), 50}}}},
        {QStringLiteral("rows"), rows}};
}

} // namespace

class TestSqlServer : public QObject {
    Q_OBJECT

    RecordingSoundPlayer m_sound;

private slots:
    void init() { setSoundPlayer(&m_sound); }
    void cleanup() { setSoundPlayer(nullptr); }

    void startUpLists_data() {
        QTest::addColumn<QString>("collation");
        QTest::addColumn<QString>("textType");
        // Chinese shops keep varchar columns in a Chinese catalog; elsewhere the Chinese
        // texts sit in nvarchar columns of a Latin catalog.
        QTest::newRow("Chinese_PRC_CI_AS, varchar") << "Chinese_PRC_CI_AS"
                                                    << "varchar";
        QTest::newRow("SQL_Latin1_General_CP1_CI_AS, nvarchar") << "SQL_Latin1_General_CP1_CI_AS"
                                                                << "nvarchar";
    }

    // Start-up fills the operator, shop and method lists from the order database, each
    // select read whole before the next one goes out.
    void startUpLists() {
        QFETCH(QString, collation);
        QFETCH(QString, textType);
        test::TdsServer server;
        const QJsonArray answers{
            listAnswer(QStringLiteral("from [df_Staff]"), QStringLiteral("Name"), textType,
                       {QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("张三")}),
            listAnswer(QStringLiteral("from [df_Shop]"), QStringLiteral("Name"), textType,
                       {QStringLiteral("小店A"), QStringLiteral("小店B")}),
            listAnswer(QStringLiteral("from [df_SndStyle]"), QStringLiteral("Style"), textType,
                       {QStringLiteral("圆通速递"), QStringLiteral("EMS")})};
        QVERIFY2(server.start(test::TdsServer::script(collation, answers)),
                 qPrintable(server.errorText()));
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        execute(bench.config,
                QStringLiteral("update [pwd] set [IPAddress] = ?, [User] = ?, [Password] = ?, "
                               "[DataBase] = ?"),
                {server.dataSource(), QStringLiteral("sa"), QStringLiteral("密码;1"),
                 QStringLiteral("订单")});
        auto form = bench.start();

        QCOMPARE(boxes.texts(), QStringList());
        const QStringList operators = {QString(), QStringLiteral("Tolvane"), QStringLiteral("张三"),
                                       QStringLiteral("李四"), QStringLiteral("张三")};
        QCOMPARE(items(form->ComboBoxOpr), operators);
        QCOMPARE(items(form->ComboBoxSndOpr), operators);
        QCOMPARE(items(form->ComboBoxShop),
                 QStringList({QString(), QStringLiteral("小店A"), QStringLiteral("小店B")}));
        QCOMPARE(items(form->ComboBoxSnd),
                 QStringList({QString(), QStringLiteral("圆通速递"), QStringLiteral("EMS")}));

        // On the wire: the three selects in this order, each answered from the script, and
        // no cancel (attention) once the lists began, so no rows were left unread.
        QStringList selects;
        bool listsBegan = false;
        for (const QJsonObject& r : server.records()) {
            const QString text = r.value(QLatin1String("text")).toString();
            listsBegan = listsBegan || text.contains(QLatin1String("from [df_"));
            if (listsBegan)
                QVERIFY2(r.value(QLatin1String("kind")).toString() != QLatin1String("attention"),
                         "a statement was cancelled with rows unread");
            if (text.contains(QLatin1String("from [df_"))) {
                selects.append(text);
                QCOMPARE(r.value(QLatin1String("answered")).toString(), QStringLiteral("script"));
            }
        }
        QCOMPARE(selects, QStringList({QStringLiteral("select [Name] from [df_Staff]"),
                                       QStringLiteral("select [Name] from [df_Shop]"),
                                       QStringLiteral("select [Style] from [df_SndStyle]")}));
    }
};

QTEST_MAIN(TestSqlServer)
#include "tst_sqlserver_gui.moc"
