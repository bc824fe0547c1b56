#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// The scale settings dialog: scale type and serial port. It keeps the user's picks between
// showings; it is not reloaded when shown.
class TDzcszDlg : public QDialog {
    Q_OBJECT
public:
    TDzcszDlg(QWidget* parent, qint32 scaleType, qint32 portNo);

    // The chosen scale type (item index of ComboBox1) and port number (item index of
    // ComboBox2 plus 1).
    qint32 scaleType() const { return m_scaleType; }
    qint32 portNo() const { return m_portNo; }

    QFrame* Bevel1;
    QLabel* Label1;
    QComboBox* ComboBox1;
    QLabel* Label2;
    QComboBox* ComboBox2;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void ComboBox1Change();
    void ComboBox2Change();

private:
    qint32 m_scaleType;
    qint32 m_portNo;
};
