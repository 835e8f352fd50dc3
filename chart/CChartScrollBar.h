#pragma once

#include <QScrollBar>

namespace chart {

class CChartAxis;

// Scroll bar of one axis. It keeps the scroll information in the range/page/position form the
// axis computes (range max is the last step, the page covers 10 steps) and mirrors it onto the
// Qt bar. In this console the bars stay hidden.
class CChartScrollBar : public QScrollBar {
    Q_OBJECT
public:
    struct Info {
        int min = 1;
        int max = 1;
        int page = 1;
        int pos = 1;
    };

    CChartScrollBar(CChartAxis* axis, Qt::Orientation orientation, QWidget* parent);

    CChartAxis* GetAxis() const { return axis_; }
    void SetScrollInfo(const Info& info);
    const Info& GetScrollInfo() const { return info_; }
    void SetScrollPos(int pos);

    bool IsAutoHide() const { return autoHide_; }
    void SetAutoHide(bool autoHide) { autoHide_ = autoHide; }
    bool IsScrollEnabled() const { return enabled_; }
    void SetScrollEnabled(bool enabled) { enabled_ = enabled; }

private:
    CChartAxis* axis_;
    Info info_;
    bool autoHide_ = false;
    bool enabled_ = true;
};

}  // namespace chart
