#include "report/ShipmentListModel.h"

namespace tv {

ShipmentListModel::ShipmentListModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(captions()) {}

const QStringList& ShipmentListModel::captions() {
    static const QStringList c = {
        QStringLiteral("序号"),     QStringLiteral("发货日期"), QStringLiteral("订单编号"),
        QStringLiteral("交易店铺"), QStringLiteral("物流方式"), QStringLiteral("快递单号"),
        QStringLiteral("用户ID"),   QStringLiteral("姓名"),     QStringLiteral("省"),
        QStringLiteral("市"),       QStringLiteral("区"),       QStringLiteral("地址"),
        QStringLiteral("邮编"),     QStringLiteral("商品重量"), QStringLiteral("包裹重量"),
        QStringLiteral("重量差"),   QStringLiteral("邮资"),     QStringLiteral("发货员"),
        QStringLiteral("电话号码")};
    return c;
}

int ShipmentListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown);
}

int ShipmentListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(captions().size());
}

QVariant ShipmentListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role == Qt::DisplayRole)
        return m_table.cellView(index.row(), index.column()).toString();
    if (role == Qt::CheckStateRole && index.column() == 0)
        return m_checked.testBit(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ShipmentListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || index.row() >= m_shown)
        return false;
    m_checked.setBit(index.row(), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant ShipmentListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < captions().size())
        return captions()[section];
    return {};
}

Qt::ItemFlags ShipmentListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void ShipmentListModel::clear() {
    beginResetModel();
    m_table.clear();
    m_shown = 0;
    m_checked.clear();
    endResetModel();
}

void ShipmentListModel::takeRows(ListTable rows) {
    beginResetModel();
    m_table = std::move(rows);
    m_shown = 0;
    m_checked.clear();
    endResetModel();
}

qsizetype ShipmentListModel::showMore(qsizetype count) {
    const qsizetype n = std::min(count, m_table.rowCount() - m_shown);
    if (n > 0) {
        beginInsertRows({}, int(m_shown), int(m_shown + n) - 1);
        m_shown += n;
        m_checked.resize(m_shown);
        endInsertRows();
    }
    return m_table.rowCount() - m_shown;
}

QStringList ShipmentListModel::row(int r) const {
    QStringList cells;
    for (int c = 0; c < m_table.columnCount(); ++c)
        cells.append(m_table.cellView(r, c).toString());
    return cells;
}

} // namespace tv
