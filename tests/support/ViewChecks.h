#pragma once
// What the widget tests read off models and windows.
#include <QAbstractItemModel>
#include <QStringList>
#include <QWidget>
#include <algorithm>

#include "ui/common/DialogUnits.h"
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

// A control's place in dialog units of its own font (left, top, width, height): the units it
// was placed in, as dialog units convert to whole pixels by rounding down.
inline QRect InDialogUnits(const QWidget& w) {
    const QFontMetrics metrics = w.fontMetrics();
    const int x = AverageCharWidth(metrics), y = metrics.height();
    auto across = [x](int px) { return (px * 4 + x - 1) / x; };
    auto down = [y](int px) { return (px * 8 + y - 1) / y; };
    const QRect g = w.geometry();
    return {across(g.x()), down(g.y()), across(g.width()), down(g.height())};
}

// The controls under `root` that Tab reaches, in the order it reaches them (first the one after
// `root` in the focus chain).
inline QList<QWidget*> TabChain(QWidget& root) {
    QList<QWidget*> chain;
    QWidget* w = &root;
    for (int guard = 0; guard < 100000; ++guard) {
        w = w->nextInFocusChain();
        if (w == &root || chain.contains(w)) break;
        if (root.isAncestorOf(w) && w->window() == root.window() && w->isVisibleTo(&root) &&
            w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->focusProxy() == nullptr)
            chain << w;
    }
    return chain;
}

// Each step of the Tab chain under `root` that goes against reading order (to a control in a
// row above, or to the left in the same row), as "from -> to" with the controls' classes and
// names. Rows overlap by at least half of the lower control's height.
inline QStringList TabsOutOfReadingOrder(QWidget& root) {
    QStringList broken;
    const QList<QWidget*> chain = TabChain(root);
    auto name = [](const QWidget* w) {
        return QString("%1 %2").arg(w->metaObject()->className(), w->objectName());
    };
    for (qsizetype i = 1; i < chain.size(); ++i) {
        const QRect a(chain[i - 1]->mapTo(&root, QPoint()), chain[i - 1]->size());
        const QRect b(chain[i]->mapTo(&root, QPoint()), chain[i]->size());
        const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
        const bool sameRow = 2 * overlap >= std::min(a.height(), b.height());
        if (sameRow ? b.left() < a.left() : b.top() < a.top())
            broken << name(chain[i - 1]) + " -> " + name(chain[i]);
    }
    return broken;
}

}  // namespace test
