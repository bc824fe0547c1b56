#pragma once

#include "postage/RuleStore.h"

#include <QDialog>
#include <array>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tv {
class Connection;
}

// The rule editor: a logistics method, a set of provinces and up to nine weight intervals.
// It checks nothing and writes no table; the rules list dialog reads and saves its content.
class TBjgzDlg : public QDialog {
    Q_OBJECT
public:
    // Fills the method list once from the order database when that connection is open.
    TBjgzDlg(QWidget* parent, tv::Connection* orderConnection);

    // Empties the method, the province text, every interval field and every check mark; the
    // picker stays as it is.
    void ClearAll();

    // The editor's content: the method shown, the province text, the checked provinces and
    // the nine rows.
    tv::RuleDraft draft() const;
    // Empties the editor (ClearAll), then shows the draft: its rows from the first, its method
    // when the list holds it (exact, case-sensitive), its provinces checked, its province text.
    void setDraft(const tv::RuleDraft& draft);

    QLabel* Label1;
    QComboBox* ComboBoxSnd;
    QLabel* Label2;
    QLineEdit* Edit1;
    QPushButton* Button3;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;

    QLabel* LabelWS1;
    QLabel* LabelWS2;
    QLabel* LabelWS3;
    QLabel* LabelWS4;
    QLabel* LabelWS5;
    QLabel* LabelWS6;
    QLabel* LabelWS7;
    QLabel* LabelWS8;
    QLabel* LabelWS9;
    QLineEdit* EditWE1;
    QLineEdit* EditWE2;
    QLineEdit* EditWE3;
    QLineEdit* EditWE4;
    QLineEdit* EditWE5;
    QLineEdit* EditWE6;
    QLineEdit* EditWE7;
    QLineEdit* EditWE8;
    QLineEdit* EditWE9;
    QLineEdit* EditWSC1;
    QLineEdit* EditWSC2;
    QLineEdit* EditWSC3;
    QLineEdit* EditWSC4;
    QLineEdit* EditWSC5;
    QLineEdit* EditWSC6;
    QLineEdit* EditWSC7;
    QLineEdit* EditWSC8;
    QLineEdit* EditWSC9;
    QLineEdit* EditSF1;
    QLineEdit* EditSF2;
    QLineEdit* EditSF3;
    QLineEdit* EditSF4;
    QLineEdit* EditSF5;
    QLineEdit* EditSF6;
    QLineEdit* EditSF7;
    QLineEdit* EditSF8;
    QLineEdit* EditSF9;
    QLineEdit* EditWAC1;
    QLineEdit* EditWAC2;
    QLineEdit* EditWAC3;
    QLineEdit* EditWAC4;
    QLineEdit* EditWAC5;
    QLineEdit* EditWAC6;
    QLineEdit* EditWAC7;
    QLineEdit* EditWAC8;
    QLineEdit* EditWAC9;
    QLineEdit* EditAF1;
    QLineEdit* EditAF2;
    QLineEdit* EditAF3;
    QLineEdit* EditAF4;
    QLineEdit* EditAF5;
    QLineEdit* EditAF6;
    QLineEdit* EditAF7;
    QLineEdit* EditAF8;
    QLineEdit* EditAF9;
    // The unit label after each edit, row by row: "克", "克", "元", "克", "元".
    std::array<std::array<QLabel*, 5>, 9> UnitLabels;

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QFrame* Bevel1;

    // The province picker.
    QFrame* Panel1;
    QListWidget* CheckListBox1;
    QListWidget* CheckListBox2;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button1;
    QPushButton* Button2;

    // Row k (1 to 9) is element k - 1 of every array.
    std::array<QLabel*, 9> StartWeightLabels;
    std::array<QLineEdit*, 9> EndWeightEdits;
    std::array<QLineEdit*, 9> BeginChargeWeightEdits;
    std::array<QLineEdit*, 9> BeginChargeFeeEdits;
    std::array<QLineEdit*, 9> DetaWeightEdits;
    std::array<QLineEdit*, 9> DetaFeeEdits;

    // Key filters: true when the typed character is dropped.
    bool EditWKeyPress(QLineEdit* edit, const QString& typed) const;
    bool EditFKeyPress(QLineEdit* edit, const QString& typed) const;

public slots:
    void Edit1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    // The region whose mark was just toggled gives its provinces its new state.
    void CheckListBox1ClickCheck(QListWidgetItem* region);
    void EditWE1Change();
    void EditWE2Change();
    void EditWE3Change();
    void EditWE4Change();
    void EditWE5Change();
    void EditWE6Change();
    void EditWE7Change();
    void EditWE8Change();

public:
    // A click on a region does nothing; nothing is connected to it.
    void CheckListBox1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildRows();
    void buildPicker();
    void fillMethods(tv::Connection* orderConnection);
    // The start label of row n + 1 follows the end weight of row n (n from 1 to 8).
    void followEndWeight(int n);
};
