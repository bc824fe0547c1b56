#pragma once

#include "config/ConfigDb.h"

#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The scan's checks: stable weight only, the weight-difference limits, and the reason under a
// refusal. Shows the values it is given; the window stores what OK confirms.
class TFhjcszDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFhjcszDlg(QWidget* parent);

    void setScanCheck(const tv::ScanCheck& check);
    // The controls' values; an empty limit is 0 (off).
    tv::ScanCheck scanCheck() const;

    QFrame* Bevel1;
    QCheckBox* CheckBox1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QCheckBox* CheckBox2;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
