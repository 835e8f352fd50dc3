#pragma once
// The dashboard's statistics: five fixed rows (start time, online users, online devices,
// total network flow, alarms), each with its icon, label and value text.
#include <QAbstractTableModel>
#include <QIcon>
#include <array>

class StatisticsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Row { kStartTime, kOnlineUsers, kOnlineDevices, kTotalNetworkFlow, kAlarms, kRowCount };
    static constexpr int kColumnWidths[2] = {100, 150};

    explicit StatisticsTableModel(QObject* parent = nullptr);

    void SetValue(int row, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::array<QString, kRowCount> values_;
    std::array<QIcon, kRowCount> icons_;
};
