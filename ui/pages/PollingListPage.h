#pragma once
// A page that shows one record list and refills it from a fetch function at once and then
// on every tick of its refresh timer, whether it is visible or not. Each refresh empties the
// list first, so the list shows either the latest good reply or nothing.
#include <QResizeEvent>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ui/common/RecordListModel.h"
#include "ui/common/RecordListView.h"

template <typename Record>
class CPollingListPage : public QWidget {
public:
    // nullopt: the command failed or its reply was unreadable.
    using Fetch = std::function<std::optional<std::vector<Record>>()>;

    CPollingListPage(std::vector<RecordColumn<Record>> columns, Fetch fetch, int periodMs,
                     QWidget* parent)
        : QWidget(parent),
          model_(std::move(columns)),
          list_(new RecordListView(this)),
          fetch_(std::move(fetch)) {
        list_->SetRecordModel(&model_);
        setFocusProxy(list_);  // focusing the page focuses its list
        Refresh();
        timer_.setInterval(periodMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Refresh(); });
        timer_.start();
    }

    void Refresh() {
        model_.Clear();
        if (std::optional<std::vector<Record>> rows = fetch_()) model_.Reset(std::move(*rows));
    }

    RecordListModel<Record>& Model() { return model_; }
    RecordListView* List() const { return list_; }
    const QTimer& RefreshTimer() const { return timer_; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        list_->setGeometry(rect());
    }

private:
    RecordListModel<Record> model_;
    RecordListView* list_;  // owned by this widget
    Fetch fetch_;
    QTimer timer_;
};
