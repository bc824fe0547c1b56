#pragma once

#include "report/Stats.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>

class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tv {
class Connection;

// A read-only table whose cells are formatted when shown: rows of figures can be many.
class StatsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using Cell = std::function<QString(int row, int column)>;
    explicit StatsTableModel(QStringList captions, QObject* parent = nullptr);
    // Shows rows rows; numeric columns (from numericFrom on) are aligned right.
    void reset(int rows, int numericFrom, Cell cell);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_captions;
    int m_rows = 0;
    int m_numericFrom = 1;
    Cell m_cell;
};

} // namespace tv

// The statistics tab "统计报表": a date range, the shop and logistics filters, "统计" and
// "导出", three charts and the tables of figures. The figures come from tv::Stats.
class TTjbbForm : public QWidget {
    Q_OBJECT
public:
    explicit TTjbbForm(tv::Connection& orders, QWidget* parent = nullptr);

    // The entries of the query tab's shop and method lists (each with its empty entry).
    void setLists(const QStringList& shops, const QStringList& methods);
    void setDates(const QDate& from, const QDate& to);
    const tv::StatsFigures& figures() const { return m_figures; }

    QLabel* Label1;
    QDateEdit* DateTimePickerFrom;
    QLabel* Label2;
    QDateEdit* DateTimePickerTo;
    QLabel* Label3;
    QComboBox* ComboBoxShop;
    QLabel* Label4;
    QComboBox* ComboBoxSnd;
    QPushButton* ButtonStat;
    QPushButton* ButtonExport;
    QChartView* ChartOpr;
    QChartView* ChartHour;
    QChartView* ChartSnd;
    QTabWidget* PageControlTables;
    QTableView* ListViewOpr = nullptr;
    QTableView* ListViewSnd = nullptr;
    QTableView* ListViewProvince = nullptr;
    QTableView* ListViewWeight = nullptr;
    QTableView* ListViewHour = nullptr;

public slots:
    void ButtonStatClick();
    void ButtonExportClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    void showFigures();
    void drawCharts();
    QTableView* table(tv::StatsTableModel*& model, const QStringList& captions);

    tv::Connection& m_orders;
    tv::StatsFigures m_figures;
    bool m_computed = false;
    QString m_exportFileName = QStringLiteral("统计报表");
    tv::StatsTableModel* m_oprModel = nullptr;
    tv::StatsTableModel* m_sndModel = nullptr;
    tv::StatsTableModel* m_provinceModel = nullptr;
    tv::StatsTableModel* m_weightModel = nullptr;
    tv::StatsTableModel* m_hourModel = nullptr;
};
