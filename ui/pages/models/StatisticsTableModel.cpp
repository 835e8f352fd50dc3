#include "ui/pages/models/StatisticsTableModel.h"

#include "ui/res/Artwork.h"
#include "ui/res/Strings.h"

namespace {

constexpr int kRowLabels[StatisticsTableModel::kRowCount] = {
    res::IDS_ROW_START_TIME, res::IDS_ROW_ONLINE_USERS, res::IDS_ROW_ONLINE_DEVICES,
    res::IDS_ROW_TOTAL_NETWORK_FLOW, res::IDS_ROW_ALARMS};
constexpr int kColumnTitles[2] = {res::IDS_COL_ITEM, res::IDS_COL_VALUE};

}  // namespace

StatisticsTableModel::StatisticsTableModel(QObject* parent) : QAbstractTableModel(parent) {
    for (int row = 0; row < kRowCount; ++row) icons_[row] = res::RowIcon(row);
}

void StatisticsTableModel::SetValue(int row, const QString& text) {
    if (row < 0 || row >= kRowCount || values_[row] == text) return;
    values_[row] = text;
    const QModelIndex cell = index(row, 1);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

int StatisticsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRowCount;
}

int StatisticsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant StatisticsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= kRowCount || index.column() >= 2) return {};
    const bool labelColumn = index.column() == 0;
    switch (role) {
        case Qt::DisplayRole:
            return labelColumn ? res::Str(kRowLabels[index.row()]) : values_[index.row()];
        case Qt::DecorationRole:
            return labelColumn ? QVariant(icons_[index.row()]) : QVariant();
        case Qt::TextAlignmentRole:
            return static_cast<int>(Qt::AlignCenter);
        default:
            return {};
    }
}

QVariant StatisticsTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= 2) return {};
    switch (role) {
        case Qt::DisplayRole:
            return res::Str(kColumnTitles[section]);
        case Qt::TextAlignmentRole:
            return static_cast<int>(Qt::AlignCenter);
        default:
            return {};
    }
}
