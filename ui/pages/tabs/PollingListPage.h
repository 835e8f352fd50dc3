#pragma once
// A page that shows one record list and refills it from a fetch function at once and then
// on every tick of its refresh timer, whether it is visible or not. The fetch runs on the link
// worker; a tick whose previous fetch still waits is skipped. Each refresh empties the list as
// its fetch is sent, so the list shows either the latest good reply or nothing.
#include <QResizeEvent>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ui/common/RecordListModel.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/plumbing/LinkReplies.h"

template <typename Record>
class CPollingListPage : public QWidget {
public:
    // nullopt: the command failed or its reply was unreadable. Runs on the link worker, so it
    // touches nothing of the page.
    using Fetch = std::function<std::optional<std::vector<Record>>()>;

    CPollingListPage(std::vector<RecordColumn<Record>> columns, Fetch fetch, int periodMs,
                     QWidget* parent)
        : QWidget(parent),
          model_(std::move(columns)),
          list_(new RecordListView(this)),
          link_(new LinkReplies(this)),
          fetch_(std::move(fetch)) {
        list_->SetRecordModel(&model_);
        setFocusProxy(list_);  // focusing the page focuses its list
        Refresh();
        timer_.setInterval(periodMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Refresh(); });
        timer_.start();
    }

    void Refresh() {
        const bool sent =
            link_->Ask("rows", fetch_, [this](std::optional<std::vector<Record>> rows) {
                if (rows) model_.Reset(std::move(*rows));
            });
        if (sent) model_.Clear();
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
    LinkReplies* link_;     // owned by this widget
    Fetch fetch_;
    QTimer timer_;
};
