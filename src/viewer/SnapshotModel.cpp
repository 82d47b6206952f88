#include "viewer/SnapshotModel.h"

SnapshotModel::SnapshotModel(QObject* parent) : QAbstractTableModel(parent) {}

void SnapshotModel::setSnapshot(engine::ResultSnapshot snapshot)
{
    QStringList names;
    names.reserve(snapshot.columnCount());
    for (int i = 0; i < snapshot.columnCount(); ++i)
        names << snapshot.columnName(i);

    if (names != m_columnNames) {
        beginResetModel();
        m_snapshot = std::move(snapshot);
        m_columnNames = names;
        endResetModel();
        return;
    }
    clearRows();
    if (snapshot.rowCount() > 0) {
        beginInsertRows({}, 0, snapshot.rowCount() - 1);
        m_snapshot = std::move(snapshot);
        endInsertRows();
    } else {
        m_snapshot = std::move(snapshot);
    }
}

void SnapshotModel::clearRows()
{
    if (m_snapshot.rowCount() == 0)
        return;
    beginRemoveRows({}, 0, m_snapshot.rowCount() - 1);
    m_snapshot = engine::ResultSnapshot();
    endRemoveRows();
}

int SnapshotModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_snapshot.rowCount();
}

int SnapshotModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columnNames.size());
}

QVariant SnapshotModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return m_snapshot.text(index.column(), index.row());
}

QVariant SnapshotModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_columnNames.size() ? QVariant(m_columnNames.at(section)) : QVariant();
    return section < m_snapshot.rowCount() ? QVariant(section + 1) : QVariant();
}

Qt::ItemFlags SnapshotModel::flags(const QModelIndex& index) const
{
    // The history belongs to the product: cells can be selected and read,
    // never edited.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
