#pragma once
// What the page tests share: one scripted control channel for the process's MQClient, the
// service state the client sees, and message boxes recorded instead of shown.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <string>
#include <utility>

#include "server_link/LinkWorker.h"
#include "server_link/MQClient.h"
#include "tests/fakes/CapturingMessageSink.h"
#include "tests/fakes/ScriptedChannelServer.h"
#include "tests/support/Processes.h"
#include "ui/common/PrivateEvents.h"
#include "ui/pages/plumbing/BackgroundRun.h"
#include "ui/pages/plumbing/PasswordWorker.h"
#include "ui/res/Strings.h"

struct EnglishTexts : ::testing::Environment {
    void SetUp() override { res::SetUiLanguage(res::UiLanguage::English); }
};
inline ::testing::Environment* const kEnglishTexts =
    ::testing::AddGlobalTestEnvironment(new EnglishTexts);

// A box with `text` as the capturing sink records it: "text|caption|icon|1".
inline QString Told(const QString& text, MessageIcon icon = MessageIcon::Information) {
    return QString("%1|%2|%3|1").arg(text, res::Str(res::IDS_TIP_CAPTION)).arg(int(icon));
}
// The "Operation failed" box, with why after it when that is known.
inline QString Failed(const QString& why = "") {
    return QString("Operation failed%1|Tip|%2|1")
        .arg(why.isEmpty() ? "" : "\n\n" + why)
        .arg(int(MessageIcon::Warning));
}

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
        MQClientSingleton::instance()->SetRunningCheck([] { return running_.load(); });
        running_ = true;
        seen_ = Server().received().size();
    }
    // The bytes the server received since the last call (or since the test began).
    std::string Sent() {
        const std::string all = Server().received();
        return all.substr(std::min(std::exchange(seen_, all.size()), all.size()));
    }
    static void SetServerRunning(bool running) { running_ = running; }
    // Waits for the password hashes, the pages' background reads and the link worker to finish
    // what the pages asked for, and applies the results and replies (in that order: what a
    // hash's answer does may ask the link worker).
    static void Settle() {
        ASSERT_TRUE(ThePasswordWorker().WaitUntilIdle(std::chrono::seconds(10)));
        QCoreApplication::sendPostedEvents(nullptr, kLinkReplyEvent);
        ASSERT_TRUE(test::WaitUntil([] {
            BackgroundRun::DeliverPosted();
            return BackgroundRun::NotDelivered() == 0;
        }));
        ASSERT_TRUE(TheLinkWorker().WaitUntilIdle(std::chrono::seconds(10)));
        QCoreApplication::sendPostedEvents(nullptr, kLinkReplyEvent);
    }

    CapturingSink sink_;
    size_t seen_ = 0;
    inline static std::atomic<bool> running_{true};
};
