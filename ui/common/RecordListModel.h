#pragma once
// The report-list design shared by every page that shows a vector of row records: the model
// owns the records and produces cell texts only when the view asks for them; a header click
// sorts the rows ascending by that column until the rows are replaced.
#include <QAbstractTableModel>
#include <QString>
#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "ui/res/Strings.h"

// Three-way comparisons (negative, zero, positive) used by the columns.
namespace record_compare {

// Locale-aware and case-sensitive, as the user's collation orders texts.
inline int Text(const std::string& a, const std::string& b) {
    return std::strcoll(a.c_str(), b.c_str());
}

template <typename Number>
int Numeric(Number a, Number b) {
    return (a < b) ? -1 : (b < a) ? 1 : 0;
}

}  // namespace record_compare

// The part of a record list the view needs without knowing the record type.
class RecordListModelBase : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Width of a column in pixels, as the page declares it.
    virtual int ColumnWidth(int column) const = 0;
    // Stable ascending sort by one column; the order lasts until the rows are replaced.
    virtual void SortByColumn(int column) = 0;
    // Drops every row.
    virtual void Clear() = 0;
};

template <typename Record>
struct RecordColumn {
    int titleId;              // string id of the header text
    int width;                // pixels
    Qt::Alignment alignment;  // of the header and the cells
    std::function<QString(const Record&)> text;
    std::function<int(const Record&, const Record&)> compare;
};

template <typename Record>
class RecordListModel : public RecordListModelBase {
public:
    explicit RecordListModel(std::vector<RecordColumn<Record>> columns, QObject* parent = nullptr)
        : RecordListModelBase(parent), columns_(std::move(columns)) {}

    const std::vector<Record>& Rows() const { return rows_; }

    // Replaces every row; the rows appear in the given order.
    void Reset(std::vector<Record> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }

    void Clear() override { Reset({}); }

    void SortByColumn(int column) override {
        if (column < 0 || column >= columnCount()) return;
        const auto& compare = columns_[column].compare;
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> order(rows_.size());  // new position -> old position
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return compare(rows_[a], rows_[b]) < 0;
        });
        std::vector<Record> sorted;
        sorted.reserve(rows_.size());
        std::vector<int> moved(rows_.size());  // old position -> new position
        for (std::size_t i = 0; i < order.size(); ++i) {
            sorted.push_back(std::move(rows_[order[i]]));
            moved[order[i]] = static_cast<int>(i);
        }
        rows_ = std::move(sorted);
        // The selection (and every other kept index) follows its record, not its row number.
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        for (const QModelIndex& index : before) after << this->index(moved[index.row()], index.column());
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    int ColumnWidth(int column) const override {
        return (column >= 0 && column < columnCount()) ? columns_[column].width : 0;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }

    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
            return {};
        }
        const RecordColumn<Record>& column = columns_[index.column()];
        switch (role) {
            case Qt::DisplayRole:
                return column.text(rows_[index.row()]);
            case Qt::TextAlignmentRole:
                return static_cast<int>(column.alignment.toInt());
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
        switch (role) {
            case Qt::DisplayRole:
                return res::Str(columns_[section].titleId);
            case Qt::TextAlignmentRole:
                return static_cast<int>(columns_[section].alignment.toInt());
            default:
                return {};
        }
    }

private:
    std::vector<RecordColumn<Record>> columns_;
    std::vector<Record> rows_;
};

// A text column over one std::string field of the record.
template <typename Record>
RecordColumn<Record> TextColumn(int titleId, int width, Qt::Alignment alignment,
                                std::string Record::*field) {
    return {titleId, width, alignment,
            [field](const Record& r) { return QString::fromStdString(r.*field); },
            [field](const Record& a, const Record& b) {
                return record_compare::Text(a.*field, b.*field);
            }};
}
