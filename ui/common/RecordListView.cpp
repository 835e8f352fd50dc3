#include "ui/common/RecordListView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "ui/common/RecordListModel.h"

RecordListView::RecordListView(QWidget* parent)
    : QTableView(parent), copyAction_(new QAction(res::Str(res::IDS_COPY), this)) {
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

    copyAction_->setObjectName(QStringLiteral("copy"));
    copyAction_->setShortcut(QKeySequence::Copy);  // shown in the menu; the key is handled below
    copyAction_->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction_, &QAction::triggered, this, &RecordListView::CopySelection);
    addAction(copyAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void RecordListView::SetRecordModel(RecordListModelBase* model) {
    model_ = model;
    setModel(model);
    if (!model) return;
    for (int column = 0; column < model->columnCount(); ++column) {
        setColumnWidth(column, model->ColumnWidth(column));
    }
}

QString RecordListView::SelectedRowsText() const {
    if (!model() || !selectionModel()) return {};
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    const QHeaderView* header = horizontalHeader();
    QStringList lines;
    for (int row : rows) {
        QStringList cells;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int column = header->logicalIndex(visual);
            if (header->isSectionHidden(column)) continue;
            QString text = model()->index(row, column).data(Qt::DisplayRole).toString();
            text.replace(QLatin1Char('\t'), QLatin1Char(' '))
                .replace(QLatin1Char('\r'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '));
            cells << text;
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

void RecordListView::CopySelection() const {
    const QString text = SelectedRowsText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void RecordListView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
