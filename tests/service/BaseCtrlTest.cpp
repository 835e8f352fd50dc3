// The service logic over the scripted fake manager; every test checks no handle is left open.
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
#include "service/ServiceManagerFactory.h"
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

TEST_F(ServiceLogicTest, QueryStatusFollowsTheStateTable) {
    // Raw 5..7 (continue pending, pause pending, paused) read as stopped; others are unknown.
    const int want[] = {kServiceUnknown,     kServiceStopped, kServiceStartPending,
                        kServiceStopPending, kServiceRunning, kServiceStopped,
                        kServiceStopped,     kServiceStopped, kServiceUnknown};
    for (uint32_t raw : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 0xFFFFFFFFu}) {
        fake_->SetInstalled(raw);
        EXPECT_EQ(ctrl_->QueryStatus(), want[std::min(raw, 8u)]) << "raw state " << raw;
    }
    const std::function<void(FakeServiceManager&)> failures[] = {
        [](auto& f) { f.SetQueryFails(true); },
        [](auto& f) { f.SetOpenServiceFailure(service_error::kAccessDenied); },
        [](auto& f) { f.SetOpenManagerFailure(service_error::kNone); },
        [](auto& f) { f.SetNotInstalled(); }};
    for (const auto& fail : failures) {
        Reset(kRunning);
        fail(*fake_);
        EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    }
}

TEST_F(ServiceLogicTest, InstallCreatesTheServiceOnceWithAutoStartDescriptionAndRestartsOrFails) {
    ASSERT_TRUE(ctrl_->Install());
    const auto made = fake_->LastCreated();
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(std::tie(made->name, made->displayName, made->commandLine),
              std::make_tuple("TorvoProxyServer", "Torvo Proxy Server",
                              "/opt/torvo/TorvoProxyServer -s"));
    EXPECT_TRUE(made->autoStart);
    EXPECT_EQ(fake_->Description(), "Torvo Proxy Server");
    FailureActions restarts;
    restarts.actions.assign(3, {FailureActions::Type::kRestart, 60000});
    EXPECT_EQ(fake_->LastFailureActions(), restarts);
    EXPECT_EQ(fake_->calls().start, 0) << "installing does not start";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    // Present (and running): nothing changes.
    Reset(kRunning);
    EXPECT_TRUE(ctrl_->Install());
    const auto c = fake_->calls();
    EXPECT_EQ(c.create + c.description + c.failureActions + c.start + c.stop + c.remove, 0);
    EXPECT_EQ(fake_->State(), kRunning);
    Reset();
    fake_->SetCreateFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
    EXPECT_EQ(fake_->calls().description, 0) << "no settings without a service";
    fake_->SetCreateFailure(std::nullopt);
    fake_->SetOpenManagerFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_->Install());
}

TEST_F(ServiceLogicTest, ToggleInEveryState) {
    struct Row {  // raw nullopt: not installed
        const char* name;
        std::optional<uint32_t> raw;
        uint32_t refused;
        bool ok;
        int creates, starts, stops, end;
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
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Reset(r.raw);
        fake_->SetStartRefused(r.refused);
        EXPECT_EQ(ctrl_->Toggle(kLimitMs), r.ok);
        const auto c = fake_->calls();
        EXPECT_EQ(std::tie(c.create, c.start, c.stop), std::tie(r.creates, r.starts, r.stops));
        EXPECT_EQ(ctrl_->QueryStatus(), r.end);
    }
    Reset();  // the base class leaves a missing service alone
    EXPECT_TRUE(BaseCtrl(fake_, "Svc", "Svc", "", "/bin/true -s").Toggle(kLimitMs));
    EXPECT_EQ(fake_->calls().create, 0);
}

// The state query opens the service, the request's own open then fails: not a success.
TEST_F(ServiceLogicTest, StartAndStopFailWhenTheServiceCannotBeOpenedAfterAll) {
    for (uint32_t raw : {kStopped, kRunning}) {
        fake_->SetInstalled(raw);
        fake_->SetOpenServiceFailure(service_error::kAccessDenied, 1);
        EXPECT_FALSE(raw == kStopped ? ctrl_->Start(kLimitMs) : ctrl_->Stop(kLimitMs)) << raw;
    }
    EXPECT_EQ(fake_->calls().start + fake_->calls().stop, 0);
}

// The wait for the new state asks right after the request, before any pause (a service up at
// once returns at once, however long the interval), then every poll interval (200 ms unless
// set); a service stuck pending ends the wait soon after the limit.
TEST_F(ServiceLogicTest, TheWaitAsksAtOnceThenEveryIntervalUntilTheLimit) {
    using std::chrono::milliseconds;
    const struct {
        std::optional<milliseconds> interval;  // nullopt: the default
        std::vector<uint32_t> starting, stopping;
        uint32_t limitMs;
        bool done;
        milliseconds atLeast, below;
    } cases[] = {
        {30s, {kRunning}, {kStopped}, kLimitMs, true, 0ms, 5s},
        {std::nullopt, {kStartPending, kStartPending, kRunning}, {}, kLimitMs, true, 400ms, 1500ms},
        {10ms, {kStartPending}, {kStopPending}, 150, false, 150ms, 2s},
    };
    for (const auto& c : cases) {
        for (bool start : {true, false}) {
            if (!start && c.stopping.empty()) continue;
            Reset(start ? kStopped : kRunning);
            ProxyCtrl ctrl(fake_, "/opt/torvo/TorvoProxyServer -s");
            if (c.interval) ctrl.SetPollInterval(*c.interval);
            fake_->SetStartSequence(c.starting);
            fake_->SetStopSequence(c.stopping);
            const auto begin = std::chrono::steady_clock::now();
            EXPECT_EQ(start ? ctrl.Start(c.limitMs) : ctrl.Stop(c.limitMs), c.done);
            const auto took = std::chrono::steady_clock::now() - begin;
            const int queries = fake_->calls().query;
            SCOPED_TRACE(testing::Message()
                         << (start ? "start" : "stop") << ", limit " << c.limitMs << ", took "
                         << (took / 1ms) << " ms, " << queries << " queries");
            EXPECT_TRUE(took >= c.atLeast && took < c.below);
            EXPECT_TRUE(c.done || (queries >= 5 && queries <= 30)) << "polled at the interval";
        }
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

TEST_F(ServiceLogicTest, UninstallStopsThenDeletes) {
    fake_->SetInstalled(kRunning);
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

TEST(ServiceNamesTest, CommandLineIsTheConsoleDirectoryAndTheServer) {
    EXPECT_EQ(ProxyCommandLine("/opt/torvo"), "/opt/torvo/TorvoProxyServer -s");
    // A directory with a blank is quoted, so the program path stays one word.
    const std::string spaced = ProxyCommandLine("/opt/torvo proxy");
    EXPECT_EQ(spaced, "\"/opt/torvo proxy/TorvoProxyServer\" -s");
    EXPECT_EQ(SplitCommandLine(spaced),
              (std::vector<std::string>{"/opt/torvo proxy/TorvoProxyServer", "-s"}));
    // The console's folder is the module directory, so its test override reaches it too.
    const std::string own = ExecutablePath();
    ASSERT_EQ(own.front(), '/');
    EXPECT_EQ(ProxyCtrl(std::make_shared<FakeServiceManager>()).CommandLine(),
              own.substr(0, own.rfind('/')) + "/TorvoProxyServer -s");
    {
        const test::ScopedOverride moduleDir(OverrideModuleDirectory, std::string("/srv/torvo"),
                                             std::string());
        EXPECT_EQ(ProxyCtrl(std::make_shared<FakeServiceManager>()).CommandLine(),
                  "/srv/torvo/TorvoProxyServer -s");
        if (!::getenv(local_service::kRootVariable)) {
            EXPECT_EQ(local_service::DefaultRoot(), "/srv/torvo/services");
        }
    }
    EXPECT_EQ(ProxyCommandLine(""), " -s");
}

TEST(ServiceManagerFactoryTest, EnvironmentForcesTheBackend) {
    for (auto [name, backend] : {std::pair{"local", ServiceBackend::kLocal},
                                 std::pair{"systemd", ServiceBackend::kSystemd}}) {
        test::ScopedEnv forced(kServiceBackendVariable, name);
        EXPECT_EQ(ChooseServiceBackend(), backend) << name;
    }
}

}  // namespace
