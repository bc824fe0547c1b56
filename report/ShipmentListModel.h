#pragma once

#include "report/ListTable.h"

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
    // Takes the rows of a new list, of 19 cells each (the row number first), all hidden at
    // first: showMore() brings them into view a batch at a time, without a copy.
    void takeRows(ListTable rows);
    // The table a query appends rows to while the list shows the earlier ones; rows past the
    // shown ones stay hidden until showMore().
    ListTable& rowsToFill() { return m_table; }
    // Shows up to count more of the taken rows; returns how many stay hidden.
    qsizetype showMore(qsizetype count);
    QStringList row(int r) const;
    // Every taken row, shown or not; the export reads it when the list is complete.
    const ListTable& table() const { return m_table; }

private:
    ListTable m_table;
    qsizetype m_shown = 0;
    QBitArray m_checked;
};

} // namespace tv
