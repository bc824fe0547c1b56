// The scan's check settings: the fourth button of the settings tab, its dialog and the row it
// stores, each test on a fresh window.
#include "app/FormBench.h"
#include "config/fhjcsz.h"
#include "platform/gui/GuiDialogs.h"
#include "support/RecordingMessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

using namespace tv;

Q_DECLARE_METATYPE(tv::ScanCheck)

namespace {

// What the dialog showed when it came up, then the user's edits and OK or Cancel.
struct Shown {
    bool stable = false;
    QString grams;
    QString percent;
    bool explain = false;
    QString title;
};

Shown answerDialog(TForm1& form, const std::function<void(TFhjcszDlg&)>& edit, bool ok) {
    Shown shown;
    setModalRunner([&](QDialog& d) {
        auto& dlg = static_cast<TFhjcszDlg&>(d);
        shown = {dlg.CheckBox1->isChecked(), dlg.Edit1->text(), dlg.Edit2->text(),
                 dlg.CheckBox2->isChecked(), dlg.windowTitle()};
        if (edit)
            edit(dlg);
        ok ? d.accept() : d.reject();
        return d.result();
    });
    form.BitBtn4->click();
    setModalRunner({});
    return shown;
}

ScanCheck storedRow(test::FormBench& bench) {
    const Record r = selectRows(bench.config, "select * from [ScanCheck] where [ID] = 1").front();
    return {r.integer("StableOnly") != 0, r.integer("MaxDiffGrams"), r.integer("MaxDiffPercent"),
            r.integer("ExplainRefusal") != 0};
}

// Types text key by key, as a keyboard or an input method would.
void typeInto(QLineEdit* field, const QString& text) {
    field->clear();
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
        } else {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(field, &press);
        }
    }
}

} // namespace

class TestFhjcsz : public QObject {
    Q_OBJECT
private slots:
    void buttonAndCaptions();
    void showsStoredRow();
    void okStoresAndScanUsesIt();
    void cancelStoresNothing();
    void digitsOnly_data();
    void digitsOnly();
};

void TestFhjcsz::buttonAndCaptions() {
    test::FormBench bench;
    auto form = bench.start();
    form->createDialogs();
    QCOMPARE(form->BitBtn4->text(), QStringLiteral("发货检查设置"));
    QCOMPARE(form->BitBtn4->parentWidget(), form->BitBtn3->parentWidget());
    TFhjcszDlg& dlg = *form->FhjcszDlg;
    QCOMPARE(dlg.CheckBox1->text(), QStringLiteral("只接受稳定重量"));
    QCOMPARE(dlg.Label1->text(), QStringLiteral("重量差上限（克）"));
    QCOMPARE(dlg.Label2->text(), QStringLiteral("重量差上限（%）"));
    QCOMPARE(dlg.CheckBox2->text(), QStringLiteral("未找到订单时显示原因"));
    const Shown shown = answerDialog(*form, {}, false);
    QCOMPARE(shown.title, QStringLiteral("发货检查设置"));
    // A new file starts with every check off.
    QCOMPARE(shown.stable, false);
    QCOMPARE(shown.grams, QStringLiteral("0"));
    QCOMPARE(shown.percent, QStringLiteral("0"));
    QCOMPARE(shown.explain, false);
}

void TestFhjcsz::showsStoredRow() {
    test::FormBench bench;
    execute(bench.config, "update [ScanCheck] set [StableOnly] = 1, [MaxDiffGrams] = 250, "
                          "[MaxDiffPercent] = 10, [ExplainRefusal] = 1");
    auto form = bench.start();
    form->createDialogs();
    const Shown shown = answerDialog(*form, {}, false);
    QCOMPARE(shown.stable, true);
    QCOMPARE(shown.grams, QStringLiteral("250"));
    QCOMPARE(shown.percent, QStringLiteral("10"));
    QCOMPARE(shown.explain, true);
}

void TestFhjcsz::okStoresAndScanUsesIt() {
    ScopedRecordingBoxes boxes;
    test::FormBench bench;
    auto form = bench.start();
    form->createDialogs();
    answerDialog(
        *form,
        [](TFhjcszDlg& d) {
            d.CheckBox1->setChecked(true);
            typeInto(d.Edit1, "80");
            typeInto(d.Edit2, "");
            d.CheckBox2->setChecked(true);
        },
        true);
    const ScanCheck expected{true, 80, 0, true};
    QCOMPARE(storedRow(bench), expected);
    QCOMPARE(form->scanCheck(), expected);
    QVERIFY(boxes.texts().isEmpty());

    // The next showing shows what was stored.
    const Shown again = answerDialog(*form, {}, false);
    QCOMPARE(again.grams, QStringLiteral("80"));
    QCOMPARE(again.percent, QStringLiteral("0"));

    // The very next scan weighs with it: no reader here, so no fresh reading.
    form->Edit2->setText("1.25");
    form->Edit1->setText("YT1001");
    form->ComboBoxOpr->setCurrentIndex(1);
    form->Button1->click();
    QVERIFY2(form->Memo1->toPlainText().endsWith(" : YT1001 : 电子秤无新读数,请检查!"),
             qPrintable(form->Memo1->toPlainText()));
}

void TestFhjcsz::cancelStoresNothing() {
    test::FormBench bench;
    auto form = bench.start();
    form->createDialogs();
    answerDialog(
        *form,
        [](TFhjcszDlg& d) {
            d.CheckBox1->setChecked(true);
            typeInto(d.Edit1, "5");
            typeInto(d.Edit2, "7");
            d.CheckBox2->setChecked(true);
        },
        false);
    QCOMPARE(storedRow(bench), ScanCheck{});
    QCOMPARE(form->scanCheck(), ScanCheck{});
    // The cancelled edits are not shown again.
    const Shown again = answerDialog(*form, {}, false);
    QCOMPARE(again.stable, false);
    QCOMPARE(again.grams, QStringLiteral("0"));
    QCOMPARE(again.explain, false);
}

void TestFhjcsz::digitsOnly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits") << "1205"
                            << "1205";
    QTest::newRow("letters between digits") << "12a3"
                                            << "123";
    QTest::newRow("sign") << "-5"
                          << "5";
    QTest::newRow("plus") << "+7"
                          << "7";
    QTest::newRow("decimal point") << "1.5"
                                   << "15";
    QTest::newRow("blank") << " 4 "
                           << "4";
    QTest::newRow("percent sign") << "10%"
                                  << "10";
    QTest::newRow("full-width digit") << "１2"
                                      << "2";
    QTest::newRow("more than nine digits") << "12345678901"
                                           << "123456789";
}

void TestFhjcsz::digitsOnly() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    test::FormBench bench;
    auto form = bench.start();
    form->createDialogs();
    TFhjcszDlg& dlg = *form->FhjcszDlg;
    for (QLineEdit* e : {dlg.Edit1, dlg.Edit2}) {
        typeInto(e, typed);
        QCOMPARE(e->text(), shown);
        // Pasted text goes through the same rule, whole or not at all.
        e->clear();
        e->insert(typed);
        QCOMPARE(e->text(), typed == shown ? typed : QString());
    }
}

QTEST_MAIN(TestFhjcsz)
#include "tst_fhjcsz_gui.moc"
