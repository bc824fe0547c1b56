#pragma once

#include <QDialog>
#include <QList>
#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace tv {
class Connection;
}

// The result column choice: one box per data column of the result list, loaded from and
// stored in ListView1Conf. Created once and only shown and hidden.
class TCxdcszDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 18;

    TCxdcszDlg(QWidget* parent, tv::Connection* configConnection);

    // The boxes' states, column 1 first.
    QList<bool> columnChoice() const;

    QFrame* Bevel1;
    QLabel* Label1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox7;
    QCheckBox* CheckBox8;
    QCheckBox* CheckBox9;
    QCheckBox* CheckBox10;
    QCheckBox* CheckBox11;
    QCheckBox* CheckBox12;
    QCheckBox* CheckBox13;
    QCheckBox* CheckBox14;
    QCheckBox* CheckBox15;
    QCheckBox* CheckBox16;
    QCheckBox* CheckBox17;
    QCheckBox* CheckBox18;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public slots:
    void Button1Click();
    void Button2Click();
    void OKBtnClick();

private:
    void loadChoice();

    tv::Connection* m_config;
    std::array<QCheckBox*, ColumnCount> ColumnCheckBoxes{};
};
