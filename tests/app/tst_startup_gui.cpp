// Start-up paths of the main window, the option writers, the result lines and the login dialog.
#include "FormBench.h"
#include "app/main.h"
#include "config/dlsz.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/GuiDialogs.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingSoundPlayer.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

using namespace tv;

namespace {

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

    RecordingSoundPlayer m_sound;

private slots:
    void init() {
        m_sound.clear();
        setSoundPlayer(&m_sound);
    }
    void cleanup() {
        setSoundPlayer(nullptr);
        setModalRunner({});
    }

    void bothDatabasesOpen() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        bench.setSettings(
            QStringLiteral("check3 = 1, DefaultOpr = '李四', check4 = 1, check6 = 2"));
        auto form = bench.start(QDate(2026, 12, 11));

        QCOMPARE(boxes.texts(), QStringList());
        const QStringList operators = {QString(), QStringLiteral("Tolvane"), QStringLiteral("张三"),
                                       QStringLiteral("李四"), QStringLiteral("张三")};
        QCOMPARE(items(form->ComboBoxOpr), operators);
        QCOMPARE(items(form->ComboBoxSndOpr), operators);
        QCOMPARE(items(form->ComboBoxShop),
                 QStringList({QString(), QStringLiteral("小店A"), QStringLiteral("小店B")}));
        QCOMPARE(items(form->ComboBoxSnd),
                 QStringList({QString(), QStringLiteral("圆通速递"), QStringLiteral("EMS")}));

        QVERIFY(form->CheckBox3->isChecked());
        QCOMPARE(form->ComboBoxOpr->currentText(), QStringLiteral("李四"));
        QVERIFY(!form->ComboBoxOpr->isEnabled());
        QVERIFY(form->CheckBox4->isChecked());
        QVERIFY(!form->CheckBox5->isChecked());
        QVERIFY(form->CheckBox6->isChecked());
        QVERIFY(!form->CheckBox7->isChecked());
        // Restoring runs the click handling, which writes each changed option back.
        const Record row = bench.settings();
        QCOMPARE(row.integer(QStringLiteral("check3")), 1);
        QCOMPARE(row.text(QStringLiteral("DefaultOpr")), QStringLiteral("李四"));
        QCOMPARE(row.integer(QStringLiteral("check6")), 1);
        QCOMPARE(row.integer(QStringLiteral("check5")), 0);

        QCOMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
        QCOMPARE(form->DateTimePickerFrom->date(), QDate(2026, 12, 1));
        QCOMPARE(form->DateTimePickerTo->date(), QDate(2026, 12, 11));
        QCOMPARE(form->PageControl1->currentIndex(), 0);
        QCOMPARE(m_sound.played(), QStringList{QStringLiteral("./Welcome.wav")});
        QCOMPARE(
            form->windowTitle(),
            QStringLiteral("Tolvane V1.0   Ver.Build201109020800  https://tolvane.taobao.com  "));
        form->show();
        QCOMPARE(form->size(), QSize(792, 594));
        QCOMPARE(form->PageControl1->tabText(1), QStringLiteral("查询及导出"));
        QCOMPARE(form->PageControl1->tabText(2), QStringLiteral("设置页面"));
    }

    void rememberedOperator_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("written");
        QTest::newRow("no longer among the staff") << QStringLiteral("王五") << -1 << QString();
        QTest::newRow("empty text selects the empty entry") << QString() << 0 << QString();
        QTest::newRow("the comparison is case-sensitive")
            << QStringLiteral("tolvane") << -1 << QString();
        QTest::newRow("the pseudo-operator")
            << QStringLiteral("Tolvane") << 1 << QStringLiteral("Tolvane");
    }
    void rememberedOperator() {
        QFETCH(QString, stored);
        QFETCH(int, selected);
        QFETCH(QString, written);
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        execute(bench.config, QStringLiteral("update [pwd] set check3 = 1, DefaultOpr = ?"),
                {stored});
        auto form = bench.start();
        QCOMPARE(form->ComboBoxOpr->currentIndex(), selected);
        QVERIFY(form->CheckBox3->isChecked());
        QVERIFY(!form->ComboBoxOpr->isEnabled());
        QCOMPARE(bench.settings().text(QStringLiteral("DefaultOpr")), written);
    }

    void configurationMissing() {
        ScopedRecordingBoxes boxes;
        QTemporaryDir dir;
        TForm1::Environment env;
        env.folder = dir.path() + u'/';
        env.startScaleReader = false;
        TForm1 form(env);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("程序配置文件访问失败!")});
        QCOMPARE(form.ComboBoxOpr->count(), 0);
        QCOMPARE(form.ComboBoxShop->count(), 0);
        QCOMPARE(form.Edit2->text(), QString());
        QVERIFY(!form.scaleReader());
        QVERIFY(m_sound.played().isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("db.mdb"))));
    }

    void orderDatabaseUnreachable() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        bench.setSettings(
            QStringLiteral("IPAddress = 'sqlite:missing.db', check4 = 1, check3 = 1"));
        auto form = bench.start();
        QCOMPARE(boxes.texts(),
                 QStringList{QStringLiteral("数据库访问失败,请重新设置数据库参数!")});
        for (QComboBox* b :
             {form->ComboBoxOpr, form->ComboBoxSndOpr, form->ComboBoxShop, form->ComboBoxSnd})
            QCOMPARE(b->count(), 0);
        QVERIFY(!form->CheckBox4->isChecked());
        QVERIFY(!form->CheckBox3->isChecked());
        QVERIFY(form->ComboBoxOpr->isEnabled());
        QCOMPARE(form->Edit2->text(), QStringLiteral("电子秤未连接"));
        QCOMPARE(m_sound.played(), QStringList{QStringLiteral("./Welcome.wav")});
        QVERIFY(!QFile::exists(bench.filePath(QStringLiteral("missing.db"))));
    }

    void firstOfTheMonth() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start(QDate(2027, 3, 1));
        QCOMPARE(form->DateTimePickerFrom->date(), QDate(2027, 3, 1));
        QCOMPARE(form->DateTimePickerTo->date(), QDate(2027, 3, 1));
    }

    void missingSettingsColumnAbortsStartUp() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        execute(bench.config, QStringLiteral("alter table [pwd] drop column [check7]"));
        QVERIFY_THROWS_EXCEPTION(Error, bench.start());
    }

    void optionClicksStoreAtOnce() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start();
        const QSqlRecord before = bench.settings().sqlRecord();
        for (int i = 0; i < 10; ++i)
            form->CheckBox4->click();
        form->CheckBox4->click();
        const QSqlRecord after = bench.settings().sqlRecord();
        for (int i = 0; i < before.count(); ++i) {
            if (before.fieldName(i) == QLatin1String("check4"))
                QCOMPARE(after.value(i).toInt(), 1);
            else
                QCOMPARE(after.value(i), before.value(i));
        }
        // Unticking the summary option empties the goods list at once.
        new QTreeWidgetItem(form->ListViewDetail, {QStringLiteral("纯棉T恤")});
        form->CheckBox4->click();
        QCOMPARE(form->ListViewDetail->topLevelItemCount(), 0);
        QCOMPARE(bench.settings().integer(QStringLiteral("check4")), 0);
        QVERIFY(boxes.texts().isEmpty());
    }

    void rememberStoresTheOperatorShown() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start();
        form->CheckBox3->click();
        QCOMPARE(bench.settings().text(QStringLiteral("DefaultOpr")), QString());
        QCOMPARE(bench.settings().integer(QStringLiteral("check3")), 1);
        QVERIFY(!form->ComboBoxOpr->isEnabled());
        form->CheckBox3->click();
        QVERIFY(form->ComboBoxOpr->isEnabled());
        form->ComboBoxOpr->setCurrentIndex(3);
        form->CheckBox3->click();
        QCOMPARE(bench.settings().text(QStringLiteral("DefaultOpr")), QStringLiteral("李四"));
        form->CheckBox3->click();
        QCOMPARE(bench.settings().integer(QStringLiteral("check3")), 0);
        QCOMPARE(bench.settings().text(QStringLiteral("DefaultOpr")), QStringLiteral("李四"));
    }

    void reportScanResult() {
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start();
        m_sound.clear();
        QCOMPARE(form->ReportScanResult(QStringLiteral("first"), true), 0);
        QCOMPARE(form->ReportScanResult(QStringLiteral("second"), false), 1);
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("first\nsecond"));
        QCOMPARE(m_sound.played(),
                 QStringList({QStringLiteral("./True.wav"), QStringLiteral("./False.wav")}));
    }

    void loginSettings_data() {
        QTest::addColumn<QStringList>("typed"); // server, catalog, user, password, confirmation
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("stored");
        const QString empty = QStringLiteral("输入不能为空!");
        const QString differ = QStringLiteral("输入的密码不相同,失败!");
        const QString done = QStringLiteral("数据库配置修改成功,请退出重新启动程序!");
        QTest::newRow("all empty: one message")
            << QStringList{"", "", "", "a", "b"} << true << empty << false;
        QTest::newRow("catalog empty")
            << QStringList{"h", "", "u", "", ""} << true << empty << false;
        QTest::newRow("blanks are not empty")
            << QStringList{" ", " ", " ", "", ""} << true << done << true;
        QTest::newRow("passwords differ")
            << QStringList{"h", "d", "u", "a", "b"} << true << differ << false;
        QTest::newRow("empty password and confirmation")
            << QStringList{"h", "d", "u", "", ""} << true << done << true;
        QTest::newRow("server with an instance")
            << QStringList{"srv\\SQLEXPRESS", "d", "u", "p;w}d'", "p;w}d'"} << true << done << true;
        QTest::newRow("cancel") << QStringList{"h", "d", "u", "", ""} << false << QString()
                                << false;
    }
    void loginSettings() {
        QFETCH(QStringList, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        QFETCH(bool, stored);
        ScopedRecordingBoxes boxes;
        test::FormBench bench;
        auto form = bench.start();
        form->createDialogs();
        const QString connectionBefore = form->orderConnectionString();
        const Record before = bench.settings();
        QString shownServer;
        setModalRunner([&](QDialog& d) {
            d.show();
            auto* dlg = static_cast<TDlszDlg*>(&d);
            shownServer = dlg->Edit1->text();
            const QList<QLineEdit*> edits = {dlg->Edit1, dlg->Edit2, dlg->Edit3, dlg->Edit4,
                                             dlg->Edit5};
            for (int i = 0; i < edits.size(); ++i)
                edits[i]->setText(typed[i]);
            accepted ? d.accept() : d.reject();
            return d.result();
        });
        form->BitBtn2->click();
        QCOMPARE(shownServer, before.text(QStringLiteral("IPAddress")));
        QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        const Record after = bench.settings();
        const QStringList columns = {"IPAddress", "DataBase", "User", "Password"};
        for (int i = 0; i < columns.size(); ++i)
            QCOMPARE(after.text(columns[i]), stored ? typed[i] : before.text(columns[i]));
        // Nothing in memory changes: the running login stays until the next start.
        QCOMPARE(form->orderConnectionString(), connectionBefore);
        QVERIFY(form->ADOConnectionSQL.isOpen());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup_gui.moc"
