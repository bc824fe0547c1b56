#include "config/fhjcsz.h"

#include "platform/gui/DialogChrome.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

TFhjcszDlg::TFhjcszDlg(QWidget* parent)
    : QDialog(parent) {
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(Bevel1);
    CheckBox1 = new QCheckBox(QStringLiteral("只接受稳定重量"), Bevel1);
    Label1 = new QLabel(QStringLiteral("重量差上限（克）"), Bevel1);
    Edit1 = new QLineEdit(Bevel1);
    Label2 = new QLabel(QStringLiteral("重量差上限（%）"), Bevel1);
    Edit2 = new QLineEdit(Bevel1);
    CheckBox2 = new QCheckBox(QStringLiteral("未找到订单时显示原因"), Bevel1);
    // Whole numbers only; nine digits always fit the table's 32-bit column.
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), this);
    for (QLineEdit* e : {Edit1, Edit2}) {
        e->setValidator(digits);
        e->setInputMethodHints(Qt::ImhDigitsOnly);
    }
    grid->addWidget(CheckBox1, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(Edit1, 1, 1);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(Edit2, 2, 1);
    grid->addWidget(CheckBox2, 3, 0, 1, 2);

    const tv::DialogButtons made =
        tv::setUpDialog(*this, QStringLiteral("发货检查设置"), {300, 224});
    OKBtn = made.ok;
    CancelBtn = made.cancel;
    tv::placeBevelAndButtons(*this, Bevel1, made);
}

void TFhjcszDlg::setScanCheck(const tv::ScanCheck& c) {
    CheckBox1->setChecked(c.stableOnly);
    Edit1->setText(QString::number(c.maxDiffGrams));
    Edit2->setText(QString::number(c.maxDiffPercent));
    CheckBox2->setChecked(c.explainRefusal);
}

tv::ScanCheck TFhjcszDlg::scanCheck() const {
    tv::ScanCheck c;
    c.stableOnly = CheckBox1->isChecked();
    c.maxDiffGrams = Edit1->text().toInt();
    c.maxDiffPercent = Edit2->text().toInt();
    c.explainRefusal = CheckBox2->isChecked();
    return c;
}
