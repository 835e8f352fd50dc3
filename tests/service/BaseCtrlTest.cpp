// The service logic over the scripted fake manager; every test checks no handle is left open.
// What an install writes is checked over the real backends (SystemdBackendTest).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "Common/Paths.h"
#include "service/DetachedLaunch.h"
#include "service/LocalServiceFiles.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceNames.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/support/ScopedOverrides.h"

namespace {

using namespace std::chrono_literals;
using namespace raw_state;
constexpr uint32_t kLimitMs = 10000;

class ServiceLogicTest : public ::testing::Test {
protected:
    ServiceLogicTest() { Reset(); }
    void TearDown() override { Reset(); }
    // A fresh fake and control (for table rows), after checking the old fake's handles.
    void Reset(std::optional<uint32_t> raw = std::nullopt) {
        EXPECT_EQ(fake_ ? fake_->OpenHandles() : 0, 0) << "a handle was left open";
        fake_ = std::make_shared<FakeServiceManager>();
        if (raw) fake_->SetInstalled(*raw);
        ctrl_ = std::make_unique<ProxyCtrl>(fake_, "/opt/torvo/TorvoProxyServer -s");
        ctrl_->SetPollInterval(1ms);
    }

    std::shared_ptr<FakeServiceManager> fake_;
    std::unique_ptr<ProxyCtrl> ctrl_;
};

// How each raw state reads: ToggleInEveryState and DashboardTest. A service that cannot be
// asked reads unknown; when the state query opens it but the request's own open then fails,
// start and stop fail.
TEST_F(ServiceLogicTest, AServiceThatCannotBeOpenedReadsUnknownAndIsNeitherStartedNorStopped) {
    const std::function<void(FakeServiceManager&)> failures[] = {
        [](auto& f) { f.SetOpenServiceFailure(service_error::kAccessDenied); },
        [](auto& f) { f.SetOpenManagerFailure(service_error::kNone); },
        [](auto& f) { f.SetNotInstalled(); }};
    for (const auto& fail : failures) {
        Reset(kRunning);
        fail(*fake_);
        EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    }
    for (uint32_t raw : {kStopped, kRunning}) {
        Reset(raw);
        fake_->SetOpenServiceFailure(service_error::kAccessDenied, 1);
        EXPECT_FALSE(raw == kStopped ? ctrl_->Start(kLimitMs) : ctrl_->Stop(kLimitMs)) << raw;
        EXPECT_EQ(fake_->calls().start + fake_->calls().stop, 0) << raw;
    }
}

TEST_F(ServiceLogicTest, InstallCreatesAMissingServiceOnceUninstallStopsAndBothReportFailures) {
    ASSERT_TRUE(ctrl_->Install());
    EXPECT_EQ(fake_->calls().start, 0) << "installing does not start";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    Reset(kRunning);  // present (and running): nothing changes
    EXPECT_TRUE(ctrl_->Install());
    const auto c = fake_->calls();
    EXPECT_EQ(c.create + c.start + c.stop + c.remove, 0);
    EXPECT_EQ(fake_->State(), kRunning);
    Reset();
    fake_->SetCreateFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
    fake_->SetCreateFailure(std::nullopt);
    fake_->SetOpenManagerFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
    Reset(kRunning);  // uninstalling stops, then deletes
    EXPECT_TRUE(ctrl_->Uninstall());
    EXPECT_EQ(fake_->calls().stop, 1);
    EXPECT_FALSE(fake_->Installed());
    EXPECT_TRUE(ctrl_->Uninstall()) << "nothing to remove";
    fake_->SetInstalled(kStopped);
    fake_->SetDeleteFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Uninstall());
    fake_->SetDeleteFailure(service_error::kNone);
    EXPECT_TRUE(ctrl_->Uninstall()) << "a failure without a code counts as done";
}

TEST_F(ServiceLogicTest, ToggleInEveryState) {
    // Rows: name, raw state (nullopt: not installed), start refusal, result, the creates, starts
    // and stops asked for, the state afterwards.
    const std::tuple<const char*, std::optional<uint32_t>, uint32_t, bool, int, int, int, int>
        rows[] = {
            {"not installed", std::nullopt, 0, true, 1, 0, 0, kServiceStopped},
            {"stopped", kStopped, 0, true, 0, 1, 0, kServiceRunning},
            {"paused", kPaused, 0, true, 0, 1, 0, kServiceRunning},
            {"paused, start refused", kPaused, service_error::kAccessDenied, false, 0, 1, 0,
             kServiceStopped},
            {"start pending", kStartPending, 0, true, 0, 0, 0, kServiceStartPending},
            {"stop pending", kStopPending, 0, true, 0, 0, 0, kServiceStopPending},
            {"running", kRunning, 0, true, 0, 0, 1, kServiceStopped},
            {"unknown number", 42, 0, true, 0, 0, 0, kServiceUnknown},
        };
    for (const auto& [name, raw, refused, ok, creates, starts, stops, end] : rows) {
        SCOPED_TRACE(name);
        Reset(raw);
        fake_->SetStartRefused(refused);
        EXPECT_EQ(ctrl_->Toggle(kLimitMs), ok);
        const auto c = fake_->calls();
        EXPECT_EQ(std::tie(c.create, c.start, c.stop), std::tie(creates, starts, stops));
        EXPECT_EQ(ctrl_->QueryStatus(), end);
    }
    Reset();  // the base class leaves a missing service alone
    EXPECT_TRUE(BaseCtrl(fake_, "Svc", "Svc", "", "/bin/true -s").Toggle(kLimitMs));
    EXPECT_EQ(fake_->calls().create, 0);
}

// The wait for the new state asks right after the request, before any pause (with an hour's
// interval a service up at once would otherwise hang the test), polls while pending, and a
// service stuck pending ends the wait once the limit is out.
TEST_F(ServiceLogicTest, TheWaitAsksAtOnceThenPollsUntilTheLimit) {
    for (bool start : {true, false}) {
        const uint32_t pending = start ? kStartPending : kStopPending;
        const uint32_t done = start ? kRunning : kStopped;
        const auto run = [&](std::vector<uint32_t> states, uint32_t limitMs, auto poll) {
            Reset(start ? kStopped : kRunning);
            ctrl_->SetPollInterval(poll);
            fake_->SetStartSequence(states);
            fake_->SetStopSequence(states);
            return start ? ctrl_->Start(limitMs) : ctrl_->Stop(limitMs);
        };
        EXPECT_TRUE(run({done}, kLimitMs, 1h)) << start;
        EXPECT_TRUE(run({pending, pending, pending, done}, kLimitMs, 1ms)) << start;
        EXPECT_FALSE(run({pending}, 50, 1ms)) << start;
    }
}

// Stop asks for the raw state again on its own handle and sends the stop request only when the
// service still runs: one that began stopping (or stopped, or paused) meanwhile is left alone.
// A start whose state sequence goes on past "running" scripts the change between the two looks.
TEST_F(ServiceLogicTest, StopIsRequestedOnlyWhenTheServiceStillRunsAtTheRequest) {
    for (bool toggle : {false, true}) {
        for (uint32_t meanwhile : {kStopPending, kStopped, kStartPending, kPaused}) {
            SCOPED_TRACE(testing::Message()
                         << (toggle ? "Toggle" : "Stop") << ", raw " << meanwhile);
            Reset(kStopped);
            // Start's own look, then Toggle's two looks (if any) and Stop's look see it running.
            std::vector<uint32_t> states(toggle ? 4 : 2, kRunning);
            states.insert(states.end(), {meanwhile, kStopped});
            fake_->SetStartSequence(states);
            ASSERT_TRUE(ctrl_->Start(kLimitMs));
            EXPECT_TRUE(toggle ? ctrl_->Toggle(kLimitMs) : ctrl_->Stop(kLimitMs));
            EXPECT_EQ(fake_->calls().stop, 0);
        }
    }
    Reset(kRunning);  // still running at the request: stopped
    EXPECT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_EQ(fake_->calls().stop, 1);
}

TEST(ServiceNamesTest, CommandLineIsTheConsoleDirectoryAndTheServer) {
    // A directory with a blank is quoted, so the program path stays one word.
    const std::string spaced = ProxyCommandLine("/opt/torvo proxy");
    EXPECT_EQ(spaced, "\"/opt/torvo proxy/TorvoProxyServer\" -s");
    EXPECT_EQ(SplitCommandLine(spaced),
              (std::vector<std::string>{"/opt/torvo proxy/TorvoProxyServer", "-s"}));
    // The console's folder is the module directory, so its test override reaches it too.
    const test::ScopedOverride moduleDir(OverrideModuleDirectory, std::string("/srv/torvo"),
                                         std::string());
    EXPECT_EQ(ProxyCtrl(std::make_shared<FakeServiceManager>()).CommandLine(),
              "/srv/torvo/TorvoProxyServer -s");
    if (::getenv(local_service::kRootVariable)) return;
    EXPECT_EQ(local_service::DefaultRoot(), "/srv/torvo/services");
}

}  // namespace
