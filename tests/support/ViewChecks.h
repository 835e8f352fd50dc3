#pragma once
// What the widget tests read off models and windows.
#include <QAbstractItemModel>
#include <QStringList>
#include <QWidget>

#include "ui/common/RecordListModel.h"
#include "ui/common/RecordListView.h"

namespace test {

inline QStringList ColumnTexts(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

inline QStringList RowTexts(const QAbstractItemModel& model, int row) {
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c) texts << model.index(row, c).data().toString();
    return texts;
}

// Each broken rule under `root`, one text each: a record list whose view does not show a
// declared column at its width and with its title, or a named, shown control that reaches
// outside its parent.
inline QStringList BrokenViewRules(const QWidget& root) {
    QStringList broken;
    for (const RecordListView* view : root.findChildren<RecordListView*>()) {
        const auto* model = qobject_cast<const RecordListModelBase*>(view->model());
        if (model == nullptr || model->columnCount() == 0) {
            broken << view->objectName() + ": no columns";
            continue;
        }
        for (int c = 0; c < model->columnCount(); ++c) {
            if (view->columnWidth(c) != model->ColumnWidth(c) || view->isColumnHidden(c) ||
                model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().isEmpty())
                broken << QString("%1: column %2").arg(view->objectName()).arg(c);
        }
    }
    for (const QWidget* w : root.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        if (w->objectName().isEmpty() || w->objectName().startsWith("qt_") || w->isWindow() ||
            !w->isVisible() || parent == nullptr)
            continue;
        if (!parent->rect().contains(w->geometry()))
            broken << QString("%1 outside %2").arg(w->objectName(), parent->objectName());
    }
    return broken;
}

}  // namespace test
