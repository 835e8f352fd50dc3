#include "chart/CChartScrollBar.h"

#include <QSignalBlocker>
#include <algorithm>

namespace chart {

CChartScrollBar::CChartScrollBar(CChartAxis* axis, Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent), axis_(axis) {
    setObjectName(QStringLiteral("100"));
    SetScrollInfo(info_);
}

void CChartScrollBar::SetScrollInfo(const Info& info) {
    info_ = info;
    const QSignalBlocker block(this);
    const int page = std::max(1, info.page);
    setRange(info.min, std::max(info.min, info.max - page + 1));
    setPageStep(page);
    setValue(info.pos);
    // A bar whose page covers the whole range has nothing to scroll: disabled, not hidden.
    setEnabled(info.max - info.min + 1 > page);
}

void CChartScrollBar::SetScrollPos(int pos) {
    Info info = info_;
    info.pos = pos;
    SetScrollInfo(info);
}

}  // namespace chart
