// The statistics tab: what "统计" puts in the tables and charts, and what "导出" writes.
#include "platform/Database.h"
#include "platform/gui/GuiDialogs.h"
#include "report/tjbb.h"
#include "support/ReadBack.h"
#include "support/RecordingMessageBoxes.h"
#include "support/TestSupport.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QPieSeries>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableView>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QtTest>

using namespace tv;

class TestStatsTab : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void statShowsTablesAndCharts();
    void filterLists();
    void axesReadable_data();
    void axesReadable();
    void exportWritesTheFigures();
    void refusals_data();
    void refusals();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Connection> m_orders;
    std::unique_ptr<TTjbbForm> m_form;
};

void TestStatsTab::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_orders = std::make_unique<Connection>();
    test::openOrders(*m_orders, test::createOrderDb(m_dir->path()));
    // Two parcels of 张三 on 09-01 (one in shop S2), one of 李四 on 09-02.
    const QList<QVariantList> rows = {
        {1, "W1", "S1", "圆通", "浙江省", 1000, 1100, 8.0, "2011-09-01 08:00:00", "张三"},
        {2, "W2", "S2", "申通", "江苏省", 500, 900, 6.5, "2011-09-01 09:30:00", "张三"},
        {3, "W3", "S1", "圆通", "浙江省", 800, 800, 7.0, "2011-09-02 10:00:00", "李四"}};
    for (const QVariantList& r : rows) {
        insertRow(*m_orders, "df_Trade",
                  {{"ID", r[0]},
                   {"PostID", r[1]},
                   {"Shop", r[2]},
                   {"sndStyle", r[3]},
                   {"Province", r[4]},
                   {"weight", r[5]},
                   {"weight2", r[6]},
                   {"PostFee2", r[7]}});
        insertRow(*m_orders, "df_TradeLog",
                  {{"TradeID", r[0]}, {"Time", r[8]}, {"User", r[9]}, {"Event", "完成关闭"}});
    }
    m_form = std::make_unique<TTjbbForm>(*m_orders);
    m_form->setLists({QString(), "S1", "S2"}, {QString(), "圆通", "申通"});
    m_form->setDates(QDate(2011, 9, 1), QDate(2011, 9, 2));
    m_form->resize(792, 540);
}

void TestStatsTab::cleanup() {
    m_form.reset();
    m_orders.reset();
    m_dir.reset();
    setSaveFileRunner({});
}

void TestStatsTab::statShowsTablesAndCharts() {
    ScopedRecordingBoxes boxes;
    m_form->ButtonStat->click();
    QCOMPARE(boxes.texts(), QStringList());

    QAbstractItemModel* opr = m_form->ListViewOpr->model();
    QCOMPARE(opr->rowCount(), 2);
    QStringList first;
    for (int c = 0; c < opr->columnCount(); ++c)
        first.append(opr->index(0, c).data().toString());
    // 张三: 2 parcels in 1.5 hours, one gap of 5400 s.
    QCOMPARE(first, (QStringList{"张三", "2", "2", "2.000", "14.50", "1:30:00", "1.3", "5400.0"}));
    QCOMPARE(opr->index(1, 7).data().toString(), QString()); // one scan: no gap
    QCOMPARE(m_form->ListViewSnd->model()->rowCount(), 2);
    QCOMPARE(m_form->ListViewProvince->model()->rowCount(), 2);
    QCOMPARE(m_form->ListViewWeight->model()->rowCount(), 1); // W2: 500 -> 900
    QCOMPARE(m_form->ListViewWeight->model()->index(0, 4).data().toString(), u"80.0%"_qs);
    QCOMPARE(m_form->ListViewHour->model()->rowCount(), 24);
    QCOMPARE(m_form->ListViewHour->model()->index(9, 1).data().toString(), u"1"_qs);

    // Parcels per operator per day, stacked: one set per operator, one value per day.
    auto* stacked = qobject_cast<QStackedBarSeries*>(m_form->ChartOpr->chart()->series().value(0));
    QVERIFY(stacked);
    QCOMPARE(stacked->count(), 2);
    QCOMPARE(stacked->barSets()[0]->label(), u"张三"_qs);
    QCOMPARE(stacked->barSets()[0]->at(0), 2.0);
    QCOMPARE(stacked->barSets()[0]->at(1), 0.0);
    QCOMPARE(stacked->barSets()[1]->at(1), 1.0);
    auto* pie = qobject_cast<QPieSeries*>(m_form->ChartSnd->chart()->series().value(0));
    QVERIFY(pie);
    QCOMPARE(pie->sum(), 21.5);

    // A second click replaces the figures; nothing is added twice.
    m_form->ButtonStat->click();
    QCOMPARE(opr->rowCount(), 2);
    QCOMPARE(m_form->ChartOpr->chart()->series().size(), 1);
}

void TestStatsTab::axesReadable_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QStringList>("names"); // under the days' bars
    const QDate last(2011, 9, 2);
    QTest::newRow("two days") << last.addDays(-1) << QStringList{"01", "02"};
    QTest::newRow("a month: every fourth day")
        << last.addDays(-30) << QStringList{"03", "07", "11", "15", "19", "23", "27", "31"};
    QTest::newRow("two months: with the month")
        << last.addDays(-61) << QStringList{"07-03", "07-19", "08-04", "08-20"};
    QTest::newRow("from after to: no days") << last.addDays(1) << QStringList();
}

// Day names stand side by side, not turned, and the count axis steps by 1, 2 or 5 times a
// power of ten.
void TestStatsTab::axesReadable() {
    QFETCH(QDate, from);
    QFETCH(QStringList, names);
    m_form->setDates(from, QDate(2011, 9, 2));
    m_form->ButtonStat->click();
    QChart* chart = m_form->ChartOpr->chart();
    auto* days = qobject_cast<QCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
    QVERIFY(days);
    QCOMPARE(days->categoriesLabels(), names);
    QCOMPARE(days->labelsAngle(), 0);
    auto* counts = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    QVERIFY(counts);
    QCOMPARE(counts->tickInterval(), 1.0); // at most 2 parcels a day
}

void TestStatsTab::filterLists() {
    m_form->ComboBoxShop->setCurrentIndex(2); // S2
    m_form->ButtonStat->click();
    QCOMPARE(m_form->figures().scans, 1);
    QCOMPARE(m_form->figures().methods.value(0).name, u"申通"_qs);
    m_form->ComboBoxShop->setCurrentIndex(0);
    m_form->ComboBoxSnd->setCurrentIndex(1); // 圆通
    m_form->ButtonStat->click();
    QCOMPARE(m_form->figures().scans, 2);
}

void TestStatsTab::exportWritesTheFigures() {
    ScopedRecordingBoxes boxes;
    const QString path = m_dir->filePath("stats.xls");
    QString proposed;
    setSaveFileRunner([&](const SaveFileRequest& r) {
        proposed = r.fileName;
        return path;
    });
    m_form->ButtonStat->click();
    m_form->ButtonExport->click();
    QCOMPARE(proposed, u"统计报表"_qs);
    QCOMPARE(boxes.texts(), QStringList{u"统计报表已导出。"_qs});
    const test::ReadResult read = test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.sheets.size(), 6);
    const QJsonArray row = read.json["sheets"][0]["values"][1].toArray();
    QCOMPARE(row.at(0).toString(), u"张三"_qs);
    QCOMPARE(row.at(4).toDouble(), 14.5);
}

void TestStatsTab::refusals_data() {
    QTest::addColumn<bool>("closeDatabase");
    QTest::addColumn<bool>("exportFirst");
    QTest::addColumn<QString>("message");
    QTest::newRow("export before any figures") << false << true << u"请先统计。"_qs;
    QTest::newRow("order database not open") << true << false << u"订单数据库未连接，无法统计。"_qs;
}

void TestStatsTab::refusals() {
    QFETCH(bool, closeDatabase);
    QFETCH(bool, exportFirst);
    QFETCH(QString, message);
    ScopedRecordingBoxes boxes;
    bool asked = false;
    setSaveFileRunner([&](const SaveFileRequest&) {
        asked = true;
        return QString();
    });
    if (closeDatabase)
        m_orders->close();
    (exportFirst ? m_form->ButtonExport : m_form->ButtonStat)->click();
    QCOMPARE(boxes.texts(), QStringList{message});
    QVERIFY(!asked);
    QCOMPARE(m_form->ListViewOpr->model()->rowCount(), 0);
}

QTEST_MAIN(TestStatsTab)
#include "tst_statstab_gui.moc"
