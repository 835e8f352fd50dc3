#pragma once

#include <map>
#include <memory>

#include "chart/ChartTypes.h"

namespace chart {

class CChartAxis;
class CChartSerie;

// What the parts of a chart (axes with their labels and grids, series, legend, title) may ask
// of the control that owns them: a redraw after a change, holding redraws back while several
// changes are made, the other axes, the plotting rectangle and the series. The parts never see
// the widget itself, so they need nothing of its header.
class ChartHost {
public:
    using SeriesMap = std::map<unsigned, std::unique_ptr<CChartSerie>>;

    // Redraws the chart; deferred while redraws are held back.
    virtual void RefreshCtrl() = 0;
    // Nested hold (false) and release (true); the last release runs a deferred redraw once.
    virtual void EnableRefresh(bool enable) = 0;
    virtual CChartAxis* GetAxis(int pos) const = 0;
    virtual const ChartRect& GetPlottingRect() const = 0;
    // In drawing (id) order.
    virtual const SeriesMap& Series() const = 0;

protected:
    ~ChartHost() = default;
};

}  // namespace chart
