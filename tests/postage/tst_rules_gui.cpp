#include "app/main.h"
#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/GuiDialogs.h"
#include "postage/Postage.h"
#include "postage/Provinces.h"
#include "postage/RuleStore.h"
#include "postage/bjgz.h"
#include "postage/bjgz1.h"
#include "postage/yfsz.h"
#include "support/Databases.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingSoundPlayer.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace tv;

namespace {

const QString kM = QStringLiteral("圆通速递");
const QString kN = QStringLiteral("EMS");
const QString kAddFailed = QStringLiteral("规则添加失败，请检查字段!");
const QString kAdded = QStringLiteral("规则添加成功!");
const QString kModifyFailed = QStringLiteral("规则修改失败，请检查字段!");
const QString kModified = QStringLiteral("规则修改成功!");
const QString kChooseRule = QStringLiteral("请选择规则!");

// Interval rows as the editor holds them: end weight, allowance, fee, step, step fee.
using Rows = QList<QStringList>;

Rows rowsEnding(const QList<int>& ends) {
    Rows out;
    for (int e : ends)
        out.append({QString::number(e), "1000", "10", "500", "5"});
    return out;
}

QListWidgetItem* entry(QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text() == text)
            return list->item(i);
    }
    return nullptr;
}

QStringList checked(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            out.append(list->item(i)->text());
    }
    return out;
}

// Types into the editor as a user would: method, provinces through the picker, rows.
void fill(TBjgzDlg& e, const QString& method, const QStringList& provinces, const Rows& rows) {
    e.ComboBoxSnd->setCurrentIndex(e.ComboBoxSnd->findText(method));
    e.Edit1Click();
    for (const QString& p : provinces)
        entry(e.CheckListBox2, p)->setCheckState(Qt::Checked);
    e.Button1->click();
    for (qsizetype k = 0; k < rows.size(); ++k) {
        QLineEdit* edits[] = {e.EndWeightEdits[k], e.BeginChargeWeightEdits[k],
                              e.BeginChargeFeeEdits[k], e.DetaWeightEdits[k], e.DetaFeeEdits[k]};
        for (int c = 0; c < 5; ++c)
            edits[c]->setText(rows[k].value(c));
    }
}

Rows editorRows(const TBjgzDlg& e) {
    Rows out;
    for (int k = 0; k < 9 && !e.EndWeightEdits[k]->text().isEmpty(); ++k)
        out.append({e.EndWeightEdits[k]->text(), e.BeginChargeWeightEdits[k]->text(),
                    e.BeginChargeFeeEdits[k]->text(), e.DetaWeightEdits[k]->text(),
                    e.DetaFeeEdits[k]->text()});
    return out;
}

QStringList lines(const TYfszDlg& d) {
    QStringList out;
    for (int i = 0; i < d.ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = d.ListView1->topLevelItem(i);
        out.append(QStringList({it->text(0), it->text(1), it->text(2), it->text(3)}).join(u'|'));
    }
    return out;
}

QStringList tableRows(Connection& c) {
    QStringList out;
    for (const Record& r : selectRows(c, QStringLiteral("select * from [rule] order by [ID]")))
        out.append(QStringList({r.text("Express"), r.text("Province"), r.text("RuleIndex"),
                                r.text("StartWeight"), r.text("EndWeight")})
                       .join(u'|'));
    return out;
}

// The configuration and order databases of one test, with three logistics methods.
struct Bench : test::DbFolder {
    Bench() {
        execute(orders, QStringLiteral("insert into [df_SndStyle] ([Style]) values "
                                       "('圆通速递'), ('申通快递'), ('EMS')"));
    }
};

// The dialogs of one test, created in the program's order: list, then the two editors.
struct Windows {
    explicit Windows(Bench& b)
        : list(new TYfszDlg(nullptr, &b.config))
        , add(new TBjgzDlg(nullptr, &b.orders))
        , modify(new TBjgzDlg1(nullptr, &b.orders)) {
        list->setEditors(add.get(), modify.get());
    }
    std::unique_ptr<TYfszDlg> list;
    std::unique_ptr<TBjgzDlg> add;
    std::unique_ptr<TBjgzDlg1> modify;
};

} // namespace

class TestRulesGui : public QObject {
    Q_OBJECT

    RecordingSoundPlayer m_sound;
    // Answers the next modal dialog: fills it and returns true for OK, false for Cancel.
    std::function<bool(QDialog&)> m_answer;
    int m_modalCount = 0;
    int m_clockTicks = 0;

    // Saves straight through the store, one minute apart, so stamps give the save order.
    void save(Connection& c, const QString& method, const QStringList& provinces,
              const QList<int>& ends) {
        QList<RuleInterval> intervals;
        int start = 0;
        for (int e : ends) {
            intervals.append(
                {QString::number(start), QString::number(e), "1000", "10", "500", "5"});
            start = e;
        }
        QVERIFY(SaveRule(c, method, provinces, intervals));
    }

private slots:
    void init();
    void cleanup();
    void layout();
    void listLines_data();
    void listLines();
    void deleteRemovesWholeRule();
    void noFocusedLine();
    void modifyOpensFilledEditor();
    void modifyFlows_data();
    void modifyFlows();
    void addFlows_data();
    void addFlows();
    void regionTable();
    void keyFilters_data();
    void keyFilters();
    void startLabels();
    void clearAllWithPickerOpen();
    void commandsDuringLoad();
    void savedRulePricesThroughMainWindow();
};

void TestRulesGui::init() {
    m_sound.clear();
    setSoundPlayer(&m_sound);
    m_answer = nullptr;
    m_modalCount = 0;
    m_clockTicks = 0;
    setRuleClock(
        [this] { return QDateTime(QDate(2012, 3, 7), QTime(10, 0)).addSecs(60 * m_clockTicks++); });
    setModalRunner([this](QDialog& d) {
        ++m_modalCount;
        d.show();
        const bool ok = m_answer && m_answer(d);
        ok ? d.accept() : d.reject();
        return d.result();
    });
}

void TestRulesGui::cleanup() {
    setModalRunner({});
    setRuleClock({});
    setSoundPlayer(nullptr);
}

void TestRulesGui::layout() {
    Bench b;
    Windows w(b);
    QCOMPARE(w.list->windowTitle(), QStringLiteral("运费设置"));
    QCOMPARE(w.list->size(), QSize(660, 469));
    QCOMPARE(w.list->Button1->text(), QStringLiteral("添加规则"));
    QCOMPARE(w.list->Button2->text(), QStringLiteral("修改规则"));
    QCOMPARE(w.list->Button3->text(), QStringLiteral("删除规则"));
    QCOMPARE(w.list->OKBtn->text(), QStringLiteral("OK"));
    QTreeWidget* lv = w.list->ListView1;
    QCOMPARE(lv->headerItem()->text(0), QStringLiteral("规则"));
    QCOMPARE(lv->headerItem()->text(1), QStringLiteral("物流"));
    QCOMPARE(lv->headerItem()->text(2), QStringLiteral("运送到"));
    QCOMPARE(lv->headerItem()->text(3), QStringLiteral("重量区间"));
    QCOMPARE(QList<int>(
                 {lv->columnWidth(0), lv->columnWidth(1), lv->columnWidth(2), lv->columnWidth(3)}),
             QList<int>({40, 70, 400, 95}));

    TBjgzDlg& e = *w.add;
    QCOMPARE(e.windowTitle(), QStringLiteral("添加规则"));
    QCOMPARE(w.modify->windowTitle(), QStringLiteral("修改规则"));
    QCOMPARE(e.size(), QSize(557, 396));
    QCOMPARE(e.Button3->text(), QStringLiteral("全部清空"));
    QCOMPARE(e.ComboBoxSnd->count(), 3);
    QCOMPARE(e.ComboBoxSnd->itemText(2), kN);
    QCOMPARE(e.ComboBoxSnd->currentIndex(), -1);
    QVERIFY(e.ComboBoxSnd->currentText().isEmpty());
    QVERIFY(e.Edit1->isReadOnly());
    QVERIFY(e.Panel1->isHidden());
    QCOMPARE(e.LabelWS1->text(), QStringLiteral("0克~"));
    QCOMPARE(e.StartWeightLabels[0], e.LabelWS1);
    QCOMPARE(e.EndWeightEdits[8], e.EditWE9);
    QCOMPARE(e.DetaFeeEdits[4], e.EditAF5);
    const QStringList units = {"克", "克", "元", "克", "元"};
    for (int n = 0; n < 9; ++n) {
        if (n > 0)
            QCOMPARE(e.StartWeightLabels[n]->text(), QStringLiteral("克~"));
        QLineEdit* row[] = {e.EndWeightEdits[n], e.BeginChargeWeightEdits[n],
                            e.BeginChargeFeeEdits[n], e.DetaWeightEdits[n], e.DetaFeeEdits[n]};
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(row[c]->maxLength(), 6);
            QCOMPARE(e.UnitLabels[n][c]->text(), units[c]);
            if (n > 0)
                QCOMPARE(row[c]->y() - e.EndWeightEdits[n - 1]->y(), 27);
        }
    }
    QStringList regionNames;
    for (const Region& r : regions())
        regionNames.append(r.name);
    QStringList shownRegions, shownProvinces;
    for (int i = 0; i < e.CheckListBox1->count(); ++i)
        shownRegions.append(e.CheckListBox1->item(i)->text());
    for (int i = 0; i < e.CheckListBox2->count(); ++i)
        shownProvinces.append(e.CheckListBox2->item(i)->text());
    QCOMPARE(shownRegions, regionNames);
    QCOMPARE(shownProvinces, provinceNames());
    // Four columns: the fifth entry starts the second line.
    e.show();
    e.Edit1Click();
    QListWidget* p = e.CheckListBox2;
    const QRect r0 = p->visualItemRect(p->item(0));
    QCOMPARE(p->visualItemRect(p->item(3)).top(), r0.top());
    QVERIFY(p->visualItemRect(p->item(3)).left() > r0.left());
    QVERIFY(p->visualItemRect(p->item(4)).top() > r0.top());
    QCOMPARE(p->visualItemRect(p->item(4)).left(), r0.left());

    // Without an open order database the method list stays empty.
    Connection closed;
    TBjgzDlg bare(nullptr, &closed);
    QCOMPARE(bare.ComboBoxSnd->count(), 0);
}

void TestRulesGui::listLines_data() {
    // A save: "method/province,province/end,end".
    QTest::addColumn<QStringList>("saves");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty table") << QStringList() << QStringList();
    QTest::newRow("one rule, two provinces") << QStringList({"圆通速递/北京,上海/500,1000,2000"})
                                             << QStringList({"1|圆通速递|上海;北京;|0~2000克"});
    QTest::newRow("oldest first, each its own maximum")
        << QStringList({"圆通速递/北京/5000", "EMS/天津/1000"})
        << QStringList({"1|圆通速递|北京;|0~5000克", "2|EMS|天津;|0~1000克"});
    QTest::newRow("two methods sharing a province")
        << QStringList({"圆通速递/北京,上海/800", "EMS/北京/900"})
        << QStringList({"1|圆通速递|上海;北京;|0~800克", "2|EMS|北京;|0~900克"});
    QTest::newRow("a province taken by a later save")
        << QStringList({"圆通速递/北京,上海/800", "圆通速递/上海/900"})
        << QStringList({"1|圆通速递|北京;|0~800克", "2|圆通速递|上海;|0~900克"});
}

void TestRulesGui::listLines() {
    QFETCH(QStringList, saves);
    QFETCH(QStringList, expected);
    Bench b;
    for (const QString& s : saves) {
        const QStringList parts = s.split(u'/');
        QList<int> ends;
        for (const QString& e : parts[2].split(u','))
            ends.append(e.toInt());
        save(b.config, parts[0], parts[1].split(u','), ends);
    }
    Windows w(b);
    QCOMPARE(lines(*w.list), expected);
}

void TestRulesGui::deleteRemovesWholeRule() {
    ScopedRecordingBoxes boxes;
    Bench b;
    save(b.config, kM, {"北京", "上海", "天津"}, {500, 1000});
    save(b.config, kN, {"北京"}, {700});
    Windows w(b);
    w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(0));
    w.list->Button3->click();
    QCOMPARE(lines(*w.list), QStringList({"1|EMS|北京;|0~700克"}));
    QCOMPARE(tableRows(b.config), QStringList({"EMS|北京|2012-03-07-10-01-00|0|700"}));

    w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(0));
    w.list->Button3Click();
    QVERIFY(lines(*w.list).isEmpty());
    QVERIFY(tableRows(b.config).isEmpty());
    QVERIFY(boxes.texts().isEmpty());
    QCOMPARE(m_modalCount, 0);
}

void TestRulesGui::noFocusedLine() {
    ScopedRecordingBoxes boxes;
    Bench b;
    save(b.config, kM, {"北京"}, {500});
    Windows w(b);
    const QStringList before = tableRows(b.config);
    w.list->Button3Click();
    w.list->Button2Click();
    QCOMPARE(boxes.texts(), QStringList({kChooseRule, kChooseRule}));
    QCOMPARE(m_modalCount, 0);
    QCOMPARE(tableRows(b.config), before);
}

void TestRulesGui::modifyOpensFilledEditor() {
    ScopedRecordingBoxes boxes;
    Bench b;
    // Rows of one rule written out of order, as an outside change could leave them.
    const auto add = [&](const QString& province, int start, int end, double fee) {
        insertRow(b.config, QStringLiteral("rule"),
                  {{"Express", kM},
                   {"Province", province},
                   {"RuleIndex", "2011-05-05-05-05-05"},
                   {"StartWeight", start},
                   {"EndWeight", end},
                   {"BeginChargeWeight", 1000},
                   {"BeginChargeFee", fee},
                   {"DetaWeight", 500},
                   {"DetaFee", 0.5}});
    };
    add("北京", 1000, 2000, 12);
    add("北京", 0, 1000, 10.5);
    add("上海", 1000, 2000, 12);
    add("上海", 0, 1000, 10.5);
    Windows w(b);
    // Stale content of an earlier use must not show through.
    fill(*w.modify, kN, {"天津"}, rowsEnding({1, 2, 3}));

    Rows seenRows;
    QString seenMethod, seenText, seenLabel;
    QStringList seenChecks;
    m_answer = [&](QDialog& d) {
        if (&d != w.modify.get())
            return false;
        seenRows = editorRows(*w.modify);
        seenMethod = w.modify->ComboBoxSnd->currentText();
        seenText = w.modify->Edit1->text();
        seenChecks = checked(w.modify->CheckListBox2);
        seenLabel = w.modify->LabelWS2->text();
        return false;
    };
    QTreeWidgetItem* line = w.list->ListView1->topLevelItem(0);
    w.list->ListView1->setCurrentItem(line);
    emit w.list->ListView1->itemDoubleClicked(line, 0);

    QCOMPARE(m_modalCount, 1);
    QCOMPARE(seenRows,
             Rows({{"1000", "1000", "10.5", "500", "0.5"}, {"2000", "1000", "12", "500", "0.5"}}));
    QCOMPARE(seenLabel, QStringLiteral("1000克~"));
    QCOMPARE(seenMethod, kM);
    QCOMPARE(seenChecks, QStringList({"北京", "上海"}));
    // Provinces in the order the rule's rows are read (by method, then province text).
    QCOMPARE(seenText, QStringLiteral("上海;北京;"));
    // Cancelled: nothing written, no message.
    QCOMPARE(tableRows(b.config).size(), 4);
    QVERIFY(boxes.texts().isEmpty());
}

void TestRulesGui::modifyFlows_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>("uncheck");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unchecking a province leaves the old rule with it")
        << kM << QStringList({"上海"})
        << QStringList({"1|圆通速递|上海;|0~2000克", "2|圆通速递|北京;|0~3000克"});
    QTest::newRow("another method adds a rule beside the old one")
        << kN << QStringList()
        << QStringList({"1|圆通速递|上海;北京;|0~2000克", "2|EMS|上海;北京;|0~3000克"});
    QTest::newRow("same method and provinces replaces the rule")
        << kM << QStringList() << QStringList({"1|圆通速递|上海;北京;|0~3000克"});
}

void TestRulesGui::modifyFlows() {
    QFETCH(QString, method);
    QFETCH(QStringList, uncheck);
    QFETCH(QStringList, expected);
    ScopedRecordingBoxes boxes;
    Bench b;
    save(b.config, kM, {"北京", "上海"}, {500, 1000, 2000});
    Windows w(b);
    m_answer = [&](QDialog& d) {
        TBjgzDlg& e = *w.modify;
        if (&d != &e)
            return false;
        e.ComboBoxSnd->setCurrentIndex(e.ComboBoxSnd->findText(method));
        for (const QString& p : uncheck)
            entry(e.CheckListBox2, p)->setCheckState(Qt::Unchecked);
        e.Button1Click();
        e.EditWE3->setText("3000");
        return true;
    };
    w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(0));
    w.list->Button2->click();
    QCOMPARE(boxes.texts(), QStringList({kModified}));
    QCOMPARE(lines(*w.list), expected);
    // Emptied after a successful modify.
    QVERIFY(w.modify->EditWE1->text().isEmpty());
    QVERIFY(checked(w.modify->CheckListBox2).isEmpty());
}

void TestRulesGui::addFlows_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("message");
    enum { None, NoProvinceChecked, NoMethod, RowOneIncomplete, LonePointFee, Cancelled };
    QTest::newRow("add") << false << int(None) << kAdded;
    QTest::newRow("add cancelled keeps the content") << false << int(Cancelled) << QString();
    QTest::newRow("add, marks removed after the text")
        << false << int(NoProvinceChecked) << kAddFailed;
    QTest::newRow("add without method") << false << int(NoMethod) << kAddFailed;
    QTest::newRow("add, row 1 incomplete") << false << int(RowOneIncomplete) << kAddFailed;
    QTest::newRow("add, fee a lone point") << false << int(LonePointFee) << kAddFailed;
    QTest::newRow("modify, marks removed after the text")
        << true << int(NoProvinceChecked) << kModifyFailed;
    QTest::newRow("modify, fee a lone point") << true << int(LonePointFee) << kModifyFailed;
}

void TestRulesGui::addFlows() {
    QFETCH(bool, modify);
    QFETCH(int, fault);
    QFETCH(QString, message);
    enum { None, NoProvinceChecked, NoMethod, RowOneIncomplete, LonePointFee, Cancelled };
    ScopedRecordingBoxes boxes;
    Bench b;
    save(b.config, kM, {"北京", "上海"}, {500, 1000});
    Windows w(b);
    TBjgzDlg& e = modify ? static_cast<TBjgzDlg&>(*w.modify) : *w.add;
    const QStringList before = tableRows(b.config);

    m_answer = [&](QDialog& d) {
        if (&d != &e)
            return false;
        if (!modify)
            fill(e, kM, {"北京", "天津"}, rowsEnding({600, 1200}));
        switch (fault) {
        case NoProvinceChecked:
            // The text stays from "确定"; the marks are removed and the picker left by "取消".
            e.Edit1Click();
            e.Button5->click();
            e.Button2->click();
            break;
        case NoMethod:
            e.ComboBoxSnd->setCurrentIndex(-1);
            break;
        case RowOneIncomplete:
            e.EditWAC1->clear();
            break;
        case LonePointFee:
            e.EditSF2->setText(".");
            break;
        }
        return fault != Cancelled;
    };
    if (modify)
        w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(0));
    modify ? w.list->Button2->click() : w.list->Button1->click();

    QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList() : QStringList({message}));
    if (fault == None) {
        QCOMPARE(lines(*w.list),
                 QStringList({"1|圆通速递|上海;|0~1000克", "2|圆通速递|北京;天津;|0~1200克"}));
        QVERIFY(e.EditWE1->text().isEmpty());
        QVERIFY(e.Edit1->text().isEmpty());
        return;
    }
    QCOMPARE(tableRows(b.config), before);
    QCOMPARE(lines(*w.list).size(), 1);
    // A refused or cancelled editor keeps what was typed for the next try.
    QVERIFY(!e.EditWE1->text().isEmpty());
    QVERIFY(!e.Edit1->text().isEmpty());
}

void TestRulesGui::regionTable() {
    Bench b;
    TBjgzDlg e(nullptr, &b.orders);
    QListWidget* regionsList = e.CheckListBox1;
    QListWidget* provinces = e.CheckListBox2;

    entry(regionsList, "江浙沪")->setCheckState(Qt::Checked);
    QCOMPARE(checked(provinces), QStringList({"上海", "江苏省", "浙江省"}));

    entry(regionsList, "华东")->setCheckState(Qt::Checked);
    entry(regionsList, "华北")->setCheckState(Qt::Checked);
    entry(regionsList, "华东")->setCheckState(Qt::Unchecked);
    QCOMPARE(checked(regionsList), QStringList({"江浙沪", "华北"}));
    QCOMPARE(checked(provinces),
             QStringList({"北京", "天津", "河北省", "山西省", "内蒙古自治区", "山东省"}));

    // "反选" with "北京" alone checked: all others checked, region marks unchanged.
    e.Button5->click();
    entry(provinces, "北京")->setCheckState(Qt::Checked);
    e.Button6->click();
    QStringList others = provinceNames();
    others.removeOne("北京");
    QCOMPARE(checked(provinces), others);
    QCOMPARE(checked(regionsList), QStringList({"江浙沪", "华北"}));
    e.Button4->click();
    QCOMPARE(checked(provinces), provinceNames());

    // "取消" keeps the new marks and the old text; "确定" with none checked empties the text.
    e.Edit1Click();
    e.Button5->click();
    entry(provinces, "西藏自治区")->setCheckState(Qt::Checked);
    e.Button1->click();
    QCOMPARE(e.Edit1->text(), QStringLiteral("西藏自治区;"));
    QVERIFY(e.Panel1->isHidden());
    e.Edit1Click();
    entry(provinces, "北京")->setCheckState(Qt::Checked);
    e.Button2->click();
    QVERIFY(e.Panel1->isHidden());
    QCOMPARE(e.Edit1->text(), QStringLiteral("西藏自治区;"));
    QCOMPARE(checked(provinces), QStringList({"北京", "西藏自治区"}));
    e.Button5->click();
    e.Button1->click();
    QVERIFY(e.Edit1->text().isEmpty());

    // A click on the province text opens the picker.
    e.show();
    QTest::mouseClick(e.Edit1, Qt::LeftButton);
    QVERIFY(e.Panel1->isVisible());
}

void TestRulesGui::keyFilters_data() {
    QTest::addColumn<bool>("fee");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::newRow("weight drops a letter") << false << "12a3"
                                           << "123";
    QTest::newRow("weight takes six digits at most") << false << "1234567"
                                                     << "123456";
    QTest::newRow("weight drops a point") << false << "1.5"
                                          << "15";
    QTest::newRow("weight drops a sign and a blank") << false << "-1 2"
                                                     << "12";
    QTest::newRow("fee takes one point") << true << "12.5"
                                         << "12.5";
    QTest::newRow("fee drops a second point") << true << "12.5.3"
                                              << "12.53";
    QTest::newRow("fee takes a point first") << true << ".5"
                                             << ".5";
    QTest::newRow("fee a lone point") << true << "."
                                      << ".";
    QTest::newRow("fee drops letters") << true << "1x,5"
                                       << "15";
    QTest::newRow("fee takes six characters at most") << true << "123.4567"
                                                      << "123.45";
}

void TestRulesGui::keyFilters() {
    QFETCH(bool, fee);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    Bench b;
    TBjgzDlg e(nullptr, &b.orders);
    e.show();
    QList<QLineEdit*> edits = fee ? QList<QLineEdit*>({e.EditSF1, e.EditAF9})
                                  : QList<QLineEdit*>({e.EditWE1, e.EditWSC5, e.EditWAC9});
    for (QLineEdit* edit : edits) {
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), text);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), text.chopped(1));
    }
}

void TestRulesGui::startLabels() {
    Bench b;
    TBjgzDlg e(nullptr, &b.orders);
    e.show();
    QTest::keyClicks(e.EditWE1, "500");
    QCOMPARE(e.LabelWS2->text(), QStringLiteral("500克~"));
    QCOMPARE(e.LabelWS1->text(), QStringLiteral("0克~"));
    e.EditWE8->setText("9000");
    QCOMPARE(e.LabelWS9->text(), QStringLiteral("9000克~"));
    e.EditWE9->setText("9999");
    for (int n = 2; n < 8; ++n)
        QCOMPARE(e.StartWeightLabels[n]->text(), QStringLiteral("克~"));
    e.EditWE1->clear();
    QCOMPARE(e.LabelWS2->text(), QStringLiteral("克~"));
}

void TestRulesGui::clearAllWithPickerOpen() {
    Bench b;
    TBjgzDlg e(nullptr, &b.orders);
    e.show();
    Rows rows;
    for (int k = 1; k <= 9; ++k)
        rows.append({QString::number(k * 100), "1", "2.5", "3", "4"});
    fill(e, kN, {"北京"}, rows);
    e.Edit1Click();
    entry(e.CheckListBox1, "西南")->setCheckState(Qt::Checked);
    QVERIFY(e.Panel1->isVisible());

    e.Button3->click();
    QVERIFY(e.Panel1->isVisible());
    QCOMPARE(e.ComboBoxSnd->currentIndex(), -1);
    QVERIFY(e.ComboBoxSnd->currentText().isEmpty());
    QVERIFY(e.Edit1->text().isEmpty());
    QVERIFY(editorRows(e).isEmpty());
    for (int n = 0; n < 9; ++n) {
        for (QLineEdit* f : {e.BeginChargeWeightEdits[n], e.BeginChargeFeeEdits[n],
                             e.DetaWeightEdits[n], e.DetaFeeEdits[n]})
            QVERIFY(f->text().isEmpty());
        QCOMPARE(e.StartWeightLabels[n]->text(), n == 0 ? QStringLiteral("0克~") : "克~");
    }
    QVERIFY(checked(e.CheckListBox1).isEmpty());
    QVERIFY(checked(e.CheckListBox2).isEmpty());
}

void TestRulesGui::commandsDuringLoad() {
    ScopedRecordingBoxes boxes;
    Bench b;
    {
        Transaction t(b.config);
        for (int i = 0; i < 300; ++i)
            insertRow(b.config, QStringLiteral("rule"),
                      {{"Express", kM},
                       {"Province", "北京"},
                       {"RuleIndex", QStringLiteral("2012-01-01-00-%1-%2")
                                         .arg(i / 60, 2, 10, QLatin1Char('0'))
                                         .arg(i % 60, 2, 10, QLatin1Char('0'))},
                       {"StartWeight", 0},
                       {"EndWeight", i + 1},
                       {"BeginChargeWeight", 1},
                       {"BeginChargeFee", 1},
                       {"DetaWeight", 1},
                       {"DetaFee", 1}});
        t.commit();
    }
    Windows w(b);
    QCOMPARE(w.list->ListView1->topLevelItemCount(), 300);
    const QStringList before = tableRows(b.config);
    w.list->setEventPassInterval(0);
    w.list->show();
    w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(5));

    // Everything a user could do while the list loads, delivered by the load's event pass.
    bool sawLoading = false;
    bool buttonsDisabled = false;
    QTimer::singleShot(0, w.list.get(), [&] {
        sawLoading = w.list->isLoading();
        buttonsDisabled = !w.list->Button1->isEnabled() && !w.list->OKBtn->isEnabled();
        w.list->ListView1->setCurrentItem(w.list->ListView1->topLevelItem(0));
        w.list->Button3Click();
        w.list->Button1Click();
        w.list->Button2Click();
        w.list->LoadRuleList();
        w.list->reject();
        QVERIFY(w.list->isVisible());
    });
    w.list->LoadRuleList();

    QVERIFY(sawLoading);
    QVERIFY(buttonsDisabled);
    QCOMPARE(m_modalCount, 0);
    QVERIFY(boxes.texts().isEmpty());
    QCOMPARE(tableRows(b.config), before);
    const QStringList shown = lines(*w.list);
    QCOMPARE(shown.size(), 300);
    QCOMPARE(shown.first(), QStringLiteral("1|圆通速递|北京;|0~1克"));
    QCOMPARE(shown.last(), QStringLiteral("300|圆通速递|北京;|0~300克"));
    // The close waited for the load's end.
    QVERIFY(!w.list->isLoading());
    QVERIFY(!w.list->isVisible());
    QCOMPARE(w.list->result(), int(QDialog::Rejected));
    QVERIFY(w.list->Button1->isEnabled());
}

void TestRulesGui::savedRulePricesThroughMainWindow() {
    ScopedRecordingBoxes boxes;
    QTemporaryDir dir;
    test::createConfigDb(dir.path());
    {
        Connection orders;
        test::openOrders(orders, test::createOrderDb(dir.path()));
        execute(orders, QStringLiteral("insert into [df_SndStyle] ([Style]) values ('圆通速递')"));
    }
    TForm1::Environment env;
    env.folder = dir.path() + u'/';
    env.startScaleReader = false;
    TForm1 form(env);
    form.createDialogs();
    QVERIFY(form.YfszDlg && form.BjgzDlg && form.BjgzDlg1);
    QCOMPARE(form.BjgzDlg->ComboBoxSnd->count(), 1);

    m_answer = [&](QDialog& d) {
        if (&d == form.YfszDlg) {
            form.YfszDlg->Button1->click();
            return true;
        }
        if (&d == form.BjgzDlg) {
            fill(*form.BjgzDlg, kM, {"浙江省"},
                 {{"1000", "1000", "10", "500", "5"}, {"5000", "1000", "12", "500", "6"}});
            return true;
        }
        return false;
    };
    form.BitBtn3->click();
    QCOMPARE(m_modalCount, 2);
    QCOMPARE(boxes.texts().filter(kAdded).size(), 1);
    QCOMPARE(lines(*form.YfszDlg), QStringList({"1|圆通速递|浙江省;|0~5000克"}));
    Connection& config = form.ADOConnectionAccess;
    QCOMPARE(ComputePostage(config, kM, "浙江", 1000), 10.0);
    // One gram above the first interval: the second interval's fees.
    QCOMPARE(ComputePostage(config, kM, "浙江省", 1001), 12.0 + 6.0);
    QCOMPARE(ComputePostage(config, kM, "浙江省", 3000), 12.0 + 4 * 6.0);
    QCOMPARE(ComputePostage(config, kM, "浙江省", 5001), 0.0);
}

QTEST_MAIN(TestRulesGui)
#include "tst_rules_gui.moc"
