#include "config/dzcsz.h"

#include "platform/gui/DialogChrome.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

TDzcszDlg::TDzcszDlg(QWidget* parent, qint32 scaleType, qint32 portNo)
    : QDialog(parent)
    , m_scaleType(scaleType)
    , m_portNo(portNo) {
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(Bevel1);
    Label1 = new QLabel(QStringLiteral("电子秤类型："), Bevel1);
    ComboBox1 = new QComboBox(Bevel1);
    ComboBox1->addItems({QStringLiteral("湘平ES"), QStringLiteral("PloquenST")});
    Label2 = new QLabel(QStringLiteral("串口选择："), Bevel1);
    ComboBox2 = new QComboBox(Bevel1);
    for (int n = 1; n <= 8; ++n)
        ComboBox2->addItem(QStringLiteral("COM%1").arg(n));
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ComboBox1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(ComboBox2, 1, 1);

    const tv::DialogButtons made = tv::setUpDialog(*this, QStringLiteral("电子秤设置"), {272, 216});
    OKBtn = made.ok;
    CancelBtn = made.cancel;
    tv::placeBevelAndButtons(*this, Bevel1, made);

    // A stored value outside a list selects nothing there; the field keeps the value.
    ComboBox1->setCurrentIndex(m_scaleType >= 0 && m_scaleType < 2 ? m_scaleType : -1);
    ComboBox2->setCurrentIndex(m_portNo >= 1 && m_portNo <= 8 ? m_portNo - 1 : -1);

    // Only the user's picks change the fields.
    connect(ComboBox1, &QComboBox::activated, this, &TDzcszDlg::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TDzcszDlg::ComboBox2Change);
}

void TDzcszDlg::ComboBox1Change() {
    m_scaleType = ComboBox1->currentIndex();
}

void TDzcszDlg::ComboBox2Change() {
    m_portNo = ComboBox2->currentIndex() + 1;
}
