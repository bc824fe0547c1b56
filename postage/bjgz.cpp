#include "postage/bjgz.h"

#include "platform/Database.h"
#include "platform/gui/DialogChrome.h"
#include "platform/gui/HandlerGuard.h"
#include "platform/gui/KeyFilter.h"
#include "postage/Provinces.h"
#include "shipping/OrderDb.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kRows = 9;
constexpr int kFirstRowTop = 108;
constexpr int kRowPitch = 27;
constexpr int kEditWidth = 56;
constexpr int kEditHeight = 22;
// Left edge of the five edits of a row: end weight, allowance, fee, step, step fee.
constexpr std::array<int, 5> kFieldLeft = {86, 172, 258, 344, 430};

const QString kStartSuffix = QStringLiteral("克~");

// A check list of four columns, filled row by row, tall enough for all its entries.
QListWidget* checkList(QWidget* parent, const QStringList& entries, int top, int width) {
    auto* list = new QListWidget(parent);
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::LeftToRight);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int rowHeight = list->fontMetrics().height() + 4;
    const int frame = 2 * list->frameWidth();
    // Room for a vertical scroll bar is kept, so that a large font still gives four columns.
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list->setGridSize(QSize((width - frame - scrollBar - 2) / 4, rowHeight));
    const int rows = (int(entries.size()) + 3) / 4;
    list->setGeometry(8, top, width, rows * rowHeight + frame + 4);
    for (const QString& e : entries) {
        auto* item = new QListWidgetItem(e, list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    return list;
}

void setAllChecks(QListWidget* list, Qt::CheckState state) {
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(state);
}

} // namespace

TBjgzDlg::TBjgzDlg(QWidget* parent, tv::Connection* orderConnection)
    : QDialog(parent) {
    Label1 = new QLabel(QStringLiteral("选择物流方式："), this);
    Label1->setGeometry(16, 14, 96, 20);
    ComboBoxSnd = new QComboBox(this);
    ComboBoxSnd->setEditable(false);
    ComboBoxSnd->setGeometry(112, 12, 160, 24);
    Button3 = new QPushButton(QStringLiteral("全部清空"), this);
    Button3->setGeometry(457, 11, 84, 26);
    Label2 = new QLabel(QStringLiteral("选择省份："), this);
    Label2->setGeometry(16, 46, 96, 20);
    Edit1 = new QLineEdit(this);
    Edit1->setReadOnly(true);
    Edit1->setGeometry(112, 44, 416, 24);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    Bevel1->setGeometry(8, 76, 541, 274);
    Label3 = new QLabel(QStringLiteral("重量区间规则："), this);
    Label3->setGeometry(16, 84, 140, 20);
    Label5 = new QLabel(QStringLiteral("起计重量"), this);
    Label6 = new QLabel(QStringLiteral("首重资费"), this);
    Label7 = new QLabel(QStringLiteral("续计重量"), this);
    Label8 = new QLabel(QStringLiteral("续重资费"), this);
    const std::array<QLabel*, 4> headings = {Label5, Label6, Label7, Label8};
    for (int c = 0; c < 4; ++c)
        headings[c]->setGeometry(kFieldLeft[c + 1], 84, 80, 20);

    buildRows();

    // The frame comes after the rows so that the buttons follow them in the focus order.
    const tv::DialogButtons buttons =
        tv::setUpDialog(*this, QStringLiteral("添加规则"), {557, 396});
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    OKBtn->setGeometry(376, 360, 80, 28);
    CancelBtn->setGeometry(464, 360, 80, 28);
    connect(Button3, &QPushButton::clicked, this, &TBjgzDlg::Button3Click);

    buildPicker();
    Edit1->installEventFilter(this);

    fillMethods(orderConnection);
    Panel1->hide();

    if (const QScreen* s = screen()) {
        QRect r(QPoint(0, 0), frameGeometry().size());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void TBjgzDlg::buildRows() {
    QLabel** starts[kRows] = {&LabelWS1, &LabelWS2, &LabelWS3, &LabelWS4, &LabelWS5,
                              &LabelWS6, &LabelWS7, &LabelWS8, &LabelWS9};
    QLineEdit** fields[kRows][5] = {
        {&EditWE1, &EditWSC1, &EditSF1, &EditWAC1, &EditAF1},
        {&EditWE2, &EditWSC2, &EditSF2, &EditWAC2, &EditAF2},
        {&EditWE3, &EditWSC3, &EditSF3, &EditWAC3, &EditAF3},
        {&EditWE4, &EditWSC4, &EditSF4, &EditWAC4, &EditAF4},
        {&EditWE5, &EditWSC5, &EditSF5, &EditWAC5, &EditAF5},
        {&EditWE6, &EditWSC6, &EditSF6, &EditWAC6, &EditAF6},
        {&EditWE7, &EditWSC7, &EditSF7, &EditWAC7, &EditAF7},
        {&EditWE8, &EditWSC8, &EditSF8, &EditWAC8, &EditAF8},
        {&EditWE9, &EditWSC9, &EditSF9, &EditWAC9, &EditAF9},
    };
    const std::array<QString, 5> units = {QStringLiteral("克"), QStringLiteral("克"),
                                          QStringLiteral("元"), QStringLiteral("克"),
                                          QStringLiteral("元")};
    for (int n = 0; n < kRows; ++n) {
        const int top = kFirstRowTop + n * kRowPitch;
        auto* start = new QLabel(n == 0 ? QStringLiteral("0") + kStartSuffix : kStartSuffix, this);
        start->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        start->setGeometry(12, top, 72, kEditHeight);
        *starts[n] = start;
        StartWeightLabels[n] = start;
        for (int c = 0; c < 5; ++c) {
            auto* edit = new QLineEdit(this);
            edit->setMaxLength(6);
            edit->setGeometry(kFieldLeft[c], top, kEditWidth, kEditHeight);
            *fields[n][c] = edit;
            auto* unit = new QLabel(units[c], this);
            unit->setGeometry(kFieldLeft[c] + kEditWidth + 2, top, 20, kEditHeight);
            UnitLabels[n][c] = unit;
        }
        EndWeightEdits[n] = *fields[n][0];
        BeginChargeWeightEdits[n] = *fields[n][1];
        BeginChargeFeeEdits[n] = *fields[n][2];
        DetaWeightEdits[n] = *fields[n][3];
        DetaFeeEdits[n] = *fields[n][4];
    }
    auto* keys = new tv::KeyFilter(this, true);
    const auto weight = [this](QLineEdit* e, const QString& t) {
        return EditWKeyPress(e, t);
    };
    const auto fee = [this](QLineEdit* e, const QString& t) {
        return EditFKeyPress(e, t);
    };
    for (int n = 0; n < kRows; ++n) {
        keys->watch(EndWeightEdits[n], weight);
        keys->watch(BeginChargeWeightEdits[n], weight);
        keys->watch(BeginChargeFeeEdits[n], fee);
        keys->watch(DetaWeightEdits[n], weight);
        keys->watch(DetaFeeEdits[n], fee);
    }
    void (TBjgzDlg::*changes[kRows - 1])() = {&TBjgzDlg::EditWE1Change, &TBjgzDlg::EditWE2Change,
                                              &TBjgzDlg::EditWE3Change, &TBjgzDlg::EditWE4Change,
                                              &TBjgzDlg::EditWE5Change, &TBjgzDlg::EditWE6Change,
                                              &TBjgzDlg::EditWE7Change, &TBjgzDlg::EditWE8Change};
    for (int n = 0; n < kRows - 1; ++n)
        connect(EndWeightEdits[n], &QLineEdit::textChanged, this, changes[n]);
}

void TBjgzDlg::buildPicker() {
    Panel1 = new QFrame(this);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    Panel1->setGeometry(8, 72, 541, 282);

    QStringList regionNames;
    for (const tv::Region& r : tv::regions())
        regionNames.append(r.name);
    CheckListBox1 = checkList(Panel1, regionNames, 6, 525);
    CheckListBox2 =
        checkList(Panel1, tv::provinceNames(), CheckListBox1->geometry().bottom() + 4, 525);
    // The buttons keep the panel's last line; a list too tall for the rest scrolls.
    const int buttonsTop = Panel1->height() - 32;
    if (CheckListBox2->geometry().bottom() > buttonsTop - 4)
        CheckListBox2->setFixedHeight(buttonsTop - 4 - CheckListBox2->y());

    Button4 = new QPushButton(QStringLiteral("全选"), Panel1);
    Button4->setGeometry(8, buttonsTop + 2, 56, 22);
    Button5 = new QPushButton(QStringLiteral("全不选"), Panel1);
    Button5->setGeometry(68, buttonsTop + 2, 56, 22);
    Button6 = new QPushButton(QStringLiteral("反选"), Panel1);
    Button6->setGeometry(128, buttonsTop + 2, 56, 22);
    Button1 = new QPushButton(QStringLiteral("确定"), Panel1);
    Button1->setGeometry(383, buttonsTop, 72, 26);
    Button2 = new QPushButton(QStringLiteral("取消"), Panel1);
    Button2->setGeometry(461, buttonsTop, 72, 26);

    connect(Button1, &QPushButton::clicked, this, &TBjgzDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TBjgzDlg::Button2Click);
    connect(Button4, &QPushButton::clicked, this, &TBjgzDlg::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TBjgzDlg::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TBjgzDlg::Button6Click);
    // A mark changed by code runs the same handling as one changed by a click.
    connect(CheckListBox1, &QListWidget::itemChanged, this, &TBjgzDlg::CheckListBox1ClickCheck);
}

void TBjgzDlg::fillMethods(tv::Connection* orderConnection) {
    if (!orderConnection || !orderConnection->isOpen())
        return;
    tv::guarded([&] { ComboBoxSnd->addItems(tv::OrderDb(*orderConnection).selectSndStyles()); });
    ComboBoxSnd->setCurrentIndex(-1);
}

void TBjgzDlg::ClearAll() {
    ComboBoxSnd->setCurrentIndex(-1);
    Edit1->clear();
    // Emptying an end weight puts the start label below back to "克~" through its handler.
    for (int n = 0; n < kRows; ++n) {
        EndWeightEdits[n]->clear();
        BeginChargeWeightEdits[n]->clear();
        BeginChargeFeeEdits[n]->clear();
        DetaWeightEdits[n]->clear();
        DetaFeeEdits[n]->clear();
    }
    setAllChecks(CheckListBox1, Qt::Unchecked);
    setAllChecks(CheckListBox2, Qt::Unchecked);
}

tv::RuleDraft TBjgzDlg::draft() const {
    tv::RuleDraft d;
    d.method = ComboBoxSnd->currentText();
    d.provinceText = Edit1->text();
    for (int i = 0; i < CheckListBox2->count(); ++i) {
        if (CheckListBox2->item(i)->checkState() == Qt::Checked)
            d.provinces.append(CheckListBox2->item(i)->text());
    }
    for (int n = 0; n < kRows; ++n) {
        QString start = StartWeightLabels[n]->text();
        if (start.endsWith(kStartSuffix))
            start.chop(kStartSuffix.size());
        d.rows.append({start, EndWeightEdits[n]->text(), BeginChargeWeightEdits[n]->text(),
                       BeginChargeFeeEdits[n]->text(), DetaWeightEdits[n]->text(),
                       DetaFeeEdits[n]->text()});
    }
    return d;
}

void TBjgzDlg::setDraft(const tv::RuleDraft& d) {
    ClearAll();
    for (qsizetype k = 0; k < std::min<qsizetype>(d.rows.size(), kRows); ++k) {
        const tv::RuleInterval& r = d.rows[k];
        EndWeightEdits[k]->setText(r.EndWeight);
        BeginChargeWeightEdits[k]->setText(r.BeginChargeWeight);
        BeginChargeFeeEdits[k]->setText(r.BeginChargeFee);
        DetaWeightEdits[k]->setText(r.DetaWeight);
        DetaFeeEdits[k]->setText(r.DetaFee);
    }
    ComboBoxSnd->setCurrentIndex(
        ComboBoxSnd->findText(d.method, Qt::MatchExactly | Qt::MatchCaseSensitive));
    for (const QString& province : d.provinces) {
        const int i = tv::provinceNames().indexOf(province);
        if (i >= 0)
            CheckListBox2->item(i)->setCheckState(Qt::Checked);
    }
    Edit1->setText(d.provinceText);
}

bool TBjgzDlg::EditWKeyPress(QLineEdit*, const QString& typed) const {
    if (typed.size() != 1)
        return true;
    const QChar c = typed.front();
    return !((c >= u'0' && c <= u'9') || c == u'\b');
}

bool TBjgzDlg::EditFKeyPress(QLineEdit* edit, const QString& typed) const {
    if (typed.size() != 1)
        return true;
    const QChar c = typed.front();
    if ((c >= u'0' && c <= u'9') || c == u'\b')
        return false;
    if (c == u'.')
        return edit->text().contains(u'.');
    return true;
}

bool TBjgzDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::MouseButtonPress)
        Edit1Click();
    return QDialog::eventFilter(watched, event);
}

void TBjgzDlg::Edit1Click() {
    Panel1->show();
    Panel1->raise();
}

void TBjgzDlg::Button1Click() {
    QString text;
    for (int i = 0; i < CheckListBox2->count(); ++i) {
        if (CheckListBox2->item(i)->checkState() == Qt::Checked)
            text += CheckListBox2->item(i)->text() + u';';
    }
    Edit1->setText(text);
    Panel1->hide();
}

void TBjgzDlg::Button2Click() {
    Panel1->hide();
}

void TBjgzDlg::Button3Click() {
    ClearAll();
}

void TBjgzDlg::Button4Click() {
    setAllChecks(CheckListBox2, Qt::Checked);
}

void TBjgzDlg::Button5Click() {
    setAllChecks(CheckListBox2, Qt::Unchecked);
}

void TBjgzDlg::Button6Click() {
    for (int i = 0; i < CheckListBox2->count(); ++i) {
        QListWidgetItem* item = CheckListBox2->item(i);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void TBjgzDlg::CheckListBox1ClickCheck(QListWidgetItem* region) {
    if (!region)
        return;
    const int row = CheckListBox1->row(region);
    if (row < 0 || row >= tv::regions().size())
        return;
    // Region marks are not derived from province marks: the region's new state is given to
    // each of its provinces, whatever other regions hold them.
    const Qt::CheckState state = region->checkState();
    for (const QString& province : tv::regions()[row].provinces) {
        const int i = tv::provinceNames().indexOf(province);
        if (i >= 0)
            CheckListBox2->item(i)->setCheckState(state);
    }
}

void TBjgzDlg::CheckListBox1Click() {}

void TBjgzDlg::followEndWeight(int n) {
    StartWeightLabels[n]->setText(EndWeightEdits[n - 1]->text() + kStartSuffix);
}

void TBjgzDlg::EditWE1Change() {
    followEndWeight(1);
}
void TBjgzDlg::EditWE2Change() {
    followEndWeight(2);
}
void TBjgzDlg::EditWE3Change() {
    followEndWeight(3);
}
void TBjgzDlg::EditWE4Change() {
    followEndWeight(4);
}
void TBjgzDlg::EditWE5Change() {
    followEndWeight(5);
}
void TBjgzDlg::EditWE6Change() {
    followEndWeight(6);
}
void TBjgzDlg::EditWE7Change() {
    followEndWeight(7);
}
void TBjgzDlg::EditWE8Change() {
    followEndWeight(8);
}
