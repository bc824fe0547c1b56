#include "app/main.h"

#include "app/ScaleStatus.h"
#include "app/Session.h"
#include "config/ConfigDb.h"
#include "config/dlsz.h"
#include "config/dzcsz.h"
#include "config/fhjcsz.h"
#include "platform/AppFolders.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/SoundPlayer.h"
#include "platform/TextTarget.h"
#include "platform/gui/Appearance.h"
#include "platform/gui/GuiDialogs.h"
#include "platform/gui/HandlerGuard.h"
#include "platform/gui/KeyFilter.h"
#include "postage/bjgz.h"
#include "postage/bjgz1.h"
#include "postage/yfsz.h"
#include "report/ColumnFit.h"
#include "report/ShipmentListModel.h"
#include "report/ShipmentQuery.h"
#include "report/cxdcsz.h"
#include "report/progress.h"
#include "report/tjbb.h"
#include "scale/ComThd.h"
#include "shipping/BatchPackOut.h"
#include "shipping/Scan.h"
#include "xls/XlsWorkbook.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

const QString kMainWindowCaption =
    QStringLiteral("Tolvane V1.0   Ver.Build201109020800  https://tolvane.taobao.com  ");

namespace {

const QString kPseudoOperator = QStringLiteral("Tolvane");

QFont tahoma(int pixels, bool bold = false) {
    return tv::designedFont(QStringLiteral("Tahoma"), pixels, bold);
}

QFont yahei(int pixels) {
    return tv::designedFont(QStringLiteral("微软雅黑"), pixels);
}

// The room a line edit needs to show text whole: the text, the edit's frame and margins.
int editWidthFor(const QLineEdit* edit, const QString& text) {
    const QFontMetrics fm(edit->font());
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins m = edit->textMargins();
    // QLineEdit keeps 2 pixels inside its frame on each side, and one more for the caret.
    return fm.horizontalAdvance(text) + 2 * frame + m.left() + m.right() + 2 * 2 + 1;
}

void setTextColor(QWidget* w, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(QPalette::Text, color);
    w->setPalette(p);
}

// Letters typed into the waybill field become upper case as they are typed.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

// The weight field as the scale reader's decoder sees it.
class LineEditTarget : public tv::TextTarget {
public:
    explicit LineEditTarget(QLineEdit* edit)
        : m_edit(edit) {}
    QString text() const override { return m_edit->text(); }
    void setText(const QString& text) override { m_edit->setText(text); }

private:
    QLineEdit* m_edit;
};

QLabel* label(const QString& text, QWidget* parent, const QFont* font = nullptr) {
    auto* l = new QLabel(text, parent);
    if (font)
        l->setFont(*font);
    return l;
}

} // namespace

TForm1::TForm1(const Environment& environment)
    : m_folder(environment.folder)
    , m_startScaleReader(environment.startScaleReader)
    , m_today(environment.today) {
    buildLayout();
    startUp();
}

TForm1::~TForm1() {
    FormDestroy();
    // The reader's thread may still be waiting for data: its destruction ends it within its
    // 500 ms bound and never aborts the process.
    m_comThread.reset();
}

void TForm1::buildLayout() {
    setWindowTitle(kMainWindowCaption);
    setFont(tahoma(19));
    resize(792, 594);

    PageControl1 = new QTabWidget(this);
    TabSheet1 = buildScanTab();
    TabSheet3 = buildQueryTab();
    TabSheet4 = buildSettingsTab();
    TabSheet5 = new TTjbbForm(ADOConnectionSQL);
    PageControl1->addTab(TabSheet1, QStringLiteral("出库扫描"));
    PageControl1->addTab(TabSheet3, QStringLiteral("查询及导出"));
    PageControl1->addTab(TabSheet4, QStringLiteral("设置页面"));
    PageControl1->addTab(TabSheet5, QStringLiteral("统计报表"));
    setCentralWidget(PageControl1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1Panel0 = new QLabel(StatusBar1);
    StatusBar1Panel0->setFixedWidth(200);
    StatusBar1Panel1 = new QLabel(StatusBar1);
    StatusBar1Panel1->setFixedWidth(50);
    StatusBar1->addWidget(StatusBar1Panel0);
    StatusBar1->addWidget(StatusBar1Panel1);
    setStatusBar(StatusBar1);

    if (const QScreen* screen = this->screen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

QWidget* TForm1::buildScanTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel2 = new QFrame(tab);
    Panel2->setFixedHeight(208);
    auto* top = new QVBoxLayout(Panel2);
    auto* upper = new QHBoxLayout;
    const QFont labelFont = yahei(20);
    const QFont big = tahoma(27, true);

    auto* fields = new QGridLayout;
    Label1 = label(QStringLiteral("重量（千克）："), Panel2, &labelFont);
    Edit2 = new QLineEdit(Panel2);
    Edit2->setReadOnly(true);
    Edit2->setFont(big);
    Label2 = label(QStringLiteral("邮费（元）："), Panel2, &labelFont);
    Edit3 = new QLineEdit(Panel2);
    Edit3->setReadOnly(true);
    Edit3->setFont(big);
    setTextColor(Edit3, Qt::red);
    Label3 = label(QStringLiteral("请扫描快递单："), Panel2, &labelFont);
    Edit1 = new QLineEdit(Panel2);
    Edit1->setFont(big);
    Edit1->setValidator(new UpperCaseValidator(Edit1));
    // The steadiness dot sits at the right end of the weight field, inside its frame (its text
    // margin), so that the window keeps its size and every other control its place.
    WeightIndicator = new ScaleIndicator(Edit2);
    // A waybill of 15 characters (two wide letters and 13 digits) and the scale's start-up
    // text show whole; the three fields share the column.
    const int fieldWidth = std::max(editWidthFor(Edit1, QStringLiteral("WW0000000000000")),
                                    editWidthFor(Edit2, kScaleNotConnected));
    for (QLineEdit* e : {Edit2, Edit3, Edit1})
        e->setMinimumWidth(fieldWidth);
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(Edit2, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(Edit3, 1, 1);
    fields->addWidget(Label3, 2, 0);
    fields->addWidget(Edit1, 2, 1);

    Label8 = label(QStringLiteral("发货员："), Panel2);
    ComboBoxOpr = new QComboBox(Panel2);
    ComboBoxOpr->setMinimumWidth(100);
    CheckBox3 = new QCheckBox(QStringLiteral("记住"), Panel2);
    CheckBox5 = new QCheckBox(QStringLiteral("替换为发货人"), Panel2);
    CheckBox4 = new QCheckBox(QStringLiteral("显示订单概要"), Panel2);
    CheckBox1 = new QCheckBox(QStringLiteral("手动输入重量"), Panel2);
    CheckBox2 = new QCheckBox(QStringLiteral("手动输入邮费"), Panel2);
    CheckBox6 = new QCheckBox(QStringLiteral("扫描后不立即完成"), Panel2);
    // The operator sits under the waybill; the options run in one line under the fields.
    auto* operatorRow = new QHBoxLayout;
    operatorRow->addWidget(ComboBoxOpr, 1);
    operatorRow->addWidget(CheckBox3);
    fields->addWidget(Label8, 3, 0);
    fields->addLayout(operatorRow, 3, 1);
    auto* options = new QHBoxLayout;
    for (QCheckBox* b : {CheckBox5, CheckBox4, CheckBox1, CheckBox2, CheckBox6})
        options->addWidget(b);
    options->addStretch();

    auto* right = new QVBoxLayout;
    CheckBox7 = new QCheckBox(QStringLiteral("替换打包出库"), Panel2);
    Button2 = new QPushButton(QStringLiteral("打包出库不递交发货"), Panel2);
    Button1 = new QPushButton(QStringLiteral("发货"), Panel2);
    Button1->setMinimumHeight(60);
    right->addWidget(CheckBox7);
    right->addWidget(Button2);
    right->addWidget(Button1);
    right->addStretch();

    top->setContentsMargins(4, 4, 4, 4);
    top->setSpacing(4);
    fields->setHorizontalSpacing(4);
    fields->setVerticalSpacing(2);
    upper->addLayout(fields);
    upper->addStretch();
    upper->addLayout(right);
    top->addLayout(upper);
    top->addLayout(options);

    Panel3 = new QFrame(tab);
    auto* bottom = new QGridLayout(Panel3);
    Memo1 = new QPlainTextEdit(Panel3);
    Memo1->setReadOnly(true);
    setTextColor(Memo1, Qt::blue);
    // The window's font, given outright: a theme's font for a class would win over it.
    Memo1->setFont(tahoma(19));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Memo1->setFixedWidth(350);
    Memo2 = new QPlainTextEdit(Panel3);
    Memo2->setReadOnly(true);
    Memo2->setFixedWidth(350);
    Memo2->setFixedHeight(90);
    ListViewDetail = new QTreeWidget(Panel3);
    ListViewDetail->setRootIsDecorated(false);
    ListViewDetail->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDetail->setHeaderLabels(
        {QStringLiteral("品名"), QStringLiteral("规格"), QStringLiteral("数量")});
    // The three columns keep the widths given to them; none stretches to the edge.
    ListViewDetail->header()->setStretchLastSection(false);
    ListViewDetail->header()->setFont(tahoma(19));
    ListViewDetail->setColumnWidth(0, 160);
    ListViewDetail->setColumnWidth(1, 75);
    ListViewDetail->setColumnWidth(2, 45);
    ListViewDetail->installEventFilter(this);
    bottom->addWidget(Memo1, 0, 0);
    bottom->addWidget(Memo2, 1, 0);
    bottom->addWidget(ListViewDetail, 0, 1, 2, 1);
    bottom->setColumnStretch(1, 1);
    bottom->setRowStretch(0, 1);

    layout->addWidget(Panel2);
    layout->addWidget(Panel3, 1);

    Edit1->installEventFilter(this);
    auto* keys = new tv::KeyFilter(this, false);
    for (QLineEdit* field : {Edit2, Edit3})
        keys->watch(field, [this](QLineEdit* f, const QString& t) { return Edit2KeyPress(f, t); });
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    // Option boxes react to every change of state, by click or by code; no change runs nothing.
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm1::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::toggled, this, &TForm1::CheckBox4Click);
    connect(CheckBox5, &QCheckBox::toggled, this, &TForm1::CheckBox5Click);
    connect(CheckBox6, &QCheckBox::toggled, this, &TForm1::CheckBox6Click);
    connect(CheckBox7, &QCheckBox::toggled, this, &TForm1::CheckBox7Click);
    return tab;
}

QWidget* TForm1::buildQueryTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    auto* filters = new QVBoxLayout;
    Label4 = label(QStringLiteral("发货日期自："), tab);
    DateTimePickerFrom = new QDateEdit(tab);
    DateTimePickerFrom->setCalendarPopup(true);
    DateTimePickerFrom->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    Label5 = label(QStringLiteral("至"), tab);
    DateTimePickerTo = new QDateEdit(tab);
    DateTimePickerTo->setCalendarPopup(true);
    DateTimePickerTo->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    Label6 = label(QStringLiteral("选择店铺："), tab);
    ComboBoxShop = new QComboBox(tab);
    Label7 = label(QStringLiteral("选择物流："), tab);
    ComboBoxSnd = new QComboBox(tab);
    Label9 = label(QStringLiteral("发货员："), tab);
    ComboBoxSndOpr = new QComboBox(tab);
    for (QComboBox* b : {ComboBoxShop, ComboBoxSnd, ComboBoxSndOpr})
        b->setMinimumWidth(90);
    ButtonConf = new QPushButton(QStringLiteral("设置"), tab);
    ButtonExport = new QPushButton(QStringLiteral("导出"), tab);
    ButtonSearch = new QPushButton(QStringLiteral("查询"), tab);
    auto* dates = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label4, DateTimePickerFrom, Label5, DateTimePickerTo})
        dates->addWidget(w);
    dates->addStretch();
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonConf, ButtonExport, ButtonSearch})
        dates->addWidget(w);
    auto* lists = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Label6, ComboBoxShop, Label7, ComboBoxSnd,
                                                      Label9, ComboBoxSndOpr})
        lists->addWidget(w, qobject_cast<QComboBox*>(w) ? 1 : 0);
    filters->addLayout(dates);
    filters->addLayout(lists);
    layout->addLayout(filters);

    Panel1 = new QFrame(tab);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    ListView1Model = new tv::ShipmentListModel(this);
    ListView1 = new QTableView(Panel1);
    ListView1->setModel(ListView1Model);
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->verticalHeader()->hide();
    ListView1->setFont(tahoma(19));
    ListView1->horizontalHeader()->setFont(tahoma(19));
    ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 6);
    ListView1->horizontalHeader()->setMinimumSectionSize(0);
    for (int c = 1; c < ListView1Model->columnCount(); ++c)
        ListView1->setColumnWidth(c, 100);
    panel->addWidget(ListView1);
    layout->addWidget(Panel1, 1);

    connect(ButtonSearch, &QPushButton::clicked, this, &TForm1::ButtonSearchClick);
    connect(ButtonExport, &QPushButton::clicked, this, &TForm1::ButtonExportClick);
    connect(ButtonConf, &QPushButton::clicked, this, &TForm1::ButtonConfClick);
    return tab;
}

QWidget* TForm1::buildSettingsTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    BitBtn1 = new QPushButton(QStringLiteral("电子秤设置"), tab);
    BitBtn2 = new QPushButton(QStringLiteral("登陆设置"), tab);
    BitBtn3 = new QPushButton(QStringLiteral("邮资规则设置"), tab);
    BitBtn4 = new QPushButton(QStringLiteral("发货检查设置"), tab);
    for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn3, BitBtn4}) {
        b->setFixedSize(160, 40);
        layout->addWidget(b);
    }
    layout->addStretch();
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm1::BitBtn4Click);
    return tab;
}

int TForm1::ListView1ColumnWidth(int column) const {
    return ListView1->isColumnHidden(column) ? 0 : ListView1->columnWidth(column);
}

void TForm1::setListView1ColumnWidth(int column, int width) {
    if (column <= 0 || column >= ListView1Model->columnCount())
        return;
    if (width <= 0) {
        ListView1->setColumnHidden(column, true);
    } else {
        ListView1->setColumnHidden(column, false);
        ListView1->setColumnWidth(column, width);
    }
}

void TForm1::applyColumnChoice(const QList<bool>& shown) {
    // The k-th row belongs to column k; rows beyond the last column address nothing.
    for (qsizetype k = 0; k < shown.size() && k + 1 < ListView1Model->columnCount(); ++k)
        setListView1ColumnWidth(int(k + 1), shown[k] ? 100 : 0);
}

void TForm1::startUp() {
    if (m_folder.isEmpty())
        m_folder = tv::AppFolders::current().dataFolder();
    const tv::Session session = tv::Session::open(ADOConnectionAccess, ADOConnectionSQL, m_folder);
    if (!session.configOpen) {
        for (const QString& text : session.messages)
            tv::messageBoxes().information(text);
        return;
    }
    m_com = session.settings.com;
    m_scaleType = session.settings.scaleType;
    applyColumnChoice(session.columnChoice);
    m_scanCheck = session.scanCheck;
    ComboBoxOpr->addItems(session.operators);
    ComboBoxSndOpr->addItems(session.operators);
    ComboBoxShop->addItems(session.shops);
    ComboBoxSnd->addItems(session.sndStyles);
    // The statistics tab filters by the same lists.
    TabSheet5->setLists(session.shops, session.sndStyles);
    for (const QString& text : session.messages)
        tv::messageBoxes().information(text);

    if (session.restoresOptions())
        restoreOptions(session);

    if (m_startScaleReader)
        createScaleReader();
    Edit2->setText(kScaleNotConnected);

    const QDate today = m_today.isValid() ? m_today : QDate::currentDate();
    DateTimePickerFrom->setDate(QDate(today.year(), today.month(), 1));
    DateTimePickerTo->setDate(today);
    TabSheet5->setDates(today, today);
    PageControl1->setCurrentIndex(0);
    Edit1->setFocus();
    tv::soundPlayer().play(QStringLiteral("./Welcome.wav"));
}

void TForm1::restoreOptions(const tv::Session& session) {
    // Each change of state runs the box's click handling, which writes the option back.
    const tv::Settings& s = session.settings;
    if (s.check3) {
        ComboBoxOpr->setCurrentIndex(session.rememberedOperator());
        CheckBox3->setChecked(true);
        ComboBoxOpr->setEnabled(false);
    } else {
        CheckBox3->setChecked(false);
    }
    CheckBox4->setChecked(s.check4);
    CheckBox5->setChecked(s.check5);
    CheckBox6->setChecked(s.check6);
    CheckBox7->setChecked(s.check7);
}

void TForm1::createScaleReader() {
    if (!m_weightTarget) {
        m_weightTarget = std::make_unique<LineEditTarget>(Edit2);
        m_scaleEvents = std::make_unique<FormScaleEvents>(Edit2, CheckBox1);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &TForm1::showScaleSteadiness);
        timer->start(200);
    }
    m_comThread = std::make_unique<TComThread>(m_weightTarget.get(), m_scaleType, m_com, 9600, 'N',
                                               8, 1, false, m_scaleEvents.get());
}

void TForm1::showScaleSteadiness() {
    WeightIndicator->setState(
        ScaleIndicator::stateOf(m_comThread ? m_comThread->lastReading() : tv::ScaleReading{}));
}

void TForm1::FormDestroy() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    // Only asked to stop; the window's destruction ends the thread within its 500 ms bound.
    if (m_comThread)
        m_comThread->Terminate();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormDestroy();
    QMainWindow::closeEvent(event);
}

// ---- options and sound cues ------------------------------------------------------------

int TForm1::ReportScanResult(const QString& line, bool success) {
    tv::soundPlayer().play(success ? QStringLiteral("./True.wav") : QStringLiteral("./False.wav"));
    Memo1->appendPlainText(line);
    return Memo1->document()->blockCount() - 1;
}

void TForm1::storeOption(const QString& column, QCheckBox* box) {
    if (!ADOConnectionAccess.isOpen())
        return;
    tv::ConfigDb(ADOConnectionAccess).writeOption(column, box->isChecked());
}

void TForm1::CheckBox3Click() {
    tv::guarded([&] {
        ComboBoxOpr->setEnabled(!CheckBox3->isChecked());
        if (!ADOConnectionAccess.isOpen())
            return;
        tv::ConfigDb(ADOConnectionAccess)
            .writeRemember(CheckBox3->isChecked(), ComboBoxOpr->currentText());
    });
}

void TForm1::CheckBox4Click() {
    tv::guarded([&] {
        if (!CheckBox4->isChecked())
            ListViewDetail->clear();
        storeOption(QStringLiteral("check4"), CheckBox4);
    });
}

void TForm1::CheckBox5Click() {
    tv::guarded([&] { storeOption(QStringLiteral("check5"), CheckBox5); });
}

void TForm1::CheckBox6Click() {
    tv::guarded([&] { storeOption(QStringLiteral("check6"), CheckBox6); });
}

void TForm1::CheckBox7Click() {
    tv::guarded([&] { storeOption(QStringLiteral("check7"), CheckBox7); });
}

// ---- login settings --------------------------------------------------------------------

void TForm1::BitBtn2Click() {
    tv::guarded([&] {
        if (!DlszDlg || tv::showModal(*DlszDlg) != QDialog::Accepted)
            return;
        const tv::LoginInput login{DlszDlg->Edit1->text(), DlszDlg->Edit2->text(),
                                   DlszDlg->Edit3->text(), DlszDlg->Edit4->text(),
                                   DlszDlg->Edit5->text()};
        if (const QString refused = tv::checkLogin(login); !refused.isEmpty()) {
            tv::messageBoxes().information(refused);
            return;
        }
        tv::ConfigDb(ADOConnectionAccess)
            .writeLogin(login.ipAddress, login.dataBase, login.user, login.password);
        tv::messageBoxes().information(QStringLiteral("数据库配置修改成功,请退出重新启动程序!"));
    });
}

// ---- scan tab --------------------------------------------------------------------------

namespace {

// The scan's view of the main window.
class FormScanSink : public tv::ScanSink {
public:
    explicit FormScanSink(TForm1* form)
        : m_form(form) {}
    void reportScanResult(const QString& line, bool success) override {
        m_form->ReportScanResult(line, success);
    }
    void clearDetails() override {
        m_form->ListViewDetail->clear();
        m_form->Memo2->clear();
    }
    void addNote(const QString& line) override { m_form->Memo2->appendPlainText(line); }
    void addGoods(const QString& name, const QString& spec, const QString& count) override {
        new QTreeWidgetItem(m_form->ListViewDetail, {name, spec, count});
    }
    void showPostage(const QString& text) override { m_form->Edit3->setText(text); }
    bool askYesNo(const QString& text) override { return tv::messageBoxes().question(text); }
    void playFailureCue() override { tv::soundPlayer().play(QStringLiteral("./False.wav")); }
    void addResultLine(const QString& line) override { m_form->Memo1->appendPlainText(line); }

private:
    TForm1* m_form;
};

// The scale reader's last reading for the scan; none without a reader.
class ReaderWeightSource : public tv::WeightSource {
public:
    explicit ReaderWeightSource(const TComThread* reader)
        : m_reader(reader) {}
    tv::ScaleReading lastReading() const override {
        return m_reader ? m_reader->lastReading() : tv::ScaleReading{};
    }

private:
    const TComThread* m_reader;
};

} // namespace

void TForm1::Button1Click() {
    // The next scan replaces the number, whatever this one finds.
    Edit1->selectAll();
    Edit1->setFocus();
    tv::guarded([&] {
        tv::ScanInput input;
        input.waybill = Edit1->text();
        input.weight = Edit2->text();
        input.postage = Edit3->text();
        input.operatorName = ComboBoxOpr->currentText();
        input.manualPostage = CheckBox2->isChecked();
        input.showSummary = CheckBox4->isChecked();
        input.recordShipper = CheckBox5->isChecked();
        input.askBeforeFinishing = CheckBox6->isChecked();
        input.packOutMode = CheckBox7->isChecked();
        input.manualWeight = CheckBox1->isChecked();
        input.checks = m_scanCheck;
        FormScanSink sink(this);
        const ReaderWeightSource scale(m_comThread.get());
        tv::Scan(ADOConnectionSQL, ADOConnectionAccess, sink, &scale).run(input);
    });
}

void TForm1::Button2Click() {
    tv::guarded([&] {
        tv::BatchPackOut(ADOConnectionSQL).run();
        tv::messageBoxes().information(QStringLiteral("修改完成!"));
    });
}

void TForm1::Edit2Change() {}

void TForm1::CheckBox1Click() {
    const bool manual = CheckBox1->isChecked();
    Edit2->setReadOnly(!manual);
    Edit2->clear();
    (manual ? Edit2 : Edit1)->setFocus();
    // No reading reaches the field while the operator types.
    if (m_comThread && !m_comThread->IsTerminated()) {
        if (manual)
            m_comThread->Suspend();
        else
            m_comThread->Resume();
    }
}

void TForm1::CheckBox2Click() {
    const bool manual = CheckBox2->isChecked();
    Edit3->setReadOnly(!manual);
    Edit3->clear();
    (manual ? Edit3 : Edit1)->setFocus();
}

void TForm1::ListViewDetailResize() {
    const int w = ListViewDetail->width();
    if (w > 290) {
        ListViewDetail->setColumnWidth(0, int(w * 0.625 - 10));
        ListViewDetail->setColumnWidth(1, int(w * 0.25));
        ListViewDetail->setColumnWidth(2, int(w * 0.125));
    } else {
        // The three columns keep the widths given to them; none stretches to the edge.
        ListViewDetail->header()->setStretchLastSection(false);
        ListViewDetail->header()->setFont(tahoma(19));
        ListViewDetail->setColumnWidth(0, 160);
        ListViewDetail->setColumnWidth(1, 75);
        ListViewDetail->setColumnWidth(2, 45);
    }
}

bool TForm1::Edit1KeyPress(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    Button1Click();
    return true;
}

bool TForm1::Edit2KeyPress(QLineEdit* field, const QString& typed) {
    // Only the whole current text counts; caret and selection are not considered.
    if (typed.size() != 1)
        return true;
    const QChar c = typed.front();
    const QString text = field->text();
    if (c == u'+' || c == u'-')
        return !text.isEmpty();
    if (c.isDigit() && c.unicode() < 128)
        return false;
    if (c == u'\b')
        return false;
    if (c == u'.')
        return text.contains(u'.');
    return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == ListViewDetail) {
        ListViewDetailResize();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    if (watched == Edit1)
        return Edit1KeyPress(static_cast<QKeyEvent*>(event)->key());
    return QMainWindow::eventFilter(watched, event);
}

// ---- query tab and settings tab: wired in with their subsystems ------------------------

void TForm1::ButtonSearchClick() {
    if (m_listFilling)
        return;
    const QPointer<TForm1> alive(this);
    const QList<QPushButton*> buttons = {ButtonSearch, ButtonExport, ButtonConf};
    // No nested query, export or column change while the list fills.
    m_listFilling = true;
    for (QPushButton* b : buttons)
        b->setEnabled(false);
    tv::guarded([&] {
        ListView1Model->clear();
        tv::ShipmentFilter filter;
        filter.from = DateTimePickerFrom->date();
        filter.to = DateTimePickerTo->date();
        filter.shop = ComboBoxShop->currentText();
        filter.sndStyle = ComboBoxSnd->currentText();
        filter.sndOperator = ComboBoxSndOpr->currentText();
        // Held here as well: a window destroyed during the fill leaves the connection to the
        // query, which goes first.
        const std::shared_ptr<tv::Connection> connection = queryConnection();
        tv::ShipmentQuery query(*connection, filter);
        tv::ColumnFit fit(ListView1->font(), ListView1Model->columnCount());
        if (!fillListView1(query, fit))
            return;
        fitListView1Columns(fit);
        StatusBar1Panel0->setText(tv::ShipmentQuery::countText(query.count()));
    });
    if (!alive)
        return;
    m_listFilling = false;
    for (QPushButton* b : buttons)
        b->setEnabled(true);
}

std::shared_ptr<tv::Connection> TForm1::queryConnection() {
    // A TDS connection runs one statement at a time, and the window serves events (a scan
    // among them) while the list fills: the query reads on a connection of its own, of the
    // same login. Without the order database it fails as the order connection does.
    if (!ADOConnectionSQL.isOpen()) {
        m_queryConnection.reset();
        return std::shared_ptr<tv::Connection>(std::shared_ptr<void>(), &ADOConnectionSQL);
    }
    if (!m_queryConnection || !m_queryConnection->isOpen()) {
        auto c = std::make_shared<tv::Connection>();
        c->setConnectionString(ADOConnectionSQL.connectionString());
        c->setBaseFolder(m_folder);
        c->setOdbcOptions(ADOConnectionSQL.odbcOptions());
        if (!c->open())
            throw tv::Error(c->lastError());
        m_queryConnection = std::move(c);
    }
    return m_queryConnection;
}

bool TForm1::fillListView1(tv::ShipmentQuery& query, tv::ColumnFit& fit) {
    const QPointer<TForm1> alive(this);
    // Rows are read in small batches; the list shows what has arrived and the window is
    // served whenever this interval has passed, so it never stands still for long.
    constexpr int kBatch = 256;
    constexpr qint64 kEventIntervalMs = 30;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    bool more = true;
    bool served = false;
    try {
        while (more) {
            more = query.fetch(ListView1Model->rowsToFill(), kBatch);
            // The first rows show at once, then the window is served at most every interval.
            if (more && served && sinceEvents.elapsed() < kEventIntervalMs)
                continue;
            // The widths are gathered batch by batch, so that no long pass is left for the end.
            const qsizetype shown = ListView1Model->rowCount();
            ListView1Model->showMore(ListView1Model->table().rowCount());
            fit.addRows(ListView1Model->table(), shown, ListView1Model->rowCount());
            // A short list is served once too, so that it shows before the count does.
            if (!more && served)
                break;
            QCoreApplication::processEvents();
            if (!alive || m_destroyed)
                return false;
            served = true;
            sinceEvents.restart();
        }
    } catch (...) {
        // The rows read before the failure stay listed.
        if (alive)
            ListView1Model->showMore(ListView1Model->table().rowCount());
        throw;
    }
    return true;
}

void TForm1::fitListView1Columns(const tv::ColumnFit& fit) {
    // Each column as wide as its widest text, the caption included, within 100 to 400 pixels.
    constexpr int kMin = 100;
    constexpr int kMax = 400;
    QStyleOptionViewItem option;
    option.initFrom(ListView1);
    // An item view keeps this margin on both sides of a cell's text, the grid takes a pixel,
    // and a text laid out for drawing may round up by one more.
    const int margin =
        2 * (ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, ListView1) +
             1) +
        (ListView1->showGrid() ? 1 : 0) + 1;
    const tv::ListTable& table = ListView1Model->table();
    for (int c = 1; c < ListView1Model->columnCount(); ++c) {
        const int cells = fit.widest(table, c) + margin;
        const int caption = ListView1->horizontalHeader()->sectionSizeHint(c);
        if (!ListView1->isColumnHidden(c))
            ListView1->setColumnWidth(c, std::clamp(std::max(cells, caption), kMin, kMax));
    }
}

void TForm1::ButtonExportClick() {
    tv::guarded([&] {
        if (m_listFilling || !FormProgress)
            return;
        tv::SaveFileRequest request;
        request.fileName = m_exportFileName;
        // One filter, shown as its mask alone.
        request.filter = QStringLiteral("*.xls");
        request.defaultSuffix = QStringLiteral(".xls");
        const QString fileName = tv::askSaveFileName(this, request);
        if (fileName.isEmpty())
            return;
        m_exportFileName = fileName;
        tv::XlsWorkbook workbook;
        const qsizetype count =
            tv::ShipmentExport(*FormProgress).run(ListView1Model->table(), workbook, fileName);
        tv::messageBoxes().information(tv::ShipmentExport::doneMessage(count));
    });
}

void TForm1::ButtonConfClick() {
    tv::guarded([&] {
        if (m_listFilling || !CxdcszDlg || tv::showModal(*CxdcszDlg) != QDialog::Accepted)
            return;
        applyColumnChoice(CxdcszDlg->columnChoice());
    });
}

void TForm1::BitBtn1Click() {
    tv::guarded([&] {
        if (!DzcszDlg || tv::showModal(*DzcszDlg) != QDialog::Accepted)
            return;
        if (m_comThread) {
            // Terminate also wakes a reader paused for manual weight entry, so the wait ends.
            m_comThread->Terminate();
            m_comThread->WaitFor();
            m_comThread.reset();
        }
        m_com = DzcszDlg->portNo();
        m_scaleType = DzcszDlg->scaleType();
        // Without the configuration file the choice holds for this run only.
        if (ADOConnectionAccess.isOpen())
            tv::ConfigDb(ADOConnectionAccess).writeScale(m_com, m_scaleType);
        createScaleReader();
        // While the weight is typed by hand the new reader waits too.
        if (CheckBox1->isChecked() && !m_comThread->IsTerminated())
            m_comThread->Suspend();
    });
}

void TForm1::BitBtn3Click() {
    tv::guarded([&] {
        if (YfszDlg)
            tv::showModal(*YfszDlg);
    });
}

void TForm1::BitBtn4Click() {
    tv::guarded([&] {
        if (!FhjcszDlg)
            return;
        FhjcszDlg->setScanCheck(m_scanCheck);
        if (tv::showModal(*FhjcszDlg) != QDialog::Accepted)
            return;
        if (!ADOConnectionAccess.isOpen())
            return;
        const tv::ScanCheck check = FhjcszDlg->scanCheck();
        tv::ConfigDb(ADOConnectionAccess).writeScanCheck(check);
        m_scanCheck = check;
    });
}

void TForm1::createDialogs() {
    // Each dialog once, in this order: later ones read what earlier steps set up.
    DzcszDlg = new TDzcszDlg(this, m_scaleType, m_com);
    CxdcszDlg = new TCxdcszDlg(this, &ADOConnectionAccess);
    FormProgress = new TFormProgress(this);
    DlszDlg = new TDlszDlg(this, &ADOConnectionAccess);
    YfszDlg = new TYfszDlg(this, &ADOConnectionAccess);
    BjgzDlg = new TBjgzDlg(this, &ADOConnectionSQL);
    BjgzDlg1 = new TBjgzDlg1(this, &ADOConnectionSQL);
    YfszDlg->setEditors(BjgzDlg, BjgzDlg1);
    FhjcszDlg = new TFhjcszDlg(this);
}
