#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "chart/CChartAxis.h"
#include "chart/CChartSerie.h"
#include "chart/ChartHost.h"
#include "chart/VisibleRange.h"

namespace chart {

struct SChartXYPoint {
    double X = 0.0;
    double Y = 0.0;
    double GetX() const { return X; }
    double GetY() const { return Y; }
};

template <class PointType>
class CChartSerieBase;

// Told about mouse events that hit a series.
template <class PointType>
class CChartSeriesMouseListener {
public:
    virtual ~CChartSeriesMouseListener() = default;
    virtual void OnMouseEventSeries(ChartMouseEvent event, const QPoint& point,
                                    CChartSerieBase<PointType>* serie, int pointIndex) = 0;
};

// A label drawn for one point of a series (an extension point).
template <class PointType>
class CChartPointLabel {
public:
    virtual ~CChartPointLabel() = default;
    virtual void Draw(QPainter& p, unsigned pointIndex) = 0;
};

// Point storage of a series: the points kept in the series' ordering, their extents and the
// search for the points inside the axes' ranges.
template <class PointType>
class CChartSerieBase : public CChartSerie {
public:
    static constexpr unsigned kInitialCapacity = 1000;

    explicit CChartSerieBase(ChartHost* parent) : CChartSerie(parent), points_(kInitialCapacity) {}

    unsigned GetPointsCount() const override { return count_; }
    unsigned GetCapacity() const { return static_cast<unsigned>(points_.size()); }
    const PointType& GetPoint(unsigned index) const { return points_[index]; }
    ESeriesOrdering GetOrdering() const { return ordering_; }

    // Replaces every point; the store grows to exactly `count` when it is too small.
    void SetPoints(const PointType* points, unsigned count) {
        if (GetCapacity() < count) std::vector<PointType>(count).swap(points_);
        std::copy(points, points + count, points_.begin());
        count_ = count;
        SortPoints();
        RefreshExtents();
        ChartHost* parent = GetParent();
        if (parent) parent->EnableRefresh(false);
        if (CChartAxis* h = GetHorizontalAxis()) h->RefreshAutoAxis();
        if (CChartAxis* v = GetVerticalAxis()) v->RefreshAutoAxis();
        if (parent) {
            parent->RefreshCtrl();
            parent->EnableRefresh(true);
        }
    }

    void SetSeriesOrdering(ESeriesOrdering ordering) override {
        ordering_ = ordering;
        SortPoints();
    }

    QPoint GetPointScreenCoord(unsigned index) const override {
        const PointType& pt = points_[index];
        const CChartAxis* h = GetHorizontalAxis();
        const CChartAxis* v = GetVerticalAxis();
        return QPoint(h ? h->ValueToPixel(pt.GetX()) : 0, v ? v->ValueToPixel(pt.GetY()) : 0);
    }

    bool GetSerieXMinMax(double& min, double& max) const override {
        if (!IsVisible() || count_ == 0) return false;
        min = xMin_, max = xMax_;
        return true;
    }
    bool GetSerieYMinMax(double& min, double& max) const override {
        if (!IsVisible() || count_ == 0) return false;
        min = yMin_, max = yMax_;
        return true;
    }
    // X extent of the points visible on the vertical axis (series ordered by Y only).
    bool GetSerieXScreenMinMax(double& min, double& max) const override {
        return ScreenExtent(YOrdering, &PointType::GetX, min, max);
    }
    // Y extent of the points visible on the horizontal axis (series ordered by X only).
    bool GetSerieYScreenMinMax(double& min, double& max) const override {
        return ScreenExtent(XOrdering, &PointType::GetY, min, max);
    }

    bool GetVisiblePoints(unsigned& first, unsigned& last) const override {
        if (count_ == 0) return false;
        if (ordering_ == NoOrdering) {
            first = 0, last = count_ - 1;
            return true;
        }
        const CChartAxis* axis = ordering_ == XOrdering ? GetHorizontalAxis() : GetVerticalAxis();
        if (!axis) return false;
        const bool byX = ordering_ == XOrdering;
        auto key = [&](int i) { return byX ? points_[i].GetX() : points_[i].GetY(); };
        const std::optional<IndexRange> r =
            VisibleIndexRange(key, count_, axis->GetMin(), axis->GetMax());
        if (!r) return false;
        first = r->first, last = r->last;
        return true;
    }

    void DrawLabels(QPainter& p) override {
        for (auto& [index, label] : labels_) label->Draw(p, index);
    }

    bool OnMouseEvent(ChartMouseEvent event, const QPoint& point) override {
        if (!mouseListener_ || !NotifiesEvent(event)) return false;
        int index = -1;
        if (!IsPointOnSerie(point, index)) return false;
        mouseListener_->OnMouseEventSeries(event, point, this, index);
        return true;
    }

    void SetMouseListener(CChartSeriesMouseListener<PointType>* listener) {
        mouseListener_ = listener;
    }
    void SetPointLabel(unsigned index, std::unique_ptr<CChartPointLabel<PointType>> label) {
        labels_[index] = std::move(label);
    }

protected:
    void SortPoints() {
        auto begin = points_.begin(), end = points_.begin() + count_;
        if (ordering_ == XOrdering)
            std::sort(begin, end, [](const PointType& a, const PointType& b) { return a.X < b.X; });
        else if (ordering_ == YOrdering)
            std::sort(begin, end, [](const PointType& a, const PointType& b) { return a.Y < b.Y; });
    }

private:
    void RefreshExtents() {
        if (count_ == 0) return;
        xMin_ = xMax_ = points_[0].GetX();
        yMin_ = yMax_ = points_[0].GetY();
        for (unsigned i = 1; i < count_; ++i) {
            xMin_ = std::min(xMin_, points_[i].GetX());
            xMax_ = std::max(xMax_, points_[i].GetX());
            yMin_ = std::min(yMin_, points_[i].GetY());
            yMax_ = std::max(yMax_, points_[i].GetY());
        }
    }

    bool ScreenExtent(ESeriesOrdering needed, double (PointType::*value)() const, double& min,
                      double& max) const {
        if (!IsVisible() || ordering_ != needed) return false;
        unsigned first, last;
        if (!GetVisiblePoints(first, last)) return false;
        double lo = (points_[first].*value)(), hi = lo;
        for (unsigned i = first + 1; i <= last; ++i) {
            lo = std::min(lo, (points_[i].*value)());
            hi = std::max(hi, (points_[i].*value)());
        }
        min = lo, max = hi;
        return true;
    }

    double xMin_ = 0.0, xMax_ = 0.0, yMin_ = 0.0, yMax_ = 0.0;
    std::vector<PointType> points_;
    unsigned count_ = 0;
    ESeriesOrdering ordering_ = XOrdering;
    std::map<unsigned, std::unique_ptr<CChartPointLabel<PointType>>> labels_;
    CChartSeriesMouseListener<PointType>* mouseListener_ = nullptr;
};

// XY series without a drawing style of its own.
class CChartXYSerie : public CChartSerieBase<SChartXYPoint> {
public:
    using CChartSerieBase<SChartXYPoint>::CChartSerieBase;
};

}  // namespace chart
