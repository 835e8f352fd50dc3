// The service logic over the scripted fake manager: state mapping, install, start, stop,
// toggle, uninstall, time limits, and that every handle is closed again.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <optional>

#include "service/ProxyCtrl.h"
#include "service/ServiceManagerFactory.h"
#include "service/ServiceNames.h"
#include "tests/fakes/FakeServiceManager.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kLimitMs = 10000;

class ServiceLogicTest : public ::testing::Test {
protected:
    ServiceLogicTest()
        : fake_(std::make_shared<FakeServiceManager>()),
          ctrl_(fake_, "/opt/torvo/TorvoProxyServer -s") {
        ctrl_.SetPollInterval(5ms);
    }
    void TearDown() override { EXPECT_EQ(fake_->OpenHandles(), 0) << "a handle was left open"; }

    std::shared_ptr<FakeServiceManager> fake_;
    ProxyCtrl ctrl_;
};

TEST_F(ServiceLogicTest, QueryStatusMapsEveryRawState) {
    struct Row {
        uint32_t raw;
        int expected;
    };
    const Row rows[] = {
        {raw_state::kStopped, kServiceStopped},
        {raw_state::kStartPending, kServiceStartPending},
        {raw_state::kStopPending, kServiceStopPending},
        {raw_state::kRunning, kServiceRunning},
        {raw_state::kContinuePending, kServiceStopped},
        {raw_state::kPausePending, kServiceStopped},
        {raw_state::kPaused, kServiceStopped},
        {0, kServiceUnknown},
        {8, kServiceUnknown},
        {0xFFFFFFFF, kServiceUnknown},
    };
    for (const Row& row : rows) {
        fake_->SetInstalled(row.raw);
        EXPECT_EQ(ctrl_.QueryStatus(), row.expected) << "raw state " << row.raw;
    }
}

TEST_F(ServiceLogicTest, QueryStatusIsUnknownWhenTheServiceCannotBeAsked) {
    fake_->SetNotInstalled();
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown);

    fake_->SetInstalled(raw_state::kRunning);
    fake_->SetQueryFails(true);
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown);
    fake_->SetQueryFails(false);

    for (uint32_t code : {service_error::kAccessDenied, service_error::kNone}) {
        fake_->SetOpenManagerFailure(code);
        EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown) << "manager open failing with " << code;
        fake_->SetOpenManagerFailure(std::nullopt);
        fake_->SetOpenServiceFailure(code);
        EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown) << "service open failing with " << code;
        fake_->SetOpenServiceFailure(std::nullopt);
    }
    EXPECT_EQ(fake_->calls().query, 1) << "no query without a service handle";
}

TEST_F(ServiceLogicTest, InstallCreatesTheServiceWithAutoStartDescriptionAndRestarts) {
    fake_->SetNotInstalled();
    ASSERT_TRUE(ctrl_.Install());

    const auto created = fake_->LastCreated();
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(created->name, "TorvoProxyServer");
    EXPECT_EQ(created->displayName, "Torvo Proxy Server");
    EXPECT_EQ(created->commandLine, "/opt/torvo/TorvoProxyServer -s");
    EXPECT_TRUE(created->autoStart);
    EXPECT_EQ(fake_->Description(), "Torvo Proxy Server");
    FailureActions expected;
    expected.resetPeriodSec = 0;
    expected.actions.assign(3, {FailureActions::Type::kRestart, 60000});
    EXPECT_EQ(fake_->LastFailureActions(), expected);
    EXPECT_EQ(fake_->calls().start, 0) << "installing does not start";
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceStopped);
}

TEST_F(ServiceLogicTest, InstallWhenPresentChangesNothing) {
    fake_->SetInstalled(raw_state::kRunning);
    EXPECT_TRUE(ctrl_.Install());
    const auto calls = fake_->calls();
    EXPECT_EQ(calls.create, 0);
    EXPECT_EQ(calls.description, 0);
    EXPECT_EQ(calls.failureActions, 0);
    EXPECT_EQ(calls.start + calls.stop + calls.remove, 0);
    EXPECT_EQ(fake_->State(), raw_state::kRunning);
}

TEST_F(ServiceLogicTest, InstallFailures) {
    // Creation refused: false, and the settings are not attempted.
    fake_->SetNotInstalled();
    fake_->SetCreateFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_.Install());
    EXPECT_EQ(fake_->calls().description, 0);
    fake_->SetCreateFailure(std::nullopt);

    // The manager cannot be opened at all.
    fake_->SetOpenManagerFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_.Install());
    // An open that fails without a code is taken as nothing to do.
    fake_->SetOpenManagerFailure(service_error::kNone);
    EXPECT_TRUE(ctrl_.Install());
    EXPECT_EQ(fake_->calls().create, 1);
    EXPECT_FALSE(fake_->Installed());
}

// Toggle in every state: which request it makes, its result and where the service ends.
TEST_F(ServiceLogicTest, ToggleInEveryState) {
    struct Row {
        const char* name;
        std::optional<uint32_t> raw;  // nullopt: not installed
        uint32_t startRefused;
        bool result;
        int creates, starts, stops;
        int finalState;
    };
    const Row rows[] = {
        {"not installed", std::nullopt, 0, true, 1, 0, 0, kServiceStopped},
        {"stopped", raw_state::kStopped, 0, true, 0, 1, 0, kServiceRunning},
        {"paused", raw_state::kPaused, 0, true, 0, 1, 0, kServiceRunning},
        {"pause pending", raw_state::kPausePending, 0, true, 0, 1, 0, kServiceRunning},
        {"paused, start refused", raw_state::kPaused, service_error::kAccessDenied, false, 0, 1, 0,
         kServiceStopped},
        {"start pending", raw_state::kStartPending, 0, true, 0, 0, 0, kServiceStartPending},
        {"stop pending", raw_state::kStopPending, 0, true, 0, 0, 0, kServiceStopPending},
        {"running", raw_state::kRunning, 0, true, 0, 0, 1, kServiceStopped},
        {"unknown number", 42, 0, true, 0, 0, 0, kServiceUnknown},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake_ = std::make_shared<FakeServiceManager>();
        ProxyCtrl ctrl(fake_, "/x/TorvoProxyServer -s");
        ctrl.SetPollInterval(1ms);
        if (row.raw) fake_->SetInstalled(*row.raw);
        fake_->SetStartRefused(row.startRefused);

        EXPECT_EQ(ctrl.Toggle(kLimitMs), row.result);
        const auto calls = fake_->calls();
        EXPECT_EQ(calls.create, row.creates);
        EXPECT_EQ(calls.start, row.starts);
        EXPECT_EQ(calls.stop, row.stops);
        EXPECT_EQ(ctrl.QueryStatus(), row.finalState);
        EXPECT_EQ(fake_->OpenHandles(), 0);
    }
}

TEST_F(ServiceLogicTest, BaseToggleLeavesAMissingServiceAlone) {
    fake_->SetNotInstalled();
    BaseCtrl base(fake_, "Svc", "Svc", "", "/bin/true -s");
    EXPECT_TRUE(base.Toggle(kLimitMs));
    EXPECT_EQ(fake_->calls().create, 0);
}

TEST_F(ServiceLogicTest, StartResults) {
    // Not stopped (here: missing): true without a request.
    fake_->SetNotInstalled();
    EXPECT_TRUE(ctrl_.Start(kLimitMs));
    EXPECT_EQ(fake_->calls().start, 0);

    // Refused: false at once, without polling.
    fake_->SetInstalled(raw_state::kStopped);
    fake_->SetStartRefused(service_error::kAccessDenied);
    const int queriesBefore = fake_->calls().query;
    EXPECT_FALSE(ctrl_.Start(kLimitMs));
    EXPECT_EQ(fake_->calls().query - queriesBefore, 1);
    fake_->SetStartRefused(0);

    // Running straight after the request: no poll needed.
    fake_->SetStartSequence({raw_state::kRunning});
    EXPECT_TRUE(ctrl_.Start(kLimitMs));
    EXPECT_EQ(fake_->State(), raw_state::kRunning);
}

TEST_F(ServiceLogicTest, StartFailsWhenTheServiceCannotBeOpenedAfterAll) {
    fake_->SetInstalled(raw_state::kStopped);
    // The state query opens it once; the start's own open then fails.
    fake_->SetOpenServiceFailure(service_error::kAccessDenied, 1);
    EXPECT_FALSE(ctrl_.Start(kLimitMs));
    EXPECT_EQ(fake_->calls().start, 0);
}

TEST_F(ServiceLogicTest, StopResults) {
    for (uint32_t raw : {raw_state::kStopped, raw_state::kStartPending, raw_state::kStopPending}) {
        fake_->SetInstalled(raw);
        EXPECT_TRUE(ctrl_.Stop(kLimitMs)) << raw;
    }
    EXPECT_EQ(fake_->calls().stop, 0);

    fake_->SetInstalled(raw_state::kRunning);
    fake_->SetOpenServiceFailure(service_error::kAccessDenied, 1);
    EXPECT_FALSE(ctrl_.Stop(kLimitMs));
    EXPECT_EQ(fake_->calls().stop, 0);
    fake_->SetOpenServiceFailure(std::nullopt);

    fake_->SetStopSequence({raw_state::kStopPending, raw_state::kStopPending, raw_state::kStopped});
    EXPECT_TRUE(ctrl_.Stop(kLimitMs));
    EXPECT_EQ(fake_->calls().stop, 1);
    EXPECT_EQ(fake_->State(), raw_state::kStopped);
}

// A service stuck in a pending state: the wait gives up once the limit has passed, not
// much later, and polls at the configured interval meanwhile.
TEST_F(ServiceLogicTest, TimeLimitsAreHonoured) {
    constexpr uint32_t kShortLimitMs = 150;
    struct Row {
        const char* name;
        uint32_t initial;
        bool start;
    };
    for (const Row& row :
         {Row{"start", raw_state::kStopped, true}, Row{"stop", raw_state::kRunning, false}}) {
        SCOPED_TRACE(row.name);
        fake_->SetInstalled(row.initial);
        fake_->SetStartSequence({raw_state::kStartPending});
        fake_->SetStopSequence({raw_state::kStopPending});
        ctrl_.SetPollInterval(10ms);
        const int queriesBefore = fake_->calls().query;
        const auto begin = Clock::now();
        EXPECT_FALSE(row.start ? ctrl_.Start(kShortLimitMs) : ctrl_.Stop(kShortLimitMs));
        const auto elapsed = Clock::now() - begin;
        EXPECT_GE(elapsed, std::chrono::milliseconds(kShortLimitMs));
        EXPECT_LT(elapsed, 2s);
        const int polls = fake_->calls().query - queriesBefore;
        EXPECT_GE(polls, 5);
        EXPECT_LE(polls, 30);
    }
}

TEST_F(ServiceLogicTest, NoTimeLimitWaitsUntilTheTargetState) {
    fake_->SetInstalled(raw_state::kStopped);
    std::vector<uint32_t> slowStart(40, raw_state::kStartPending);
    slowStart.push_back(raw_state::kRunning);
    fake_->SetStartSequence(slowStart);
    ctrl_.SetPollInterval(1ms);
    // 40 polls at 1 ms take longer than a limit of 1 ms, which a time check would notice.
    EXPECT_TRUE(ctrl_.Start(kNoTimeLimit));
    EXPECT_EQ(fake_->State(), raw_state::kRunning);
    EXPECT_GE(fake_->calls().query, 41);
}

TEST_F(ServiceLogicTest, UninstallStopsThenDeletes) {
    fake_->SetInstalled(raw_state::kRunning);
    EXPECT_TRUE(ctrl_.Uninstall());
    EXPECT_EQ(fake_->calls().stop, 1);
    EXPECT_EQ(fake_->calls().remove, 1);
    EXPECT_FALSE(fake_->Installed());
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown);

    // Nothing to remove.
    EXPECT_TRUE(ctrl_.Uninstall());
    EXPECT_EQ(fake_->calls().remove, 1);

    fake_->SetInstalled(raw_state::kStopped);
    fake_->SetDeleteFailure(service_error::kAccessDenied);
    EXPECT_FALSE(ctrl_.Uninstall());
    fake_->SetDeleteFailure(service_error::kNone);
    EXPECT_TRUE(ctrl_.Uninstall()) << "a failure without a code counts as done";
}

TEST(ServiceNamesTest, CommandLineIsTheConsoleDirectoryAndTheServer) {
    EXPECT_EQ(ProxyCommandLine(std::string("/opt/torvo proxy/MainUI")),
              "/opt/torvo proxy/TorvoProxyServer -s");
    EXPECT_EQ(ProxyCommandLine(std::nullopt), " -s");

    const auto own = OwnExecutablePath();
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->front(), '/');
    const std::string dir = own->substr(0, own->rfind('/'));
    auto fake = std::make_shared<FakeServiceManager>();
    ProxyCtrl ctrl(fake);
    EXPECT_EQ(ctrl.CommandLine(), dir + "/TorvoProxyServer -s");
    EXPECT_EQ(ctrl.ServiceName(), "TorvoProxyServer");
    EXPECT_EQ(ctrl.DisplayName(), "Torvo Proxy Server");
    EXPECT_EQ(ctrl.Description(), "Torvo Proxy Server");
}

TEST(ServiceManagerFactoryTest, DefaultManagerCanBeReplaced) {
    auto fake = std::make_shared<FakeServiceManager>();
    fake->SetInstalled(raw_state::kStartPending);
    SetDefaultServiceManager(fake);
    EXPECT_EQ(DefaultServiceManager(), fake);
    EXPECT_EQ(ProxyCtrl().QueryStatus(), kServiceStartPending);
    SetDefaultServiceManager(nullptr);
    EXPECT_NE(DefaultServiceManager(), fake);
}

TEST(ServiceManagerFactoryTest, EnvironmentForcesTheBackend) {
    ::setenv(kServiceBackendVariable, "local", 1);
    EXPECT_EQ(ChooseServiceBackend(), ServiceBackend::kLocal);
    ::setenv(kServiceBackendVariable, "systemd", 1);
    EXPECT_EQ(ChooseServiceBackend(), ServiceBackend::kSystemd);
    ::unsetenv(kServiceBackendVariable);
}

}  // namespace
