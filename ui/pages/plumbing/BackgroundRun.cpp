#include "ui/pages/plumbing/BackgroundRun.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>

#include "ui/common/PrivateEvents.h"

namespace {
std::atomic<int> notDelivered{0};
}  // namespace

BackgroundRun::BackgroundRun(QObject* parent)
    : QObject(parent), runner_(std::chrono::milliseconds(0)) {
    // Short reads the administrator waits for: not left behind every other program.
    runner_.SetLowPriority(false);
}

BackgroundRun::~BackgroundRun() {
    if (underWay_) --notDelivered;
}

bool BackgroundRun::Run(std::function<std::function<void()>()> work) {
    if (underWay_) return false;
    runner_.SetJob([this, work = std::move(work)] {
        std::function<void()> delivery = work();
        std::lock_guard lock(deliveryMutex_);
        delivery_ = std::move(delivery);
    });
    // Also after a job that threw: the window thread learns that nothing is under way.
    runner_.SetCompletion(
        [this] { QCoreApplication::postEvent(this, new QEvent(kBackgroundDoneEvent)); });
    underWay_ = true;
    ++notDelivered;
    if (!runner_.Start()) {
        Delivered();
        return false;
    }
    return true;
}

void BackgroundRun::Delivered() {
    underWay_ = false;
    --notDelivered;
}

bool BackgroundRun::event(QEvent* event) {
    if (event->type() != kBackgroundDoneEvent) return QObject::event(event);
    std::function<void()> delivery;
    {
        std::lock_guard lock(deliveryMutex_);
        delivery = std::exchange(delivery_, {});
    }
    Delivered();
    if (delivery) delivery();
    return true;
}

int BackgroundRun::NotDelivered() {
    return notDelivered;
}

void BackgroundRun::DeliverPosted() {
    QCoreApplication::sendPostedEvents(nullptr, kBackgroundDoneEvent);
}
