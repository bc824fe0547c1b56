#pragma once

#include <QAbstractTableModel>
#include <QBitArray>
#include <QList>
#include <QStringList>

namespace tv {

// The rows of the shipment result list: column 0 is the row number, columns 1 to 18 the
// order's cells. Every row carries a check box that nothing reads. Rows are plain texts, so a
// hundred thousand of them stay cheap.
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
    void appendRows(QList<QStringList> rows);
    const QStringList& row(int r) const { return m_rows[r]; }
    const QList<QStringList>& rows() const { return m_rows; }

private:
    QList<QStringList> m_rows;
    QBitArray m_checked;
};

} // namespace tv
