#pragma once

#include "report/ShipmentExport.h"
#include "report/ShipmentListModel.h"

namespace tv {

// The result list's model as the export reads it: cells are shared with the model, not copied.
class ShipmentListSource : public ListSource {
public:
    explicit ShipmentListSource(const ShipmentListModel& model)
        : m_model(model) {}

    int columnCount() const override { return m_model.columnCount(); }
    QString caption(int column) const override { return ShipmentListModel::captions().at(column); }
    qsizetype rowCount() const override { return m_model.rows().size(); }
    QString cell(qsizetype row, int column) const override {
        const QStringList& cells = m_model.rows().at(row);
        return column < cells.size() ? cells.at(column) : QString();
    }

private:
    const ShipmentListModel& m_model;
};

} // namespace tv
