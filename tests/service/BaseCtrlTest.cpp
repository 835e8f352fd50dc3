// The service logic over the scripted fake manager; every test also checks that no handle
// is left open.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "service/DetachedLaunch.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceManagerFactory.h"
#include "service/ServiceNames.h"
#include "tests/fakes/FakeServiceManager.h"

namespace {

using namespace std::chrono_literals;
using namespace raw_state;
constexpr uint32_t kLimitMs = 10000;

class ServiceLogicTest : public ::testing::Test {
protected:
    void TearDown() override { Reset(); }
    // A fresh fake and control (for table rows), after checking the old fake's handles.
    void Reset() {
        EXPECT_EQ(fake_ ? fake_->OpenHandles() : 0, 0) << "a handle was left open";
        fake_ = std::make_shared<FakeServiceManager>();
        ctrl_ = std::make_unique<ProxyCtrl>(fake_, "/opt/torvo/TorvoProxyServer -s");
        ctrl_->SetPollInterval(1ms);
    }
    ServiceLogicTest() { Reset(); }

    std::shared_ptr<FakeServiceManager> fake_;
    std::unique_ptr<ProxyCtrl> ctrl_;
};

TEST_F(ServiceLogicTest, QueryStatusFollowsTheStateTable) {
    // Indexed by the raw number: 1 stopped ... 4 running, then continue pending, pause
    // pending and paused (read as stopped); others are unknown.
    const int expected[] = {kServiceUnknown,     kServiceStopped, kServiceStartPending,
                            kServiceStopPending, kServiceRunning, kServiceStopped,
                            kServiceStopped,     kServiceStopped, kServiceUnknown};
    for (uint32_t raw : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 0xFFFFFFFFu}) {
        fake_->SetInstalled(raw);
        EXPECT_EQ(ctrl_->QueryStatus(), expected[std::min(raw, 8u)]) << "raw state " << raw;
    }
    // Whatever keeps the service from being asked reads as unknown.
    const std::function<void(FakeServiceManager&)> failures[] = {
        [](auto& f) { f.SetQueryFails(true); },
        [](auto& f) { f.SetOpenServiceFailure(service_error::kAccessDenied); },
        [](auto& f) { f.SetOpenManagerFailure(service_error::kNone); },
        [](auto& f) { f.SetNotInstalled(); }};
    for (const auto& fail : failures) {
        Reset();
        fake_->SetInstalled(kRunning);
        fail(*fake_);
        EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    }
}

TEST_F(ServiceLogicTest, InstallCreatesTheServiceWithAutoStartDescriptionAndRestarts) {
    ASSERT_TRUE(ctrl_->Install());
    const auto created = fake_->LastCreated();
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(created->name, "TorvoProxyServer");
    EXPECT_EQ(created->displayName, "Torvo Proxy Server");
    EXPECT_EQ(created->commandLine, "/opt/torvo/TorvoProxyServer -s");
    EXPECT_TRUE(created->autoStart);
    EXPECT_EQ(fake_->Description(), "Torvo Proxy Server");
    FailureActions restarts;
    restarts.actions.assign(3, {FailureActions::Type::kRestart, 60000});
    EXPECT_EQ(fake_->LastFailureActions(), restarts);
    EXPECT_EQ(fake_->calls().start, 0) << "installing does not start";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
}

TEST_F(ServiceLogicTest, InstallWhenPresentChangesNothing) {
    fake_->SetInstalled(kRunning);
    EXPECT_TRUE(ctrl_->Install());
    const auto c = fake_->calls();
    EXPECT_EQ(c.create + c.description + c.failureActions + c.start + c.stop + c.remove, 0);
    EXPECT_EQ(fake_->State(), kRunning);
}

TEST_F(ServiceLogicTest, InstallFailures) {
    fake_->SetCreateFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
    EXPECT_EQ(fake_->calls().description, 0) << "no settings without a service";
    fake_->SetCreateFailure(std::nullopt);
    fake_->SetOpenManagerFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
    // An open that fails without a code is taken as nothing to do.
    fake_->SetOpenManagerFailure(service_error::kNone);
    EXPECT_TRUE(ctrl_->Install());
    EXPECT_EQ(fake_->calls().create, 1);
    EXPECT_FALSE(fake_->Installed());
}

// Which request Toggle makes in each state, its result and where the service ends.
TEST_F(ServiceLogicTest, ToggleInEveryState) {
    struct Row {
        const char* name;
        std::optional<uint32_t> raw;  // nullopt: not installed
        uint32_t startRefused;
        bool result;
        int creates, starts, stops, finalState;
    };
    const Row rows[] = {
        {"not installed", std::nullopt, 0, true, 1, 0, 0, kServiceStopped},
        {"stopped", kStopped, 0, true, 0, 1, 0, kServiceRunning},
        {"paused", kPaused, 0, true, 0, 1, 0, kServiceRunning},
        {"pause pending", kPausePending, 0, true, 0, 1, 0, kServiceRunning},
        {"paused, start refused", kPaused, service_error::kAccessDenied, false, 0, 1, 0,
         kServiceStopped},
        {"start pending", kStartPending, 0, true, 0, 0, 0, kServiceStartPending},
        {"stop pending", kStopPending, 0, true, 0, 0, 0, kServiceStopPending},
        {"running", kRunning, 0, true, 0, 0, 1, kServiceStopped},
        {"unknown number", 42, 0, true, 0, 0, 0, kServiceUnknown},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        if (row.raw) fake_->SetInstalled(*row.raw);
        fake_->SetStartRefused(row.startRefused);
        EXPECT_EQ(ctrl_->Toggle(kLimitMs), row.result);
        const auto c = fake_->calls();
        EXPECT_EQ(std::make_tuple(c.create, c.start, c.stop),
                  std::make_tuple(row.creates, row.starts, row.stops));
        EXPECT_EQ(ctrl_->QueryStatus(), row.finalState);
    }
    // The base class leaves a missing service alone.
    Reset();
    EXPECT_TRUE(BaseCtrl(fake_, "Svc", "Svc", "", "/bin/true -s").Toggle(kLimitMs));
    EXPECT_EQ(fake_->calls().create, 0);
}

TEST_F(ServiceLogicTest, StartAndStopFailWhenTheServiceCannotBeOpenedAfterAll) {
    // The state query opens the service; the request's own open then fails.
    for (uint32_t raw : {kStopped, kRunning}) {
        fake_->SetInstalled(raw);
        fake_->SetOpenServiceFailure(service_error::kAccessDenied, 1);
        EXPECT_FALSE(raw == kStopped ? ctrl_->Start(kLimitMs) : ctrl_->Stop(kLimitMs)) << raw;
    }
    EXPECT_EQ(fake_->calls().start + fake_->calls().stop, 0);
}

// A service stuck pending: the wait ends soon after the limit, polling at the set interval.
TEST_F(ServiceLogicTest, TimeLimitsAreHonoured) {
    constexpr uint32_t kShortLimitMs = 150;
    fake_->SetStartSequence({kStartPending});
    fake_->SetStopSequence({kStopPending});
    ctrl_->SetPollInterval(10ms);
    for (bool start : {true, false}) {
        SCOPED_TRACE(start ? "start" : "stop");
        fake_->SetInstalled(start ? kStopped : kRunning);
        const int queries = fake_->calls().query;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(start ? ctrl_->Start(kShortLimitMs) : ctrl_->Stop(kShortLimitMs));
        const auto elapsed = std::chrono::steady_clock::now() - begin;
        EXPECT_GE(elapsed, std::chrono::milliseconds(kShortLimitMs));
        EXPECT_LT(elapsed, 2s);
        EXPECT_GE(fake_->calls().query - queries, 5);
        EXPECT_LE(fake_->calls().query - queries, 30);
    }
    // No limit: 40 polls of 1 ms outlast a 1 ms limit, which a time check would notice.
    std::vector<uint32_t> slowStart(40, kStartPending);
    slowStart.push_back(kRunning);
    fake_->SetStartSequence(slowStart);
    fake_->SetInstalled(kStopped);
    ctrl_->SetPollInterval(1ms);
    EXPECT_TRUE(ctrl_->Start(kNoTimeLimit));
    EXPECT_EQ(fake_->State(), kRunning);
}

TEST_F(ServiceLogicTest, UninstallStopsThenDeletes) {
    fake_->SetInstalled(kRunning);
    EXPECT_TRUE(ctrl_->Uninstall());
    EXPECT_EQ(fake_->calls().stop, 1);
    EXPECT_FALSE(fake_->Installed());
    EXPECT_TRUE(ctrl_->Uninstall()) << "nothing to remove";
    EXPECT_EQ(fake_->calls().remove, 1);
    fake_->SetInstalled(kStopped);
    fake_->SetDeleteFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Uninstall());
    fake_->SetDeleteFailure(service_error::kNone);
    EXPECT_TRUE(ctrl_->Uninstall()) << "a failure without a code counts as done";
}

TEST(ServiceNamesTest, CommandLineIsTheConsoleDirectoryAndTheServer) {
    EXPECT_EQ(ProxyCommandLine(std::string("/opt/torvo/MainUI")), "/opt/torvo/TorvoProxyServer -s");
    // A directory with a blank is quoted, so the program path stays one word.
    const std::string spaced = ProxyCommandLine(std::string("/opt/torvo proxy/MainUI"));
    EXPECT_EQ(spaced, "\"/opt/torvo proxy/TorvoProxyServer\" -s");
    EXPECT_EQ(SplitCommandLine(spaced),
              (std::vector<std::string>{"/opt/torvo proxy/TorvoProxyServer", "-s"}));
    EXPECT_EQ(ProxyCommandLine(std::nullopt), " -s");
    const auto own = OwnExecutablePath();
    ASSERT_TRUE(own.has_value() && own->front() == '/');
    EXPECT_EQ(ProxyCtrl(std::make_shared<FakeServiceManager>()).CommandLine(),
              own->substr(0, own->rfind('/')) + "/TorvoProxyServer -s");
}

TEST(ServiceManagerFactoryTest, EnvironmentForcesTheBackend) {
    ::setenv(kServiceBackendVariable, "local", 1);
    EXPECT_EQ(ChooseServiceBackend(), ServiceBackend::kLocal);
    ::setenv(kServiceBackendVariable, "systemd", 1);
    EXPECT_EQ(ChooseServiceBackend(), ServiceBackend::kSystemd);
    ::unsetenv(kServiceBackendVariable);
}

}  // namespace
