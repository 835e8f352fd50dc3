// The record-list model, with a record of its own, under Qt's model checks.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "tests/support/ModelChecks.h"
#include "tests/support/ViewChecks.h"
#include "ui/common/RecordListModel.h"
#include "ui/res/Strings.h"

namespace {

struct Item {
    std::string name;
    int64_t size;
};

// Columns and cells out of range change and show nothing; selections follow their rows.
TEST(RecordListModelTest, NumericSortOrdersPast32BitsStablyAndKeepsPersistentIndexes) {
    RecordListModel<Item> model{
        {TextColumn<Item>(res::IDS_COL_USER_NAME, 120, Qt::AlignLeft, &Item::name),
         {res::IDS_COL_TOTAL_FLOW, 80, Qt::AlignRight,
          [](const Item& i) { return QString::number(i.size); },
          [](const Item& a, const Item& b) { return record_compare::Numeric(a.size, b.size); }}}};
    test::ModelChecks checks(&model);
    const auto names = [&model] { return test::ColumnTexts(model, 0).join(""); };
    model.Reset({{"a", 5}, {"b", INT64_C(5000000000)}, {"c", -3000000000}, {"d", 5}, {"e", 0}});
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    model.sort(1);
    EXPECT_EQ(names(), "ceadb");
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(model.data(model.index(4, 1), Qt::DisplayRole).toString(), "5000000000");
    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(names(), "badec");
    const QPersistentModelIndex e = model.index(3, 0);
    model.sort(2);
    model.sort(-1);
    EXPECT_EQ(names(), "badec");
    EXPECT_FALSE(model.data(model.index(5, 0), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
    model.sort(0);
    EXPECT_EQ(e.row(), 4);
    EXPECT_EQ(e.data().toString(), "e");
    model.Clear();
    EXPECT_FALSE(e.isValid());
    EXPECT_TRUE(checks.Failures().isEmpty()) << checks.Failures().join('\n').toStdString();
}

}  // namespace
