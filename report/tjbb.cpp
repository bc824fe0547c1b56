#include "report/tjbb.h"

#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/gui/GuiDialogs.h"
#include "platform/gui/HandlerGuard.h"
#include "xls/XlsWorkbook.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QPieSeries>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tv {

StatsTableModel::StatsTableModel(QStringList captions, QObject* parent)
    : QAbstractTableModel(parent)
    , m_captions(std::move(captions)) {}

void StatsTableModel::reset(int rows, int numericFrom, Cell cell) {
    beginResetModel();
    m_rows = rows;
    m_numericFrom = numericFrom;
    m_cell = std::move(cell);
    endResetModel();
}

int StatsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int StatsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant StatsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_cell)
        return {};
    if (role == Qt::DisplayRole)
        return m_cell(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() >= m_numericFrom)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant StatsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_captions.value(section);
    return {};
}

} // namespace tv

namespace {

QLabel* label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

QString number(double v, int decimals) {
    return QString::number(v + 0.0, 'f', decimals);
}

QChart* newChart(const QString& title, const QFont& font) {
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont titleFont = font;
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->setFont(QFont(font.family(), -1));
    QFont small = font;
    small.setPixelSize(11);
    chart->legend()->setFont(small);
    return chart;
}

// A count axis from 0 with ticks on whole numbers only, so that "%d" labels never repeat.
void wholeNumberTicks(QValueAxis* axis, double max) {
    const double top = std::max(1.0, std::ceil(max));
    // About five ticks, a step of 1, 2 or 5 times a power of ten: 20000, not 15500.
    const double least = std::max(1.0, top / 5);
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    double step = 10 * power;
    for (double m : {5.0, 2.0, 1.0})
        if (m * power >= least)
            step = m * power;
    axis->setRange(0, std::ceil(top / step) * step);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setLabelFormat(QStringLiteral("%d"));
}

void styleAxis(QAbstractAxis* axis, const QFont& font) {
    QFont small = font;
    small.setPixelSize(11);
    axis->setLabelsFont(small);
}

} // namespace

TTjbbForm::TTjbbForm(tv::Connection& orders, QWidget* parent)
    : QWidget(parent)
    , m_orders(orders) {
    auto* layout = new QVBoxLayout(this);
    Label1 = label(QStringLiteral("日期自"), this);
    DateTimePickerFrom = new QDateEdit(this);
    Label2 = label(QStringLiteral("至"), this);
    DateTimePickerTo = new QDateEdit(this);
    for (QDateEdit* d : {DateTimePickerFrom, DateTimePickerTo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    Label3 = label(QStringLiteral("选择店铺："), this);
    ComboBoxShop = new QComboBox(this);
    Label4 = label(QStringLiteral("选择物流："), this);
    ComboBoxSnd = new QComboBox(this);
    for (QComboBox* b : {ComboBoxShop, ComboBoxSnd})
        b->setMinimumWidth(90);
    ButtonStat = new QPushButton(QStringLiteral("统计"), this);
    ButtonExport = new QPushButton(QStringLiteral("导出"), this);

    auto* dates = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label1, DateTimePickerFrom, Label2, DateTimePickerTo})
        dates->addWidget(w);
    dates->addStretch();
    dates->addWidget(ButtonStat);
    dates->addWidget(ButtonExport);
    auto* lists = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Label3, ComboBoxShop, Label4, ComboBoxSnd})
        lists->addWidget(w, qobject_cast<QComboBox*>(w) ? 1 : 0);
    layout->addLayout(dates);
    layout->addLayout(lists);

    auto* charts = new QHBoxLayout;
    ChartOpr = new QChartView(this);
    ChartHour = new QChartView(this);
    ChartSnd = new QChartView(this);
    for (QChartView* v : {ChartOpr, ChartHour, ChartSnd}) {
        v->setRenderHint(QPainter::Antialiasing);
        v->setMinimumSize(120, 200);
        charts->addWidget(v, 1);
    }
    layout->addLayout(charts, 1);

    PageControlTables = new QTabWidget(this);
    ListViewOpr = table(m_oprModel, {QStringLiteral("发货员"), QStringLiteral("包裹"),
                                     QStringLiteral("订单"), QStringLiteral("重量(千克)"),
                                     QStringLiteral("邮资(元)"), QStringLiteral("工作时长"),
                                     QStringLiteral("包裹/小时"), QStringLiteral("间隔中位(秒)")});
    ListViewSnd = table(m_sndModel, {QStringLiteral("物流方式"), QStringLiteral("包裹"),
                                     QStringLiteral("重量(千克)"), QStringLiteral("邮资(元)"),
                                     QStringLiteral("平均邮资(元)")});
    ListViewProvince = table(m_provinceModel, {QStringLiteral("省"), QStringLiteral("包裹"),
                                               QStringLiteral("邮资(元)")});
    ListViewWeight = table(m_weightModel, {QStringLiteral("快递单号"), QStringLiteral("商品(千克)"),
                                           QStringLiteral("包裹(千克)"), QStringLiteral("差(千克)"),
                                           QStringLiteral("差异")});
    ListViewHour = table(m_hourModel, {QStringLiteral("小时"), QStringLiteral("包裹")});
    PageControlTables->addTab(ListViewOpr, QStringLiteral("发货员"));
    PageControlTables->addTab(ListViewSnd, QStringLiteral("物流方式"));
    PageControlTables->addTab(ListViewProvince, QStringLiteral("省份"));
    PageControlTables->addTab(ListViewWeight, QStringLiteral("重量差异"));
    PageControlTables->addTab(ListViewHour, QStringLiteral("时段"));
    layout->addWidget(PageControlTables, 1);

    connect(ButtonStat, &QPushButton::clicked, this, &TTjbbForm::ButtonStatClick);
    connect(ButtonExport, &QPushButton::clicked, this, &TTjbbForm::ButtonExportClick);
    setDates(QDate::currentDate(), QDate::currentDate());
    drawCharts();
}

QTableView* TTjbbForm::table(tv::StatsTableModel*& model, const QStringList& captions) {
    model = new tv::StatsTableModel(captions, this);
    auto* view = new QTableView(this);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    // Fitting a column to its contents looks at the rows in view only.
    view->verticalHeader()->setResizeContentsPrecision(0);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setDefaultSectionSize(94);
    return view;
}

void TTjbbForm::changeEvent(QEvent* event) {
    // The tables' headers show the window's font too, whatever the platform gives headers.
    if (event->type() == QEvent::FontChange)
        for (QTableView* v :
             {ListViewOpr, ListViewSnd, ListViewProvince, ListViewWeight, ListViewHour})
            if (v)
                v->horizontalHeader()->setFont(font());
    QWidget::changeEvent(event);
}

void TTjbbForm::setLists(const QStringList& shops, const QStringList& methods) {
    ComboBoxShop->clear();
    ComboBoxShop->addItems(shops);
    ComboBoxSnd->clear();
    ComboBoxSnd->addItems(methods);
}

void TTjbbForm::setDates(const QDate& from, const QDate& to) {
    DateTimePickerFrom->setDate(from);
    DateTimePickerTo->setDate(to);
}

void TTjbbForm::ButtonStatClick() {
    tv::guarded([&] {
        if (!m_orders.isOpen())
            throw tv::Error(QStringLiteral("订单数据库未连接，无法统计。"));
        tv::StatsFilter filter;
        filter.from = DateTimePickerFrom->date();
        filter.to = DateTimePickerTo->date();
        filter.shop = ComboBoxShop->currentText();
        filter.sndStyle = ComboBoxSnd->currentText();
        m_figures = tv::Stats::compute(m_orders, filter);
        m_computed = true;
        showFigures();
    });
}

void TTjbbForm::ButtonExportClick() {
    tv::guarded([&] {
        if (!m_computed)
            throw tv::Error(QStringLiteral("请先统计。"));
        tv::SaveFileRequest request;
        request.fileName = m_exportFileName;
        request.filter = QStringLiteral("*.xls (*.xls)");
        request.defaultSuffix = QStringLiteral(".xls");
        const QString fileName = tv::askSaveFileName(this, request);
        if (fileName.isEmpty())
            return;
        m_exportFileName = fileName;
        tv::XlsWorkbook workbook;
        tv::Stats::writeWorkbook(m_figures, workbook);
        workbook.save(fileName);
        tv::messageBoxes().information(QStringLiteral("统计报表已导出。"));
    });
}

void TTjbbForm::showFigures() {
    using tv::Stats;
    const tv::StatsFigures& f = m_figures;
    m_oprModel->reset(int(f.operators.size()), 1, [&f](int r, int c) {
        const tv::OperatorFigures& o = f.operators[r];
        switch (c) {
        case 0:
            return Stats::displayName(o.name);
        case 1:
            return QString::number(o.parcels);
        case 2:
            return QString::number(o.orders);
        case 3:
            return Stats::kilograms(o.weightGrams);
        case 4:
            return Stats::money(o.postage);
        case 5:
            return Stats::duration(o.workSeconds);
        case 6:
            return number(o.parcelsPerHour, 1);
        default:
            return o.medianGapSeconds < 0 ? QString() : number(o.medianGapSeconds, 1);
        }
    });
    m_sndModel->reset(int(f.methods.size()), 1, [&f](int r, int c) {
        const tv::MethodFigures& m = f.methods[r];
        switch (c) {
        case 0:
            return Stats::displayName(m.name);
        case 1:
            return QString::number(m.parcels);
        case 2:
            return Stats::kilograms(m.weightGrams);
        case 3:
            return Stats::money(m.postage);
        default:
            return Stats::money(m.averagePostage);
        }
    });
    m_provinceModel->reset(int(f.provinces.size()), 1, [&f](int r, int c) {
        const tv::ProvinceFigures& p = f.provinces[r];
        return c == 0 ? Stats::displayName(p.name)
                      : (c == 1 ? QString::number(p.parcels) : Stats::money(p.postage));
    });
    m_weightModel->reset(int(f.weightDifferences.size()), 1, [&f](int r, int c) {
        const tv::WeightDifference& w = f.weightDifferences[r];
        switch (c) {
        case 0:
            return w.waybill;
        case 1:
            return Stats::kilograms(w.goodsGrams);
        case 2:
            return Stats::kilograms(w.parcelGrams);
        case 3:
            return Stats::kilograms(w.differenceGrams);
        default:
            return number(w.share * 100, 1) + u'%';
        }
    });
    m_hourModel->reset(24, 1, [&f](int r, int c) {
        return QString::number(c == 0 ? r : f.parcelsPerHour[size_t(r)]);
    });
    // Every caption and figure shows whole; the rows in view decide, so a long list stays cheap.
    for (QTableView* v : {ListViewOpr, ListViewSnd, ListViewProvince, ListViewWeight, ListViewHour})
        v->resizeColumnsToContents();
    drawCharts();
}

void TTjbbForm::drawCharts() {
    const tv::StatsFigures& f = m_figures;
    const QFont base = font();

    // Parcels per operator per day, stacked.
    QChart* opr = newChart(QStringLiteral("每日包裹（按发货员）"), base);
    auto* stacked = new QStackedBarSeries;
    for (const tv::OperatorFigures& o : f.operators) {
        auto* set = new QBarSet(tv::Stats::displayName(o.name));
        for (int n : o.parcelsPerDay)
            set->append(n);
        stacked->append(set);
    }
    opr->addSeries(stacked);
    // Day d's bar stands at d. A month has more days than names fit under the bars side by
    // side: every step-th day is named, eight names at most, or four beyond a month, where a
    // name carries the month too.
    const int dayCount = int(f.days.size());
    auto* dayAxis = new QCategoryAxis;
    dayAxis->setRange(-0.5, std::max(0, dayCount - 1) + 0.5);
    dayAxis->setStartValue(-0.5);
    dayAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    dayAxis->setGridLineVisible(false);
    const bool months = dayCount > 31;
    const int names = months ? 4 : 8;
    const int step = std::max(1, (dayCount + names - 1) / names);
    const QString format = months ? QStringLiteral("MM-dd") : QStringLiteral("dd");
    for (int d = 0; d < dayCount; d += step)
        dayAxis->append(f.days[d].toString(format), d);
    styleAxis(dayAxis, base);
    opr->addAxis(dayAxis, Qt::AlignBottom);
    stacked->attachAxis(dayAxis);
    auto* oprValues = new QValueAxis;
    double dayMax = 0;
    for (qsizetype d = 0; d < f.days.size(); ++d) {
        double total = 0;
        for (const tv::OperatorFigures& o : f.operators)
            if (d < o.parcelsPerDay.size())
                total += o.parcelsPerDay[d];
        dayMax = std::max(dayMax, total);
    }
    wholeNumberTicks(oprValues, dayMax);
    styleAxis(oprValues, base);
    opr->addAxis(oprValues, Qt::AlignLeft);
    stacked->attachAxis(oprValues);
    opr->legend()->setAlignment(Qt::AlignBottom);

    // Parcels per hour of the day.
    QChart* hours = newChart(QStringLiteral("每小时包裹"), base);
    auto* hourSeries = new QBarSeries;
    auto* hourSet = new QBarSet(QStringLiteral("包裹"));
    for (int h = 0; h < 24; ++h)
        hourSet->append(f.parcelsPerHour[size_t(h)]);
    hourSeries->append(hourSet);
    hourSeries->setBarWidth(0.8);
    hours->addSeries(hourSeries);
    // Bar h stands at h; a label every six hours leaves room for each.
    auto* hourAxis = new QValueAxis;
    hourAxis->setRange(-0.5, 23.5);
    hourAxis->setTickType(QValueAxis::TicksDynamic);
    hourAxis->setTickAnchor(0);
    hourAxis->setTickInterval(6);
    hourAxis->setLabelFormat(QStringLiteral("%d"));
    hourAxis->setGridLineVisible(false);
    styleAxis(hourAxis, base);
    hours->addAxis(hourAxis, Qt::AlignBottom);
    hourSeries->attachAxis(hourAxis);
    auto* hourValues = new QValueAxis;
    double hourMax = 0;
    for (int h = 0; h < 24; ++h)
        hourMax = std::max(hourMax, double(f.parcelsPerHour[size_t(h)]));
    wholeNumberTicks(hourValues, hourMax);
    styleAxis(hourValues, base);
    hours->addAxis(hourValues, Qt::AlignLeft);
    hourSeries->attachAxis(hourValues);
    hours->legend()->hide();

    // Postage per logistics method.
    QChart* snd = newChart(QStringLiteral("邮资（按物流方式）"), base);
    auto* pie = new QPieSeries;
    for (const tv::MethodFigures& m : f.methods)
        if (m.postage > 0)
            pie->append(tv::Stats::displayName(m.name), m.postage);
    snd->addSeries(pie);
    snd->legend()->setAlignment(Qt::AlignRight);

    for (auto [view, chart] : {std::pair{ChartOpr, opr}, {ChartHour, hours}, {ChartSnd, snd}}) {
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    }
}
