#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace tv {
class Connection;
}

// The order-database login dialog: shows the stored login each time it is shown.
class TDlszDlg : public QDialog {
    Q_OBJECT
public:
    TDlszDlg(QWidget* parent, tv::Connection* configConnection);

    QFrame* Bevel1;
    QLabel* Label2;
    QLineEdit* Edit1;
    QLabel* Label1;
    QLineEdit* Edit2;
    QLabel* Label3;
    QLineEdit* Edit3;
    QLabel* Label4;
    QLineEdit* Edit4;
    QLabel* Label5;
    QLineEdit* Edit5;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    tv::Connection* m_config;
    QString m_ipAddress;
    QString m_dataBase;
    QString m_user;
    QString m_password;
};
