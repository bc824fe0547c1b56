#include "config/dlsz.h"

#include "config/ConfigDb.h"
#include "platform/Database.h"
#include "platform/gui/DialogChrome.h"
#include "platform/gui/HandlerGuard.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDlszDlg::TDlszDlg(QWidget* parent, tv::Connection* configConnection)
    : QDialog(parent)
    , m_config(configConnection) {
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(Bevel1);
    Label2 = new QLabel(QStringLiteral("服务器IP："), Bevel1);
    Edit1 = new QLineEdit(Bevel1);
    Label1 = new QLabel(QStringLiteral("数据库名称："), Bevel1);
    Edit2 = new QLineEdit(Bevel1);
    Label3 = new QLabel(QStringLiteral("数据库用户名："), Bevel1);
    Edit3 = new QLineEdit(Bevel1);
    Label4 = new QLabel(QStringLiteral("修改数据库密码："), Bevel1);
    Edit4 = new QLineEdit(Bevel1);
    Edit4->setEchoMode(QLineEdit::Password);
    Label5 = new QLabel(QStringLiteral("请再次确认密码："), Bevel1);
    Edit5 = new QLineEdit(Bevel1);
    Edit5->setEchoMode(QLineEdit::Password);
    const QList<QPair<QLabel*, QLineEdit*>> rows = {
        {Label2, Edit1}, {Label1, Edit2}, {Label3, Edit3}, {Label4, Edit4}, {Label5, Edit5}};
    for (int i = 0; i < rows.size(); ++i) {
        grid->addWidget(rows[i].first, i, 0);
        grid->addWidget(rows[i].second, i, 1);
    }

    const tv::DialogButtons made = tv::setUpDialog(*this, QStringLiteral("登陆设置"), {384, 266});
    OKBtn = made.ok;
    CancelBtn = made.cancel;
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Bevel1, 1);
    layout->addLayout(buttons);
}

void TDlszDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TDlszDlg::FormShow() {
    tv::guarded([&] {
        m_ipAddress.clear();
        m_dataBase.clear();
        m_user.clear();
        m_password.clear();
        // Without the configuration file there is nothing to show: the fields stay empty.
        if (m_config && m_config->isOpen()) {
            const tv::Settings s = tv::ConfigDb(*m_config).readSettings();
            m_ipAddress = s.ipAddress;
            m_dataBase = s.dataBase;
            m_user = s.user;
            m_password = s.password;
        }
        Edit1->setText(m_ipAddress);
        Edit2->setText(m_dataBase);
        Edit3->setText(m_user);
        Edit4->setText(m_password);
        Edit5->setText(m_password);
    });
}
