#pragma once

#include "report/ShipmentExport.h"

#include <QAbstractTableModel>
#include <QBitArray>
#include <QList>
#include <QStringList>

namespace tv {

// The rows of the shipment result list: column 0 is the row number, columns 1 to 18 the
// order's cells. Every row carries a check box that nothing reads. The cells are kept end to
// end in one table, so a hundred thousand rows cost their characters, and the export reads the
// same table.
class ShipmentListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ShipmentListModel(QObject* parent = nullptr);

    static const QStringList& captions();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clear();
    // Appends rows of 19 cells each (the row number first).
    void appendRows(const QList<QStringList>& rows);
    // Appends count rows of a table with the same columns, from row first.
    void appendRows(const ListTable& rows, qsizetype first, qsizetype count);
    QStringList row(int r) const;
    const ListTable& table() const { return m_table; }

private:
    ListTable m_table;
    QBitArray m_checked;
};

} // namespace tv
