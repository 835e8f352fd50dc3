#pragma once
// A page's poll that runs only while the page is shown: once as it is shown, then every period
// until it is hidden. (A page in a minimised window stays shown to Qt.)
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

class PollWhileShown : public QObject {
public:
    // Owned by `page`.
    PollWhileShown(QWidget* page, int periodMs, std::function<void()> poll)
        : QObject(page), poll_(std::move(poll)) {
        timer_.setInterval(periodMs);
        connect(&timer_, &QTimer::timeout, this, [this] { poll_(); });
        page->installEventFilter(this);
    }

    QTimer& Timer() { return timer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            poll_();
            timer_.start();
        } else if (event->type() == QEvent::Hide) {
            timer_.stop();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> poll_;
    QTimer timer_;
};
