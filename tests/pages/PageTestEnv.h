#pragma once
// What every page test shares: one scripted control-channel server that the process's
// MQClient talks to, a switch for whether the client believes the server runs, and a sink
// that records message boxes instead of showing them.
#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/ScriptedChannelServer.h"
#include "ui/Messages.h"

struct ShownMessage {
    QString text;
    QString caption;
    MessageIcon icon;
    bool hasParent;
};

class CapturingSink : public MessageSink {
public:
    void Show(QWidget* parent, const QString& text, const QString& caption,
              MessageIcon icon) override {
        std::lock_guard<std::mutex> guard(mutex_);
        shown_.push_back({text, caption, icon, parent != nullptr});
    }
    std::vector<ShownMessage> Shown() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ShownMessage> shown_;
};

// Records whether a widget was shown.
class ShowSpy : public QObject {
public:
    explicit ShowSpy(QObject* watched) { watched->installEventFilter(this); }
    bool shown = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) shown = true;
        return false;
    }
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static ScriptedChannelServer& Server();
    // The request lines the server received since this test began.
    std::vector<std::string> NewRequests() const;
    // The bytes the server received since this test began.
    std::string NewBytes() const;
    // Whether the client sees the proxy service as running (state 4) or stopped (1).
    void SetServerRunning(bool running) { serverRunning_ = running; }

    CapturingSink sink_;

private:
    size_t requestsBefore_ = 0;
    size_t bytesBefore_ = 0;
    static std::atomic<bool> serverRunning_;
};
