#pragma once

#include "chart/CChartAxis.h"

namespace chart {

// The linear numeric axis: ticks at multiples of 1, 2 or 5 times a power of ten.
class CChartStandardAxis : public CChartAxis {
public:
    double GetFirstTickValue() const override;
    bool GetNextTickValue(double current, double& next) const override;
    int ValueToScreen(double value) const override;
    int ValueToScreenDiscrete(double value) const override;
    QString GetTickLabel(double value) const override;
    void RefreshTickIncrement() override;
    void RefreshFirstTick() override;

    double GetTickIncrement() const { return increment_; }
    unsigned GetPrecision() const { return precision_; }
    double GetFirstTick() const { return firstTick_; }
    // A fixed step for axes without automatic ticks.
    void SetTickIncrement(double increment, unsigned precision);

protected:
    double TickIncrement() const override { return increment_; }

private:
    double firstTick_ = 0.0;
    double increment_ = 1.0;
    unsigned precision_ = 0;
};

}  // namespace chart
