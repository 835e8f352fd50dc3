#pragma once
// What the page tests share: one scripted control channel for the process's MQClient, the
// service state the client sees, and message boxes recorded instead of shown.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server_link/LinkWorker.h"
#include "server_link/MQClient.h"
#include "tests/fakes/ScriptedChannelServer.h"
#include "ui/common/Messages.h"
#include "ui/common/PrivateEvents.h"

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

class PageTest : public ::testing::Test {
protected:
    static ScriptedChannelServer& Server() {
        static ScriptedChannelServer* server = [] {
            auto* s = new ScriptedChannelServer();
            s->SetDefaultReply(ScriptedChannelServer::Reply::Framed(""));  // no hang-up, no retry
            EXPECT_TRUE(s->Start());
            return s;
        }();
        return *server;
    }
    void SetUp() override {
        MQClientSingleton::instance()->SetPort(Server().port());
        MQClientSingleton::instance()->SetStateSource([] { return running_ ? 4 : 1; });
        running_ = true;
        seen_ = Server().received().size();
        SetMessageSink(&sink_);
    }
    void TearDown() override { SetMessageSink(nullptr); }
    // The bytes the server received since the last call (or since the test began).
    std::string Sent() {
        const std::string all = Server().received();
        return all.substr(std::min(std::exchange(seen_, all.size()), all.size()));
    }
    static void SetServerRunning(bool running) { running_ = running; }
    // Waits for the link worker to finish what the pages asked for and applies the replies.
    static void Settle() {
        ASSERT_TRUE(TheLinkWorker().WaitUntilIdle(std::chrono::seconds(10)));
        QCoreApplication::sendPostedEvents(nullptr, kLinkReplyEvent);
    }

    CapturingSink sink_;
    size_t seen_ = 0;
    inline static std::atomic<bool> running_{true};
};
