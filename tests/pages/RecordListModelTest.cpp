// The record-list model on its own, with a record of its own.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "ui/pages/RecordListModel.h"
#include "ui/res/Strings.h"

namespace {

struct Item {
    std::string name;
    int64_t size;
};

RecordListModel<Item>* MakeModel() {
    RecordColumn<Item> size{
        res::IDS_COL_TOTAL_FLOW, 80, Qt::AlignRight,
        [](const Item& i) { return QString::number(i.size); },
        [](const Item& a, const Item& b) { return record_compare::Numeric(a.size, b.size); }};
    return new RecordListModel<Item>(
        {TextColumn<Item>(res::IDS_COL_USER_NAME, 120, Qt::AlignLeft, &Item::name), size});
}

std::vector<std::string> Names(const RecordListModel<Item>& model) {
    std::vector<std::string> names;
    for (const Item& item : model.Rows()) names.push_back(item.name);
    return names;
}

TEST(RecordListModelTest, NumericColumnSortsByValueAndKeepsEqualRowsInOrder) {
    std::unique_ptr<RecordListModel<Item>> model(MakeModel());
    // Values whose differences overflow 32 bits must still order correctly.
    model->Reset({{"a", 5}, {"b", INT64_C(5000000000)}, {"c", -3000000000}, {"d", 5}, {"e", 0}});
    QSignalSpy layout(model.get(), &QAbstractItemModel::layoutChanged);
    model->SortByColumn(1);
    EXPECT_EQ(Names(*model), (std::vector<std::string>{"c", "e", "a", "d", "b"}));
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(model->data(model->index(4, 1), Qt::DisplayRole).toString(), "5000000000");
}

TEST(RecordListModelTest, UnknownColumnOrCellChangesNothing) {
    std::unique_ptr<RecordListModel<Item>> model(MakeModel());
    model->Reset({{"b", 1}, {"a", 2}});
    model->SortByColumn(2);
    model->SortByColumn(-1);
    EXPECT_EQ(Names(*model), (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(model->data(model->index(5, 0), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
    EXPECT_EQ(model->ColumnWidth(1), 80);
    EXPECT_EQ(model->ColumnWidth(7), 0);
}

TEST(RecordListModelTest, HeaderAndAlignmentComeFromTheColumns) {
    std::unique_ptr<RecordListModel<Item>> model(MakeModel());
    model->Reset({{"x", 1}});
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "User name");
    EXPECT_EQ(model->data(model->index(0, 1), Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignRight));
    model->Clear();
    EXPECT_EQ(model->rowCount(), 0);
}

}  // namespace
