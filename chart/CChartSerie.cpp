#include "chart/CChartSerie.h"

#include "chart/CChartAxis.h"
#include "chart/ChartHost.h"

namespace chart {
namespace {

// Ids are unique across every chart of the process.
unsigned NextSerieId() {
    static unsigned counter = 0;
    return counter++;
}

}  // namespace

CChartSerie::CChartSerie(ChartHost* parent) : parent_(parent), id_(NextSerieId()) {}

CChartSerie::~CChartSerie() {
    if (horizontalAxis_) horizontalAxis_->UnregisterSeries(this);
    if (verticalAxis_) verticalAxis_->UnregisterSeries(this);
}

void CChartSerie::ForgetAxis(const CChartAxis* axis) {
    if (horizontalAxis_ == axis) horizontalAxis_ = nullptr;
    if (verticalAxis_ == axis) verticalAxis_ = nullptr;
}

void CChartSerie::RefreshParent() const {
    if (parent_) parent_->RefreshCtrl();
}

void CChartSerie::SetName(const QString& name) {
    name_ = name;
    RefreshParent();
}

void CChartSerie::SetColor(ChartColor color) {
    color_ = color;
    RefreshParent();
}

void CChartSerie::SetVisible(bool visible) {
    visible_ = visible;
    RefreshParent();
}

}  // namespace chart
