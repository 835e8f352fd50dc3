#pragma once
// Message boxes recorded instead of shown, while the sink is installed.
#include <QStringList>
#include <mutex>

#include "ui/common/Messages.h"

// Each message as "text|caption|icon|has parent"; they may come from a worker thread.
struct CapturingSink : MessageSink {
    void Show(QWidget* parent, const QString& text, const QString& caption,
              MessageIcon icon) override {
        std::lock_guard guard(mutex);
        shown << QString("%1|%2|%3|%4").arg(text, caption).arg(int(icon)).arg(parent != nullptr);
    }
    QStringList Shown() const {
        std::lock_guard guard(mutex);
        return shown;
    }
    mutable std::mutex mutex;
    QStringList shown;
};

// The process's message sink replaced for the guard's life (the default sink afterwards).
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(MessageSink* sink) { SetMessageSink(sink); }
    ~ScopedMessageSink() { SetMessageSink(nullptr); }
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;
};
