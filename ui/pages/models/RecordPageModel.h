#pragma once
// The record-list model of the alarm and access-history pages: the rows live in a RecordList
// (one vector of records, texts packed), cells become text only when the view asks for them.
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "Common/Database.h"
#include "ui/common/RecordListModel.h"
#include "ui/pages/records/RecordFill.h"
#include "ui/pages/records/SortState.h"
#include "ui/res/Strings.h"

// What the page needs of its model without knowing the record type.
class RecordPageModelBase : public RecordListModelBase {
public:
    using RecordListModelBase::RecordListModelBase;

    // Reads the whole table again, newest first (the filter stays).
    virtual void Fill() = 0;
    // True when the table has rows the last fill did not read.
    virtual bool GrewSinceFill() const = 0;
    // Reads the whole table again in the order the user last sorted it (newest first when
    // unsorted); the filter stays.
    virtual void FillKeepingOrder() = 0;
    virtual void SetFilter(const QString& filter) = 0;
    // The shown rows, in their shown order, as CSV under the headers of the current language.
    virtual bool WriteCsv(const std::function<bool(std::string_view)>& write) const = 0;
};

template <typename Columns>
class RecordPageModel : public RecordPageModelBase {
public:
    explicit RecordPageModel(DatabaseOptions options, QObject* parent = nullptr)
        : RecordPageModelBase(parent), options_(std::move(options)) {}

    // One sort state per record type, kept for the life of the process.
    static SortState& PageSortState() {
        static SortState state;
        return state;
    }

    const RecordList<Columns>& List() const { return list_; }

    void Fill() override {
        beginResetModel();
        Read();
        shownOrder_.reset();
        endResetModel();
    }

    bool GrewSinceFill() const override { return NewestRowId<Columns>(options_) > newestAtFill_; }

    void FillKeepingOrder() override {
        beginResetModel();
        Read();
        if (shownOrder_) list_.Sort(shownOrder_->first, shownOrder_->second);
        endResetModel();
    }

    void Clear() override {
        beginResetModel();
        list_.Clear();
        endResetModel();
    }

    void SetFilter(const QString& filter) override {
        beginResetModel();
        list_.SetFilter(filter.toStdString());
        endResetModel();
    }

    // A header click (the view asks for ascending): ascending, or descending on the second
    // click of one column; the page's alternation decides, not the order asked for.
    void sort(int column, Qt::SortOrder = Qt::AscendingOrder) override {
        if (column < 0 || column >= columnCount()) return;
        const bool descending = PageSortState().Click(column);
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<uint32_t> rowIds;
        rowIds.reserve(before.size());
        for (const QModelIndex& index : before) rowIds.push_back(list_.ShownRowId(index.row()));
        list_.Sort(column, descending);
        shownOrder_ = {column, descending};
        // Selections and the current row stay on their records.
        std::vector<int> shownAt(list_.RowCount(), -1);
        for (size_t shown = 0; shown < list_.ShownCount(); ++shown)
            shownAt[list_.ShownRowId(shown)] = static_cast<int>(shown);
        QModelIndexList after;
        for (qsizetype i = 0; i < before.size(); ++i)
            after << index(shownAt[rowIds[i]], before[i].column());
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    bool WriteCsv(const std::function<bool(std::string_view)>& write) const override {
        typename RecordList<Columns>::Headers headers;
        for (int column = 0; column < columnCount(); ++column) {
            headers[column] = res::Str(Columns::kColumns[column].titleId).toStdString();
        }
        return list_.WriteCsv(headers, write);
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(list_.ShownCount());
    }

    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : RecordList<Columns>::kColumnCount;
    }

protected:
    ColumnLook Column(int column) const override {
        const ColumnLayout& layout = Columns::kColumns[column];
        return {layout.titleId, layout.width,
                layout.align == CellAlign::Left ? (Qt::AlignLeft | Qt::AlignVCenter)
                                                : Qt::Alignment(Qt::AlignCenter)};
    }
    QString CellText(int row, int column) const override {
        return QString::fromStdString(list_.Text(row, column));
    }

private:
    void Read() {
        // Taken first: a row added during the read makes the next check refill once more,
        // never miss one.
        newestAtFill_ = NewestRowId<Columns>(options_);
        FillFromDatabase(list_, options_);
    }

    DatabaseOptions options_;
    RecordList<Columns> list_;
    int64_t newestAtFill_ = -1;
    std::optional<std::pair<int, bool>> shownOrder_;  // column, descending; none: newest first
};
