#pragma once

namespace chart {

class CChartAxis;

// What an axis asks of the series plotted against it: their extents, for its automatic range
// and its scroll bar, and to stop using the axis when it goes.
class PlottedSerie {
public:
    virtual ~PlottedSerie() = default;

    // Extents of the visible series' points; false when there is none to give.
    virtual bool GetSerieXMinMax(double& min, double& max) const = 0;
    virtual bool GetSerieYMinMax(double& min, double& max) const = 0;
    // The same over the points inside the other axis' range.
    virtual bool GetSerieXScreenMinMax(double& min, double& max) const = 0;
    virtual bool GetSerieYScreenMinMax(double& min, double& max) const = 0;
    virtual void ForgetAxis(const CChartAxis* axis) = 0;
};

}  // namespace chart
