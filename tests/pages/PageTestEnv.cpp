#include "tests/pages/PageTestEnv.h"

#include "server_link/MQClient.h"

std::atomic<bool> PageTest::serverRunning_{true};

ScriptedChannelServer& PageTest::Server() {
    static ScriptedChannelServer* server = [] {
        auto* made = new ScriptedChannelServer();
        // Unscripted commands get an empty reply rather than a hang-up and a reconnect.
        made->SetDefaultReply(ScriptedChannelServer::Reply::Framed(""));
        EXPECT_TRUE(made->Start());
        return made;
    }();
    return *server;
}

void PageTest::SetUp() {
    MQClient& client = *MQClientSingleton::instance();
    client.SetPort(Server().port());
    client.SetStateSource([] { return serverRunning_.load() ? 4 : 1; });
    serverRunning_ = true;
    requestsBefore_ = Server().requests().size();
    bytesBefore_ = Server().received().size();
    SetMessageSink(&sink_);
}

void PageTest::TearDown() {
    SetMessageSink(nullptr);
}

std::vector<std::string> PageTest::NewRequests() const {
    const std::vector<std::string> all = Server().requests();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(requestsBefore_, all.size())),
            all.end()};
}

std::string PageTest::NewBytes() const {
    const std::string all = Server().received();
    return all.substr(std::min(bytesBefore_, all.size()));
}
