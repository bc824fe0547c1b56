#pragma once

#include "config/ConfigDb.h"
#include "platform/Database.h"

#include <QDateEdit>
#include <QMainWindow>
#include <QStringList>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QWidget;

class FormScaleEvents;
class ScaleIndicator;
class TComThread;
class TDzcszDlg;
class TCxdcszDlg;
class TFormProgress;
class TDlszDlg;
class TYfszDlg;
class TBjgzDlg;
class TBjgzDlg1;
class TFhjcszDlg;
class TTjbbForm;

namespace tv {
class Session;
class TextTarget;
class ListTable;
class ShipmentListModel;
class ShipmentQuery;
class ColumnFit;
} // namespace tv

// The main window: owns both database connections, the scale reader and the four tabs.
// Its constructor runs the whole start-up sequence.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    struct Environment {
        // Folder of db.mdb and of relative "sqlite:" paths, with its trailing "/"; empty for the
        // program's own (tv::AppFolders::current()).
        QString folder;
        // Whether start-up creates the scale reader (tests of other parts leave it out).
        bool startScaleReader = true;
        // The day start-up takes as today; invalid for the real one.
        QDate today;
    };

    explicit TForm1(const Environment& environment);
    TForm1()
        : TForm1(Environment{}) {}
    ~TForm1() override;

    // Creates the dialogs, each once, in the order the program needs them.
    void createDialogs();

    int ReportScanResult(const QString& line, bool success);

    // The scale reader, or none.
    TComThread* scaleReader() const { return m_comThread.get(); }
    qint32 comCopy() const { return m_com; }
    qint32 scaleTypeCopy() const { return m_scaleType; }
    const QString& executableFolder() const { return m_folder; }
    const QString& orderConnectionString() const { return ADOConnectionSQL.connectionString(); }
    // Width of a column of the result list (0 when hidden).
    int ListView1ColumnWidth(int column) const;
    void setListView1ColumnWidth(int column, int width);

    // Components without a window.
    tv::Connection ADOConnectionAccess;
    tv::Connection ADOConnectionSQL;

    // Tab "出库扫描".
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    QFrame* Panel2;
    QFrame* Panel3;
    QLabel* Label1;
    QLineEdit* Edit2;
    ScaleIndicator* WeightIndicator; // steadiness of the scale's reading, right of Edit2
    QLabel* Label2;
    QLineEdit* Edit3;
    QLabel* Label3;
    QLineEdit* Edit1;
    QLabel* Label8;
    QComboBox* ComboBoxOpr;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox7;
    QPushButton* Button2;
    QPushButton* Button1;
    QPlainTextEdit* Memo1;
    QTreeWidget* ListViewDetail;
    QPlainTextEdit* Memo2;

    // Tab "查询及导出".
    QLabel* Label4;
    QDateEdit* DateTimePickerFrom;
    QLabel* Label5;
    QDateEdit* DateTimePickerTo;
    QLabel* Label6;
    QComboBox* ComboBoxShop;
    QLabel* Label7;
    QComboBox* ComboBoxSnd;
    QLabel* Label9;
    QComboBox* ComboBoxSndOpr;
    QPushButton* ButtonConf;
    QPushButton* ButtonExport;
    QPushButton* ButtonSearch;
    QFrame* Panel1;
    QTableView* ListView1;
    tv::ShipmentListModel* ListView1Model;

    // Tab "设置页面".
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;
    QPushButton* BitBtn4;

    // Tab "统计报表".
    TTjbbForm* TabSheet5;

    QStatusBar* StatusBar1;
    QLabel* StatusBar1Panel0;
    QLabel* StatusBar1Panel1;

    // The dialogs, created by createDialogs().
    TDzcszDlg* DzcszDlg = nullptr;
    TCxdcszDlg* CxdcszDlg = nullptr;
    TFormProgress* FormProgress = nullptr;
    TDlszDlg* DlszDlg = nullptr;
    TYfszDlg* YfszDlg = nullptr;
    TBjgzDlg* BjgzDlg = nullptr;
    TBjgzDlg1* BjgzDlg1 = nullptr;
    TFhjcszDlg* FhjcszDlg = nullptr;

    // The scan's checks as stored; the scan uses them as they are when it runs.
    const tv::ScanCheck& scanCheck() const { return m_scanCheck; }

public slots:
    void Button1Click();
    void Button2Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox7Click();
    void ListViewDetailResize();
    void ButtonSearchClick();
    void ButtonExportClick();
    void ButtonConfClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void FormDestroy();

public:
    // The weight and postage fields' change does nothing; nothing is connected to it.
    void Edit2Change();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    QWidget* buildScanTab();
    QWidget* buildQueryTab();
    QWidget* buildSettingsTab();
    void startUp();
    void restoreOptions(const tv::Session& session);
    void applyColumnChoice(const QList<bool>& shown);
    void createScaleReader();
    void showScaleSteadiness();
    void storeOption(const QString& column, QCheckBox* box);
    bool Edit1KeyPress(int key);
    bool Edit2KeyPress(QLineEdit* field, const QString& typed);

    QString m_folder;
    qint32 m_com = 0;
    qint32 m_scaleType = 0;
    bool m_startScaleReader = true;
    QDate m_today;
    bool m_destroyed = false;
    tv::ScanCheck m_scanCheck;
    std::unique_ptr<tv::TextTarget> m_weightTarget;
    std::unique_ptr<FormScaleEvents> m_scaleEvents; // outlives the reader
    std::unique_ptr<TComThread> m_comThread;

    // Query tab: reads the query's rows into the list in batches, serving the window between
    // them; false when the window closed meanwhile.
    bool fillListView1(tv::ShipmentQuery& query, tv::ColumnFit& fit);
    void fitListView1Columns(const tv::ColumnFit& fit);
    std::shared_ptr<tv::Connection> queryConnection();
    // The query's own connection to the order database, opened at the first query.
    std::shared_ptr<tv::Connection> m_queryConnection;
    bool m_listFilling = false;
    // The save dialog proposes the name chosen last.
    QString m_exportFileName = QStringLiteral("default");
};

// The main window's caption.
extern const QString kMainWindowCaption;
