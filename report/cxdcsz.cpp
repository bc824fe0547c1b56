#include "report/cxdcsz.h"

#include "config/ConfigDb.h"
#include "platform/Database.h"
#include "platform/gui/DialogChrome.h"
#include "platform/gui/HandlerGuard.h"
#include "report/ShipmentListModel.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TCxdcszDlg::TCxdcszDlg(QWidget* parent, tv::Connection* configConnection)
    : QDialog(parent)
    , m_config(configConnection) {
    setWindowTitle(QStringLiteral("查询及导出设置"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    auto* bevel = new QVBoxLayout(Bevel1);
    Label1 = new QLabel(QStringLiteral("选择需要显示的列："), Bevel1);
    bevel->addWidget(Label1);
    auto* grid = new QGridLayout;
    QCheckBox** const named[ColumnCount] = {
        &CheckBox1,  &CheckBox2,  &CheckBox3,  &CheckBox4,  &CheckBox5,  &CheckBox6,
        &CheckBox7,  &CheckBox8,  &CheckBox9,  &CheckBox10, &CheckBox11, &CheckBox12,
        &CheckBox13, &CheckBox14, &CheckBox15, &CheckBox16, &CheckBox17, &CheckBox18};
    // The captions are those of the list's columns 1 to 18.
    const QStringList& captions = tv::ShipmentListModel::captions();
    for (int k = 0; k < ColumnCount; ++k) {
        auto* box = new QCheckBox(captions.at(k + 1), Bevel1);
        box->setObjectName(QStringLiteral("CheckBox%1").arg(k + 1));
        box->setChecked(true);
        *named[k] = box;
        ColumnCheckBoxes[k] = box;
        grid->addWidget(box, k / 3, k % 3);
    }
    bevel->addLayout(grid);

    Button1 = new QPushButton(QStringLiteral("全选"), this);
    Button2 = new QPushButton(QStringLiteral("全不选"), this);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    tv::placeBevelAndButtons(*this, Bevel1, {OKBtn, CancelBtn}, {Button1, Button2})
        ->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &TCxdcszDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TCxdcszDlg::Button2Click);
    connect(OKBtn, &QPushButton::clicked, this, &TCxdcszDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    loadChoice();
}

void TCxdcszDlg::loadChoice() {
    tv::guarded([&] {
        if (!m_config || !m_config->isOpen())
            return;
        // Rows map to boxes by position; extra rows have no box, missing ones leave it checked.
        const QList<bool> shown = tv::ConfigDb(*m_config).readColumnChoice();
        for (qsizetype k = 0; k < shown.size() && k < ColumnCount; ++k)
            ColumnCheckBoxes[k]->setChecked(shown[k]);
    });
}

QList<bool> TCxdcszDlg::columnChoice() const {
    QList<bool> shown;
    for (const QCheckBox* box : ColumnCheckBoxes)
        shown.append(box->isChecked());
    return shown;
}

void TCxdcszDlg::Button1Click() {
    for (QCheckBox* box : ColumnCheckBoxes)
        box->setChecked(true);
}

void TCxdcszDlg::Button2Click() {
    for (QCheckBox* box : ColumnCheckBoxes)
        box->setChecked(false);
}

void TCxdcszDlg::OKBtnClick() {
    // A failed save is reported and the dialog stays open, so nothing unsaved is applied.
    const bool saved = tv::guarded([&] {
        if (m_config && m_config->isOpen())
            tv::ConfigDb(*m_config).writeColumnChoice(columnChoice());
    });
    if (saved)
        accept();
}
