// status, install, uninstall, start, stop, restart.
#include "Common/ClientNetworks.h"
#include "Common/UserConf.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "ctl/Settings.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceFailureText.h"
#include "service/ServiceManagerFactory.h"

namespace {

struct StateWords {
    const char* key;  // for scripts
    int textId;       // for people
};

StateWords WordsOf(int state) {
    switch (state) {
        case kServiceUnknown:
            return {"not-installed", res::IDS_CTL_STATE_NOT_INSTALLED};
        case kServiceStopped:
            return {"stopped", res::IDS_CTL_STATE_STOPPED};
        case kServiceStartPending:
            return {"starting", res::IDS_CTL_STATE_STARTING};
        case kServiceStopPending:
            return {"stopping", res::IDS_CTL_STATE_STOPPING};
        case kServiceRunning:
            return {"running", res::IDS_CTL_STATE_RUNNING};
        default:
            return {"unknown", res::IDS_CTL_STATE_UNKNOWN};
    }
}

// A label of the console's dialogs without its own colon ("Proxy service listen port:").
std::string WithoutColon(std::string label) {
    for (const std::string_view colon : {":", "\uFF1A"}) {
        if (label.ends_with(colon)) label.resize(label.size() - colon.size());
    }
    return label;
}

const char* BackendName() {
    return ChooseServiceBackend() == ServiceBackend::kSystemd ? "systemd" : "local";
}

void SayState(ProxyCtrl& ctrl) {
    Say(Text(res::IDS_CTL_SERVICE) + ": " + Text(WordsOf(ctrl.QueryStatus()).textId));
}

// The manager's or the server's reason, else "Operation failed".
[[noreturn]] void RefuseFailed(const ProxyCtrl& ctrl, uint32_t limitMs) {
    const std::string why = ServiceFailureText(ctrl.LastFailure(), limitMs, Language());
    Refuse(why.empty() ? std::string(res::TextOf(res::Fixed::OperationFailedText)) : why);
}

void Run(ProxyCtrl& ctrl, bool (ProxyCtrl::*operation)(uint32_t)) {
    const uint32_t limit = Options().serviceLimitMs;
    if (!(ctrl.*operation)(limit)) RefuseFailed(ctrl, limit);
}

void RequireInstalled(ProxyCtrl& ctrl) {
    if (ctrl.QueryStatus() == kServiceUnknown) Refuse(res::IDS_CTL_NOT_INSTALLED_HINT);
}

}  // namespace

void ShowStatus() {
    ProxyCtrl ctrl;
    const int state = ctrl.QueryStatus();
    const CtlSettings settings = LoadSettings();
    UserConf& users = UserConf::instance();
    users.load();
    const size_t accounts = users.accounts.size();
    std::optional<StatisticFigures> statistic;
    std::optional<uint16_t> runningPort;
    if (state == kServiceRunning) {
        std::string body;
        if (MQClientSingleton::instance()->Statistic(body)) statistic = ReadStatistic(body);
        if (MQClientSingleton::instance()->System(body)) runningPort = ReadListenPort(body);
    }
    const std::vector<std::string> networks = settings.allowedNetworks
                                                  ? SplitNetworkList(*settings.allowedNetworks)
                                                  : std::vector<std::string>();

    if (Options().json) {
        Json::Value root(Json::objectValue);
        root["service"]["state"] = WordsOf(state).key;
        root["service"]["backend"] = BackendName();
        root["listen_port"] = settings.listenPort;
        root["running_listen_port"] = runningPort ? Json::Value(*runningPort) : Json::Value();
        root["anonymous"] = settings.anonymous;
        Json::Value list(Json::arrayValue);
        for (const std::string& network : networks) list.append(network);
        root["allowed_networks"] = settings.allowedNetworks ? list : Json::Value();
        root["accounts"] = static_cast<Json::UInt64>(accounts);
        root["server_version"] = settings.serverVersion;
        if (statistic) {
            Json::Value& figures = root["statistics"];
            figures["online_users"] = statistic->onlineUsers;
            figures["online_devices"] = statistic->onlineDevices;
            figures["alarms"] = statistic->totalAlarms;
            figures["total_io_bytes"] = statistic->totalIOBytes;
        } else {
            root["statistics"] = Json::Value();
        }
        PrintJson(root);
        return;
    }
    std::vector<std::vector<std::string>> rows = {
        {Text(res::IDS_CTL_SERVICE), Text(WordsOf(state).textId) + " (" + BackendName() + ")"},
        {Text(res::Ctl::ListenPortLabel), std::to_string(settings.listenPort)},
        {Text(res::Ctl::AllowAnonymous),
         Text(settings.anonymous ? res::IDS_CTL_ON : res::IDS_CTL_OFF)},
        {Text(res::IDS_NETWORKS_TITLE), settings.allowedNetworks ? "" : "?"},
        {Text(res::IDS_CTL_ACCOUNTS), std::to_string(accounts)},
        {Text(res::IDS_CTL_SERVER_VERSION), settings.serverVersion},
    };
    std::string joined;
    for (const std::string& network : networks) joined += (joined.empty() ? "" : ", ") + network;
    if (settings.allowedNetworks) rows[3][1] = joined;
    if (runningPort && *runningPort != settings.listenPort)
        rows.push_back({Text(res::IDS_CTL_RUNNING_PORT), std::to_string(*runningPort)});
    if (statistic) {
        rows.push_back({Text(res::IDS_ROW_ONLINE_USERS), std::to_string(statistic->onlineUsers)});
        rows.push_back(
            {Text(res::IDS_ROW_ONLINE_DEVICES), std::to_string(statistic->onlineDevices)});
        rows.push_back({Text(res::IDS_ROW_TOTAL_NETWORK_FLOW), statistic->totalIOBytes});
        rows.push_back({Text(res::IDS_ROW_ALARMS), std::to_string(statistic->totalAlarms)});
    }
    for (auto& row : rows) Say(WithoutColon(row[0]) + ": " + row[1]);
}

void InstallService() {
    ProxyCtrl ctrl;
    if (!ctrl.Install()) RefuseFailed(ctrl, 0);
    SayState(ctrl);
}

void UninstallService() {
    ProxyCtrl ctrl;
    ctrl.SetUninstallStopLimit(Options().serviceLimitMs);
    if (!ctrl.Uninstall()) RefuseFailed(ctrl, 0);
    SayState(ctrl);
}

void StartService() {
    ProxyCtrl ctrl;
    RequireInstalled(ctrl);
    Run(ctrl, &ProxyCtrl::Start);
    SayState(ctrl);
}

void StopService() {
    ProxyCtrl ctrl;
    RequireInstalled(ctrl);
    Run(ctrl, &ProxyCtrl::Stop);
    SayState(ctrl);
}

void RestartService() {
    ProxyCtrl ctrl;
    RequireInstalled(ctrl);
    Run(ctrl, &ProxyCtrl::Stop);
    Run(ctrl, &ProxyCtrl::Start);
    SayState(ctrl);
}
