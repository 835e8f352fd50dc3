#pragma once
#include <QStringList>
#include <functional>
#include <mutex>

#include "ui/common/Messages.h"

// Message boxes recorded instead of shown while the sink lives (the default sink afterwards),
// each as "text|caption|icon|has parent"; they may come from a worker thread.
struct CapturingSink : MessageSink {
    CapturingSink() { SetMessageSink(this); }
    ~CapturingSink() override { SetMessageSink(nullptr); }
    CapturingSink(const CapturingSink&) = delete;
    CapturingSink& operator=(const CapturingSink&) = delete;
    void Show(QWidget* parent, const QString& text, const QString& caption,
              MessageIcon icon) override {
        if (whenShown) whenShown();
        std::lock_guard guard(mutex);
        shown << QString("%1|%2|%3|%4").arg(text, caption).arg(int(icon)).arg(parent != nullptr);
    }
    // A question is recorded like a message (icon Question) and answered with `answer`.
    bool Ask(QWidget* parent, const QString& text, const QString& caption) override {
        Show(parent, text, caption, MessageIcon::Question);
        std::lock_guard guard(mutex);
        return answer;
    }
    QStringList Shown() const {
        std::lock_guard guard(mutex);
        return shown;
    }
    mutable std::mutex mutex;
    QStringList shown;
    std::function<void()> whenShown;  // run as each message comes, on the thread that shows it
    bool answer = true;
};
