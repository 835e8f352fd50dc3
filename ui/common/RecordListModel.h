#pragma once
// The report-list design shared by every page that shows a vector of row records: the model
// owns the records and produces cell texts only when the view asks for them; a header click
// sorts the rows ascending by that column until the rows are replaced.
#include <QAbstractTableModel>
#include <QString>
#include <algorithm>
#include <cstring>
#include <functional>
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

// The part of a record list the view needs without knowing the record type. Cells and headers
// come from three questions a list answers per column: its title, width and alignment, and the
// text of one of its rows.
class RecordListModelBase : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Width of a column in pixels, as the page declares it (0 for no such column).
    int ColumnWidth(int column) const {
        return (column >= 0 && column < columnCount()) ? Column(column).width : 0;
    }
    // Drops every row.
    virtual void Clear() = 0;

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
            return {};
        }
        switch (role) {
            case Qt::DisplayRole:
                return CellText(index.row(), index.column());
            case Qt::TextAlignmentRole:
                return static_cast<int>(Column(index.column()).alignment.toInt());
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
        switch (role) {
            case Qt::DisplayRole:
                return res::Str(Column(section).titleId);
            case Qt::TextAlignmentRole:
                return static_cast<int>(Column(section).alignment.toInt());
            default:
                return {};
        }
    }

protected:
    struct ColumnLook {
        int titleId;              // string id of the header text
        int width;                // pixels
        Qt::Alignment alignment;  // of the header and the cells
    };
    // Asked only for columns and rows in range.
    virtual ColumnLook Column(int column) const = 0;
    virtual QString CellText(int row, int column) const = 0;
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

    // Changes the rows in place (their number and order stay); the view redraws them and keeps
    // its selection and scroll position.
    template <typename Change>
    void UpdateRows(Change change) {
        for (Record& row : rows_) change(row);
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

    // A stable sort by one column (a header click sorts ascending); the order lasts until the
    // rows are replaced.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override {
        if (column < 0 || column >= columnCount()) return;
        const auto& compare = columns_[column].compare;
        const int sign = order == Qt::AscendingOrder ? 1 : -1;
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int> oldRowOf(rows_.size());
        for (std::size_t i = 0; i < oldRowOf.size(); ++i) oldRowOf[i] = static_cast<int>(i);
        std::stable_sort(oldRowOf.begin(), oldRowOf.end(),
                         [&](int a, int b) { return sign * compare(rows_[a], rows_[b]) < 0; });
        std::vector<Record> sorted;
        sorted.reserve(rows_.size());
        std::vector<int> newRowOf(rows_.size());
        for (std::size_t i = 0; i < oldRowOf.size(); ++i) {
            newRowOf[oldRowOf[i]] = static_cast<int>(i);
            sorted.push_back(std::move(rows_[oldRowOf[i]]));
        }
        rows_ = std::move(sorted);
        // Selections and other persistent indexes follow their rows.
        QModelIndexList after;
        for (const QModelIndex& index : before)
            after << this->index(newRowOf[index.row()], index.column());
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }

    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }

protected:
    ColumnLook Column(int column) const override {
        return {columns_[column].titleId, columns_[column].width, columns_[column].alignment};
    }
    QString CellText(int row, int column) const override {
        return columns_[column].text(rows_[row]);
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
