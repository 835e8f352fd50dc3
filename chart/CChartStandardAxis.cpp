#include "chart/CChartStandardAxis.h"

namespace chart {

double CChartStandardAxis::GetFirstTickValue() const {
    // Discrete labels sit between ticks, so the walk starts one interval early.
    return IsDiscrete() ? firstTick_ - increment_ : firstTick_;
}

bool CChartStandardAxis::GetNextTickValue(double current, double& next) const {
    const std::optional<double> n = NextTick(current, increment_, GetMax());
    if (!n) return false;
    next = *n;
    return true;
}

int CChartStandardAxis::ValueToScreen(double value) const {
    return ValueToScreenStandard(value);
}

int CChartStandardAxis::ValueToScreenDiscrete(double value) const {
    return chart::ValueToScreenDiscrete(Span(), increment_, value);
}

QString CChartStandardAxis::GetTickLabel(double value) const {
    return QString::fromStdString(FormatTickLabel(value, precision_));
}

void CChartStandardAxis::RefreshTickIncrement() {
    const TickStep step = ComputeTickStep(Span(), {increment_, precision_});
    increment_ = step.increment;
    precision_ = step.precision;
}

void CChartStandardAxis::RefreshFirstTick() {
    firstTick_ = ComputeFirstTick(GetMin(), increment_);
}

void CChartStandardAxis::SetTickIncrement(double increment, unsigned precision) {
    increment_ = increment;
    precision_ = precision;
    RefreshParent();
}

}  // namespace chart
