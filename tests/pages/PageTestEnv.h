#pragma once
// What the page tests share: one scripted control-channel server that the process's MQClient
// talks to, whether the client believes the server runs, and message boxes recorded instead of
// shown.
#include <gtest/gtest.h>

#include <QString>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "server_link/MQClient.h"
#include "tests/fakes/ScriptedChannelServer.h"
#include "ui/Messages.h"

struct ShownMessage {
    QString text, caption;
    MessageIcon icon;
    bool hasParent;
};

class CapturingSink : public MessageSink {
public:
    void Show(QWidget* parent, const QString& text, const QString& caption,
              MessageIcon icon) override {
        std::lock_guard guard(mutex_);
        shown_.push_back({text, caption, icon, parent != nullptr});
    }
    std::vector<ShownMessage> Shown() const {
        std::lock_guard guard(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ShownMessage> shown_;
};

class PageTest : public ::testing::Test {
protected:
    static ScriptedChannelServer& Server() {
        static ScriptedChannelServer* server = [] {
            auto* made = new ScriptedChannelServer();
            // Unscripted commands get an empty reply rather than a hang-up and a reconnect.
            made->SetDefaultReply(ScriptedChannelServer::Reply::Framed(""));
            EXPECT_TRUE(made->Start());
            return made;
        }();
        return *server;
    }
    void SetUp() override {
        MQClientSingleton::instance()->SetPort(Server().port());
        MQClientSingleton::instance()->SetStateSource([] { return serverRunning_ ? 4 : 1; });
        serverRunning_ = true;
        seen_ = Server().received().size();
        SetMessageSink(&sink_);
    }
    void TearDown() override { SetMessageSink(nullptr); }
    // The bytes the server received since the last call (or since the test began).
    std::string Sent() {
        const std::string all = Server().received();
        const std::string fresh = all.substr(std::min(seen_, all.size()));
        seen_ = all.size();
        return fresh;
    }
    // Whether the client sees the proxy service as running (state 4) or stopped (1).
    static void SetServerRunning(bool running) { serverRunning_ = running; }

    CapturingSink sink_;

private:
    size_t seen_ = 0;
    inline static std::atomic<bool> serverRunning_{true};
};
