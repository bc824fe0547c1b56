#include "support/ReadBack.h"

#include "app/main.h"
#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/Appearance.h"
#include "platform/gui/GuiDialogs.h"
#include "report/ShipmentListModel.h"
#include "report/cxdcsz.h"
#include "report/progress.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingSoundPlayer.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace tv;

namespace {

const QString kDay = QStringLiteral("2011-09-05 00:00:00");

QList<int> storedSel(const QString& dbMdb) {
    Connection c;
    test::openConfig(c, dbMdb);
    QList<int> sel;
    for (const Record& r :
         selectRows(c, u"select [Sel] from [ListView1Conf] order by [ColIndex]"_qs))
        sel.append(r.integer(u"Sel"_qs));
    return sel;
}

QList<int> widths(const TForm1& form) {
    QList<int> w;
    for (int c = 1; c < ShipmentListModel::captions().size(); ++c)
        w.append(form.ListView1ColumnWidth(c));
    return w;
}

QList<bool> boxStates(const TCxdcszDlg& dialog) {
    QList<bool> b;
    for (int k = 1; k <= TCxdcszDlg::ColumnCount; ++k)
        b.append(dialog.findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(k))->isChecked());
    return b;
}

// The width the view's own delegate asks for to show every cell of a column whole.
int cellsWidth(QTableView* view, int column) {
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = QFontMetrics(view->font());
    int widest = 0;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        const QModelIndex index = view->model()->index(r, column);
        widest =
            std::max(widest, view->itemDelegateForIndex(index)->sizeHint(option, index).width());
    }
    return widest + (view->showGrid() ? 1 : 0);
}

} // namespace

class TestQueryTab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void searchFillsListAndStatus();
    void fillServesEventsWithButtonsDisabled();
    void closingDuringFill_data();
    void closingDuringFill();
    void failedQueryKeepsStatus();
    void scanDuringFill();
    void columnsFitTheirTexts();
    void columnDialogStoresAndApplies();
    void storedChoiceMapsByPosition_data();
    void storedChoiceMapsByPosition();
    void exportWritesChosenFile();

private:
    // Orders completed on kDay: count in the shop 旗舰店, the first five of them in 二店.
    void addOrders(int count);
    std::unique_ptr<TForm1> makeForm();

    RecordingSoundPlayer m_sounds;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_dbMdb;
    QString m_ordersPath;
};

void TestQueryTab::initTestCase() {
    loadDesignedFonts();
    setSoundPlayer(&m_sounds);
}

void TestQueryTab::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_dbMdb = test::createConfigDb(m_dir->path());
    m_ordersPath = test::createOrderDb(m_dir->path(), u"orders.db"_qs);
    Connection c;
    test::openOrders(c, m_ordersPath);
    for (const QString& shop : {u"旗舰店"_qs, u"二店"_qs, u"空店"_qs})
        insertRow(c, u"df_Shop"_qs, {{u"Name"_qs, shop}});
    insertRow(c, u"df_SndStyle"_qs, {{u"Style"_qs, u"圆通"_qs}});
    insertRow(c, u"df_Staff"_qs, {{u"Name"_qs, u"张三"_qs}});
}

void TestQueryTab::cleanup() {
    setModalRunner({});
    setSaveFileRunner({});
    m_dir.reset();
}

void TestQueryTab::addOrders(int count) {
    Connection c;
    test::openOrders(c, m_ordersPath);
    Transaction tx(c);
    for (int i = 0; i < count; ++i)
        insertRow(c, u"df_Trade"_qs,
                  {{u"TradeNO"_qs, QStringLiteral("T%1").arg(i + 1)},
                   {u"overtime"_qs, kDay},
                   {u"Shop"_qs, i < 5 ? u"二店"_qs : u"旗舰店"_qs},
                   {u"Zip"_qs, u"012345"_qs},
                   {u"weight"_qs, 1000},
                   {u"weight2"_qs, 1000 + i}});
    // Outside the range of the pickers (09-01 to 09-15).
    insertRow(c, u"df_Trade"_qs, {{u"TradeNO"_qs, u"LATE"_qs}, {u"overtime"_qs, u"2011-09-16"_qs}});
    tx.commit();
}

std::unique_ptr<TForm1> TestQueryTab::makeForm() {
    TForm1::Environment env;
    env.folder = m_dir->path() + u'/';
    env.startScaleReader = false;
    auto form = std::make_unique<TForm1>(env);
    form->DateTimePickerFrom->setDate(QDate(2011, 9, 1));
    form->DateTimePickerTo->setDate(QDate(2011, 9, 15));
    form->createDialogs();
    return form;
}

void TestQueryTab::searchFillsListAndStatus() {
    ScopedRecordingBoxes boxes;
    addOrders(25);
    auto form = makeForm();
    form->ButtonSearchClick();
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 25 条记录"_qs);
    QCOMPARE(form->ListView1Model->rowCount(), 25);
    QCOMPARE(form->ListView1Model->row(24).at(0), u"25"_qs);
    QCOMPARE(form->ListView1Model->row(24).at(15), u"24"_qs);

    // The combo's text is the filter; a second query replaces the list.
    form->ComboBoxShop->setCurrentText(u"二店"_qs);
    form->ButtonSearchClick();
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 5 条记录"_qs);
    QCOMPARE(form->ListView1Model->rowCount(), 5);
    QCOMPARE(form->ListView1Model->row(0).at(0), u"1"_qs);

    form->ComboBoxShop->setCurrentText(u"空店"_qs);
    form->ButtonSearchClick();
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 0 条记录"_qs);
    QCOMPARE(form->ListView1Model->rowCount(), 0);
    QVERIFY(boxes.shown().isEmpty());
}

void TestQueryTab::fillServesEventsWithButtonsDisabled() {
    ScopedRecordingBoxes boxes;
    addOrders(25);
    auto form = makeForm();
    bool ran = false;
    QList<bool> enabled;
    int rowsShown = -1;
    QTimer::singleShot(0, form.get(), [&] {
        ran = true;
        for (QPushButton* b : {form->ButtonSearch, form->ButtonExport, form->ButtonConf})
            enabled.append(b->isEnabled());
        rowsShown = form->ListView1Model->rowCount();
        // A click that arrives meanwhile starts nothing.
        form->ButtonSearch->click();
    });
    form->ButtonSearchClick();
    QVERIFY(ran);
    QCOMPARE(enabled, (QList<bool>{false, false, false}));
    QVERIFY(rowsShown > 0);
    QCOMPARE(form->ListView1Model->rowCount(), 25);
    for (QPushButton* b : {form->ButtonSearch, form->ButtonExport, form->ButtonConf})
        QVERIFY(b->isEnabled());
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 25 条记录"_qs);
}

void TestQueryTab::closingDuringFill_data() {
    QTest::addColumn<bool>("destroy");
    QTest::newRow("window closed") << false;
    QTest::newRow("window destroyed") << true;
}

void TestQueryTab::closingDuringFill() {
    QFETCH(bool, destroy);
    ScopedRecordingBoxes boxes;
    addOrders(10000);
    auto form = makeForm();
    QPointer<TForm1> watch(form.get());
    TForm1* raw = form.get();
    QTimer::singleShot(0, [&] {
        if (destroy)
            form.reset();
        else
            raw->close();
    });
    raw->ButtonSearchClick();
    QVERIFY(boxes.shown().isEmpty());
    if (destroy) {
        QVERIFY(!watch);
        return;
    }
    // The fill stops at the closing; the count is not reported for a partial list.
    QVERIFY(form->ListView1Model->rowCount() < 10000);
    QCOMPARE(form->StatusBar1Panel0->text(), QString());
}

void TestQueryTab::failedQueryKeepsStatus() {
    ScopedRecordingBoxes boxes;
    addOrders(3);
    auto form = makeForm();
    form->ButtonSearchClick();
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 3 条记录"_qs);
    form->ADOConnectionSQL.close();
    form->ButtonSearchClick();
    QCOMPARE(boxes.texts(), QStringList{u"The database is not connected."_qs});
    QCOMPARE(boxes.shown().first().kind, RecordingMessageBoxes::Kind::Error);
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 3 条记录"_qs);
    QCOMPARE(form->ListView1Model->rowCount(), 0);
    QVERIFY(form->ButtonSearch->isEnabled());
}

void TestQueryTab::scanDuringFill() {
    ScopedRecordingBoxes boxes;
    addOrders(20000);
    {
        Connection c;
        test::openOrders(c, m_ordersPath);
        insertRow(c, u"df_Trade"_qs,
                  {{u"PostID"_qs, u"YT1001"_qs},
                   {u"TradeStatus"_qs, u"收款发货"_qs},
                   {u"bSnd"_qs, 1},
                   {u"sndStyle"_qs, u"圆通"_qs},
                   {u"Province"_qs, u"浙江省"_qs},
                   {u"weight"_qs, 1200},
                   {u"RcvValue"_qs, 100},
                   {u"goodsCost"_qs, 80},
                   {u"otherFee"_qs, 0}});
    }
    auto form = makeForm();
    form->ComboBoxOpr->setCurrentText(u"张三"_qs);
    form->Edit2->setText(u"1.250"_qs);
    form->Edit1->setText(u"YT1001"_qs);
    int shownAtScan = -1;
    bool buttonsGrey = false;
    QTimer::singleShot(0, form.get(), [&] {
        shownAtScan = form->ListView1Model->rowCount();
        buttonsGrey = !form->ButtonSearch->isEnabled() && !form->ButtonExport->isEnabled() &&
                      !form->ButtonConf->isEnabled();
        // The packer scans while the list is still filling.
        QTest::keyClick(form->Edit1, Qt::Key_Return);
    });
    form->ButtonSearchClick();
    QVERIFY(boxes.shown().isEmpty());
    QVERIFY(buttonsGrey);
    QVERIFY2(shownAtScan > 0 && shownAtScan < 20000, qPrintable(QString::number(shownAtScan)));
    QVERIFY2(form->Memo1->toPlainText().endsWith(u"差:0.050kg"_qs),
             qPrintable(form->Memo1->toPlainText()));
    Connection c;
    test::openOrders(c, m_ordersPath);
    const QList<Record> shipped =
        selectRows(c, u"select [TradeStatus], [weight2] from [df_Trade] where [PostID] = ?"_qs,
                   {u"YT1001"_qs});
    QCOMPARE(shipped.size(), 1);
    QCOMPARE(shipped[0].integer(u"weight2"_qs), 1250);
    QCOMPARE(selectRows(c, u"select * from [df_TradeLog]"_qs).size(), 1);
    // The list is whole, and the next query works on the same connections.
    QCOMPARE(form->ListView1Model->rowCount(), 20000);
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 20000 条记录"_qs);
    form->ComboBoxShop->setCurrentText(u"二店"_qs);
    form->ButtonSearchClick();
    QCOMPARE(form->StatusBar1Panel0->text(), u"查询到 5 条记录"_qs);
}

void TestQueryTab::columnsFitTheirTexts() {
    ScopedRecordingBoxes boxes;
    {
        Connection c;
        test::openOrders(c, m_ordersPath);
        const QString longAddress = QStringLiteral("浙江省杭州市西湖区文三路").repeated(6);
        insertRow(c, u"df_Trade"_qs,
                  {{u"TradeNO"_qs, u"TB1000000000000000001"_qs},
                   {u"overtime"_qs, u"2011-09-05 13:45:10"_qs},
                   {u"Shop"_qs, u"杭州西湖区旗舰店二号分店"_qs},
                   {u"sndStyle"_qs, u"圆通速递"_qs},
                   {u"PostID"_qs, u"880000000000001"_qs},
                   {u"CustomerID"_qs, u"tb_buyer_WWWWWWWW"_qs},
                   {u"CustomerName"_qs, u"欧阳娜娜娜"_qs},
                   {u"Adr"_qs, longAddress},
                   {u"Zip"_qs, u"012345"_qs},
                   {u"phone"_qs, u"13849800000,0571-88886666"_qs},
                   {u"weight"_qs, 1000},
                   {u"weight2"_qs, 1250}});
        insertRow(c, u"df_Trade"_qs,
                  {{u"TradeNO"_qs, u"T2"_qs}, {u"overtime"_qs, kDay}, {u"Shop"_qs, u"二店"_qs}});
    }
    auto form = makeForm();
    form->resize(1000, 700);
    form->show();
    form->PageControl1->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // A hidden column stays hidden; the others fit their widest text.
    form->setListView1ColumnWidth(7, 0);
    form->ButtonSearchClick();
    QCOMPARE(form->ListView1Model->rowCount(), 2);
    QTableView* view = form->ListView1;
    for (int c = 1; c < ShipmentListModel::captions().size(); ++c) {
        const int width = form->ListView1ColumnWidth(c);
        const QString caption = ShipmentListModel::captions()[c];
        if (c == 7) {
            QCOMPARE(width, 0);
            continue;
        }
        QVERIFY2(width >= 100 && width <= 400, qPrintable(caption));
        const int cells = cellsWidth(view, c);
        const int header = view->horizontalHeader()->sectionSizeHint(c);
        if (cells <= 400)
            QVERIFY2(cells <= width, qPrintable(QStringLiteral("%1: cells %2 px, column %3 px")
                                                    .arg(caption)
                                                    .arg(cells)
                                                    .arg(width)));
        else
            QCOMPARE(width, 400);
        QVERIFY2(header <= width, qPrintable(caption));
        // Not wider than needed: short columns keep the designed 100 pixels.
        QVERIFY2(width <= std::max({100, cells + 2, header}), qPrintable(caption));
    }
    QCOMPARE(form->ListView1ColumnWidth(12), 100); // 邮编
    QCOMPARE(form->ListView1ColumnWidth(11), 400); // the long address

    // The user can still drag a column.
    view->horizontalHeader()->resizeSection(2, 333);
    QCOMPARE(form->ListView1ColumnWidth(2), 333);
    QVERIFY(view->horizontalHeader()->sectionResizeMode(2) == QHeaderView::Interactive);
    QVERIFY(boxes.shown().isEmpty());
}

void TestQueryTab::columnDialogStoresAndApplies() {
    ScopedRecordingBoxes boxes;
    addOrders(3);
    auto form = makeForm();
    QVERIFY(form->CxdcszDlg);
    const QList<int> all100(18, 100), all0(18, 0);
    const QList<int> ones(18, 1), zeros(18, 0);
    QCOMPARE(widths(*form), all100);

    // Each showing is answered by the dialog's own buttons, as the user would press them.
    const auto answer = [&](std::function<void(TCxdcszDlg&)> press) {
        setModalRunner([press](QDialog& d) {
            d.setResult(QDialog::Rejected);
            press(static_cast<TCxdcszDlg&>(d));
            return d.result();
        });
        form->ButtonConfClick();
    };

    answer([](TCxdcszDlg& d) {
        d.Button2->click();
        d.OKBtn->click();
    });
    QCOMPARE(widths(*form), all0);
    QVERIFY(form->ListView1ColumnWidth(0) > 0);
    QCOMPARE(storedSel(m_dbMdb), zeros);
    // Hidden columns stay hidden when a query refills the list.
    form->ButtonSearchClick();
    QCOMPARE(widths(*form), all0);

    answer([](TCxdcszDlg& d) {
        d.Button1->click();
        d.OKBtn->click();
    });
    QCOMPARE(widths(*form), all100);
    QCOMPARE(storedSel(m_dbMdb), ones);

    // Cancel keeps the changed boxes for the next showing, stores and applies nothing.
    answer([](TCxdcszDlg& d) {
        d.CheckBox15->setChecked(false);
        d.CheckBox3->setChecked(false);
        d.CancelBtn->click();
    });
    QCOMPARE(widths(*form), all100);
    QCOMPARE(storedSel(m_dbMdb), ones);
    bool keptAtShow = false;
    answer([&](TCxdcszDlg& d) {
        keptAtShow = !d.CheckBox15->isChecked() && !d.CheckBox3->isChecked();
        d.OKBtn->click();
    });
    QVERIFY(keptAtShow);
    QList<int> expectedWidths = all100, expectedSel = ones;
    expectedWidths[2] = expectedWidths[14] = 0;
    expectedSel[2] = expectedSel[14] = 0;
    QCOMPARE(widths(*form), expectedWidths);
    QCOMPARE(storedSel(m_dbMdb), expectedSel);

    // A new start on the same folder shows the same choice, in the list and in the dialog.
    form.reset();
    form = makeForm();
    QCOMPARE(widths(*form), expectedWidths);
    QList<bool> expectedBoxes(18, true);
    expectedBoxes[2] = expectedBoxes[14] = false;
    QCOMPARE(boxStates(*form->CxdcszDlg), expectedBoxes);
    QVERIFY(boxes.shown().isEmpty());
}

void TestQueryTab::storedChoiceMapsByPosition_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("17 rows: the last column keeps its default") << 17;
    QTest::newRow("19 rows: the extra row addresses nothing") << 19;
}

void TestQueryTab::storedChoiceMapsByPosition() {
    QFETCH(int, rows);
    ScopedRecordingBoxes boxes;
    {
        // ColIndex values far from 1..18: rows count by their order, not by their key.
        Connection c;
        test::openConfig(c, m_dbMdb);
        execute(c, u"delete from [ListView1Conf]"_qs);
        for (int k = 0; k < rows; ++k)
            insertRow(c, u"ListView1Conf"_qs, {{u"ColIndex"_qs, 100 - k * 3}, {u"Sel"_qs, k % 2}});
    }
    auto form = makeForm();
    // Row k in ColIndex order (ascending) is the (rows-1-k)-th inserted: Sel (rows-1-k) % 2.
    QList<int> expectedWidths;
    QList<bool> expectedBoxes;
    for (int k = 0; k < 18; ++k) {
        const bool shown = k >= rows || (rows - 1 - k) % 2 != 0;
        expectedWidths.append(shown ? 100 : 0);
        expectedBoxes.append(shown);
    }
    QCOMPARE(widths(*form), expectedWidths);
    QCOMPARE(boxStates(*form->CxdcszDlg), expectedBoxes);
    QVERIFY(boxes.shown().isEmpty());
}

void TestQueryTab::exportWritesChosenFile() {
    ScopedRecordingBoxes boxes;
    addOrders(25);
    auto form = makeForm();
    form->ButtonSearchClick();

    QList<SaveFileRequest> requests;
    QString answer = m_dir->filePath(u"out.xls"_qs);
    setSaveFileRunner([&](const SaveFileRequest& r) {
        requests.append(r);
        return answer;
    });
    form->ButtonExportClick();
    QCOMPARE(boxes.texts(), QStringList{u"共导出25条记录!"_qs});
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].fileName, u"default"_qs);
    // One filter, shown as its mask.
    QCOMPARE(requests[0].filter, u"*.xls"_qs);
    QCOMPARE(requests[0].defaultSuffix, u".xls"_qs);
    QVERIFY(form->FormProgress->isHidden());

    const test::ReadResult book = test::readWithXlrd(answer);
    QVERIFY2(book.ok, qPrintable(book.error));
    QCOMPARE(book.sheets.size(), 1);
    const QList<QStringList> sheetRows = book.sheets[0].rows;
    QCOMPARE(sheetRows.size(), 26);
    QCOMPARE(sheetRows[0], ShipmentListModel::captions());
    QCOMPARE(sheetRows[1], form->ListView1Model->row(0));
    QCOMPARE(sheetRows[25], form->ListView1Model->row(24));

    // Cancelled: nothing happens; the dialog proposed the name chosen last.
    boxes.clear();
    answer.clear();
    form->ButtonExportClick();
    QCOMPARE(requests.last().fileName, m_dir->filePath(u"out.xls"_qs));
    QVERIFY(boxes.shown().isEmpty());

    // A save that fails: the error box, the progress window hidden, no file.
    answer = m_dir->filePath(u"missing/out.xls"_qs);
    form->ButtonExportClick();
    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown().first().kind, RecordingMessageBoxes::Kind::Error);
    QVERIFY(form->FormProgress->isHidden());
    QVERIFY(!QFileInfo::exists(answer));
}

QTEST_MAIN(TestQueryTab)
#include "tst_querytab_gui.moc"
