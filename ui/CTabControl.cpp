#include "ui/CTabControl.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

CTabControl::CTabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    setObjectName(QStringLiteral("tab1000"));
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
}

QRect CTabControl::PageArea() const {
    const QRect client = rect();
    const int header = bar_->count() > 0 ? bar_->tabRect(0).height() : bar_->sizeHint().height();
    return QRect(QPoint(client.left(), client.top() + header + 2), client.bottomRight());
}

void CTabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
}

void CTabControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, bar_->sizeHint().height() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = bar_->sizeHint();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
