#pragma once

#include "engine/ResultSnapshot.h"

#include <QAbstractTableModel>
#include <QStringList>

// A read-only table over a result snapshot: one column per field of the
// result, in its order, headed by the field's name; rows numbered from 1.
// A cell becomes text only when a view asks for it.
class SnapshotModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit SnapshotModel(QObject* parent = nullptr);

    // Replaces the rows. When the new result has the same fields as the old
    // one, the columns stay (and with them any widths a view gave them);
    // otherwise the model is reset.
    void setSnapshot(engine::ResultSnapshot snapshot);
    // Lets go of every row (and its memory), keeping the columns.
    void clearRows();
    const engine::ResultSnapshot& snapshot() const { return m_snapshot; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    engine::ResultSnapshot m_snapshot;
    QStringList m_columnNames;
};
