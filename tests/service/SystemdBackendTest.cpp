// The systemd backend: its unit texts and state mapping, and its D-Bus calls against a mock
// of systemd's manager on a private bus.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "service/ProxyCtrl.h"
#include "service/SystemdServiceManager.h"
#include "tests/service/SystemdMock.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kLimitMs = 5000;
constexpr const char* kUnit = "TorvoProxyServer.service";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(SystemdUnitTextTest, StateMapping) {
    struct Row {
        const char* active;
        const char* sub;
        uint32_t raw;
    };
    const Row rows[] = {
        {"active", "running", raw_state::kRunning},
        {"reloading", "reload", raw_state::kRunning},
        {"activating", "start", raw_state::kStartPending},
        {"activating", "auto-restart", raw_state::kStopped},
        {"deactivating", "stop-sigterm", raw_state::kStopPending},
        {"inactive", "dead", raw_state::kStopped},
        {"failed", "failed", raw_state::kStopped},
        {"maintenance", "", 0},
        {"", "", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(systemd_service::RawStateFromUnit(row.active, row.sub), row.raw)
            << row.active << "/" << row.sub;
    }
}

TEST(SystemdUnitTextTest, UnitFileAndDropIns) {
    const ServiceDefinition definition{"TorvoProxyServer", "Torvo Proxy Server",
                                       "/opt/torvo/TorvoProxyServer -s", true};
    EXPECT_EQ(systemd_service::UnitFileText(definition),
              "[Unit]\nDescription=Torvo Proxy Server\nAfter=network.target\n\n"
              "[Service]\nType=simple\nExecStart=\"/opt/torvo/TorvoProxyServer\" \"-s\"\n\n"
              "[Install]\nWantedBy=multi-user.target\n");
    // Specifiers, variables, quotes and backslashes reach the program as written; double
    // quotes in the command line keep a path with blanks in one word.
    const ServiceDefinition odd{"X", "100% sure", "\"/opt/my dir/a$b\\100%\" -s", false};
    EXPECT_EQ(systemd_service::UnitFileText(odd),
              "[Unit]\nDescription=100%% sure\nAfter=network.target\n\n"
              "[Service]\nType=simple\nExecStart=\"/opt/my dir/a$$b\\\\100%%\" \"-s\"\n");

    FailureActions threeRestarts;
    threeRestarts.actions.assign(3, {FailureActions::Type::kRestart, 60000});
    EXPECT_EQ(systemd_service::FailureActionsDropIn(threeRestarts),
              "[Unit]\nStartLimitIntervalSec=244\nStartLimitBurst=4\n\n"
              "[Service]\nRestart=on-failure\nRestartSec=60000ms\n");
    EXPECT_EQ(systemd_service::FailureActionsDropIn(FailureActions{}), "[Service]\nRestart=no\n");
    EXPECT_EQ(systemd_service::DescriptionDropIn("Torvo Proxy Server"),
              "[Unit]\nDescription=Torvo Proxy Server\n");
}

TEST(SystemdUnitTextTest, BusErrors) {
    EXPECT_EQ(systemd_service::ErrorFromBusError("org.freedesktop.systemd1.NoSuchUnit"),
              service_error::kServiceDoesNotExist);
    EXPECT_EQ(systemd_service::ErrorFromBusError(
                  "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
              service_error::kAccessDenied);
    EXPECT_EQ(systemd_service::ErrorFromBusError("org.freedesktop.DBus.Error.ServiceUnknown"),
              service_error::kManagerUnavailable);
    EXPECT_EQ(systemd_service::ErrorFromBusError("org.example.Whatever"),
              service_error::kIoFailure);
}

// One private bus and mock for the whole suite; each test gets a fresh unit directory.
class SystemdBackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/torvo-systemd-mock-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        work_ = pattern;
        fs::create_directories(work_ + "/units");
        mock_ = new SystemdMock();
        setupError_ = mock_->Start(work_, work_ + "/units");
    }
    static void TearDownTestSuite() {
        delete mock_;
        mock_ = nullptr;
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        fs::remove_all(work_);
    }

    void SetUp() override {
        ASSERT_TRUE(setupError_.empty()) << "no mock of systemd: " << setupError_;
        unitDir_ = work_ + "/units";
        for (const auto& entry : fs::directory_iterator(unitDir_)) fs::remove_all(entry.path());
        ASSERT_TRUE(mock_->Reload());  // the mock forgets the previous test's unit
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", mock_->Address().c_str(), 1);
        manager_ = std::make_shared<SystemdServiceManager>(unitDir_);
        ctrl_ = std::make_unique<ProxyCtrl>(manager_, "/opt/torvo/TorvoProxyServer -s");
        ctrl_->SetPollInterval(10ms);
        ctrl_->SetUninstallStopLimit(kLimitMs);
        ASSERT_TRUE(mock_->ClearCalls());
    }

    static inline std::string work_;
    static inline SystemdMock* mock_ = nullptr;
    static inline std::string setupError_;
    std::string unitDir_;
    std::shared_ptr<SystemdServiceManager> manager_;
    std::unique_ptr<ProxyCtrl> ctrl_;
};

TEST_F(SystemdBackendTest, InstallStartStopUninstall) {
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown) << "no unit";

    ASSERT_TRUE(ctrl_->Install());
    const std::string unitFile = unitDir_ + "/" + kUnit;
    EXPECT_EQ(ReadFile(unitFile),
              systemd_service::UnitFileText({"TorvoProxyServer", "Torvo Proxy Server",
                                             "/opt/torvo/TorvoProxyServer -s", true}));
    EXPECT_EQ(ReadFile(unitFile + ".d/10-description.conf"),
              "[Unit]\nDescription=Torvo Proxy Server\n");
    EXPECT_NE(ReadFile(unitFile + ".d/20-failure-actions.conf").find("Restart=on-failure"),
              std::string::npos);
    const auto enabled = mock_->MethodCalls("EnableUnitFiles");
    ASSERT_EQ(enabled.size(), 1u);
    EXPECT_EQ(enabled[0], "[TorvoProxyServer.service] false true");
    EXPECT_FALSE(mock_->MethodCalls("Reload").empty());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);

    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_EQ(mock_->UnitProperty(kUnit, "ActiveState"), "active");
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);

    ASSERT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_EQ(mock_->UnitProperty(kUnit, "ActiveState"), "inactive");
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);

    ASSERT_TRUE(ctrl_->Uninstall());
    const auto disabled = mock_->MethodCalls("DisableUnitFiles");
    ASSERT_EQ(disabled.size(), 1u);
    EXPECT_EQ(disabled[0], "[TorvoProxyServer.service] false");
    EXPECT_FALSE(fs::exists(unitFile));
    EXPECT_FALSE(fs::exists(unitFile + ".d"));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
}

TEST_F(SystemdBackendTest, ToggleInstallsThenStartsThenStops) {
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped) << "the first toggle only installs";
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
}

TEST_F(SystemdBackendTest, StateFollowsTheUnitsActiveAndSubState) {
    ASSERT_TRUE(ctrl_->Install());
    struct Row {
        const char* active;
        const char* sub;
        int expected;
    };
    const Row rows[] = {
        {"activating", "start", kServiceStartPending},
        {"active", "running", kServiceRunning},
        {"deactivating", "stop-sigterm", kServiceStopPending},
        {"inactive", "dead", kServiceStopped},
        {"failed", "failed", kServiceStopped},
        {"activating", "auto-restart", kServiceStopped},
        {"bogus", "", kServiceUnknown},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(mock_->SetUnitState(kUnit, row.active, row.sub));
        EXPECT_EQ(ctrl_->QueryStatus(), row.expected) << row.active << "/" << row.sub;
    }
    // Pending states: Toggle stops, and Stop has nothing to do.
    ASSERT_TRUE(mock_->SetUnitState(kUnit, "activating", "start"));
    EXPECT_TRUE(ctrl_->Toggle(kLimitMs));
    EXPECT_EQ(mock_->UnitProperty(kUnit, "ActiveState"), "activating");
}

TEST_F(SystemdBackendTest, InstallWhenPresentChangesNothing) {
    const std::string unitFile = unitDir_ + "/" + kUnit;
    std::ofstream(unitFile) << "[Service]\nExecStart=/bin/true\n";
    ASSERT_TRUE(mock_->ClearCalls());
    BaseCtrl probe(manager_, "TorvoProxyServer", "", "", "");
    // The file is there but systemd was not told yet: it is found, not overwritten.
    EXPECT_TRUE(ctrl_->Install());
    EXPECT_EQ(ReadFile(unitFile), "[Service]\nExecStart=/bin/true\n");
    EXPECT_FALSE(fs::exists(unitFile + ".d"));
    EXPECT_TRUE(mock_->MethodCalls("EnableUnitFiles").empty());
    EXPECT_EQ(probe.QueryStatus(), kServiceStopped);
}

TEST_F(SystemdBackendTest, UnreachableBusReadsUnknownAndInstallFails) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + work_ + "/no-such-socket").c_str(), 1);
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    EXPECT_FALSE(ctrl_->Install());
    EXPECT_TRUE(ctrl_->Start(kLimitMs)) << "state 0: nothing to start";
    EXPECT_FALSE(fs::exists(unitDir_ + "/" + kUnit));
}

}  // namespace
