// The record-list model on its own, with a record of its own.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "ui/common/RecordListModel.h"
#include "ui/res/Strings.h"

namespace {

struct Item {
    std::string name;
    int64_t size;
};

TEST(RecordListModelTest, NumericSortIsStableAndOverflowFreeBadColumnsChangeNothing) {
    RecordListModel<Item> model(
        {TextColumn<Item>(res::IDS_COL_USER_NAME, 120, Qt::AlignLeft, &Item::name),
         {res::IDS_COL_TOTAL_FLOW, 80, Qt::AlignRight,
          [](const Item& i) { return QString::number(i.size); },
          [](const Item& a, const Item& b) { return record_compare::Numeric(a.size, b.size); }}});
    const auto names = [&] {
        std::string s;
        for (const Item& item : model.Rows()) s += item.name;
        return s;
    };
    // Differences that overflow 32 bits must still order correctly.
    model.Reset({{"a", 5}, {"b", INT64_C(5000000000)}, {"c", -3000000000}, {"d", 5}, {"e", 0}});
    model.SortByColumn(2);
    model.SortByColumn(-1);
    EXPECT_EQ(names(), "abcde");
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    const QPersistentModelIndex selected = model.index(1, 0);  // "b" stays selected
    model.SortByColumn(1);
    EXPECT_EQ(names(), "ceadb");
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(selected.row(), 4);
    EXPECT_EQ(model.data(model.index(4, 1), Qt::DisplayRole).toString(), "5000000000");
    EXPECT_FALSE(model.data(model.index(5, 0), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
}

}  // namespace
