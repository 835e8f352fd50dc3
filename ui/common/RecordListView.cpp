#include "ui/common/RecordListView.h"

#include <QHeaderView>

#include "ui/common/RecordListModel.h"

RecordListView::RecordListView(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    // Rows as tall as one line of text, like a report list.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    // Sorting is the model's own ascending sort, not the view's toggling sort indicator.
    setSortingEnabled(false);
    connect(header, &QHeaderView::sectionClicked, this, [this](int logicalIndex) {
        if (model_) model_->sort(logicalIndex, Qt::AscendingOrder);
    });
}

void RecordListView::SetRecordModel(RecordListModelBase* model) {
    model_ = model;
    setModel(model);
    if (!model) return;
    for (int column = 0; column < model->columnCount(); ++column) {
        setColumnWidth(column, model->ColumnWidth(column));
    }
}
