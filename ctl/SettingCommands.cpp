// anonymous, port, networks.
#include <algorithm>

#include "Common/ClientNetworks.h"
#include "Common/NetworkListText.h"
#include "Common/PortHolder.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "ctl/Settings.h"
#include "server_link/ListenPortRule.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "service/ProxyCtrl.h"

namespace {

void RefuseFailedSave() {
    Refuse(res::TextOf(res::Fixed::OperationFailedText));
}

// The port the running server listens on; nullopt when none runs or it does not say.
std::optional<uint16_t> RunningListenPort() {
    if (ProxyCtrl().QueryStatus() != kServiceRunning) return std::nullopt;
    std::string body;
    if (!MQClientSingleton::instance()->System(body)) return std::nullopt;
    return ReadListenPort(body);
}

std::string Joined(const std::vector<std::string>& entries, const char* separator) {
    std::string out;
    for (const std::string& entry : entries) out += (out.empty() ? "" : separator) + entry;
    return out;
}

void PrintNetworks(const std::string& stored) {
    const std::vector<std::string> entries = SplitNetworkList(stored);
    if (Options().json) {
        Json::Value list(Json::arrayValue);
        for (const std::string& entry : entries) list.append(entry);
        PrintJson(list);
        return;
    }
    for (const std::string& entry : entries) Say(entry);
}

// Checks a whole list as the networks dialog does (entry N is line N) and stores it.
void StoreNetworks(const std::string& typed) {
    const NetworkListCheck check = CheckNetworkList(typed);
    if (const std::string problem = NetworkListProblem(check, Language()); !problem.empty())
        Refuse(problem);
    if (check.everyAddress) Warn(Text(res::IDS_NETWORKS_OPEN));
    if (!StoreAllowedNetworks(check.stored)) RefuseFailedSave();
    ApplyConfiguration();
    PrintNetworks(check.stored);
}

// One entry as the list would store it.
std::string CanonicalNetwork(const std::string& entry) {
    const NetworkListCheck check = CheckNetworkList(entry);
    if (const std::string problem = NetworkListProblem(check, Language()); !problem.empty())
        Refuse(problem);
    return check.stored;
}

std::string StoredNetworks() {
    const std::optional<std::string> stored = LoadSettings().allowedNetworks;
    if (!stored) Refuse(res::IDS_NETWORKS_UNREADABLE);
    return *stored;
}

}  // namespace

void SetAnonymous(const std::string& onOrOff) {
    if (!SaveAnonymous(onOrOff == "on")) RefuseFailedSave();
    ApplyConfiguration();
    Say(Text(res::IDS_SAVED_SUCCESSFULLY));
}

void SetListenPort(const std::string& typed) {
    const ListenPortCheck check = CheckListenPort(typed, Options().controlPort);
    if (check.problem != ListenPortProblem::kNone) Refuse(ListenPortRefusal(check, Language()));
    const uint16_t saved = LoadSettings().listenPort;
    const std::optional<uint16_t> running = RunningListenPort();
    // Another program's listener is worth a word; our own running server's port is not.
    if (check.port != saved && running != check.port) {
        if (const PortHolder holder = FindPortHolder(check.port); holder.held) {
            Warn(Text(res::IDS_CTL_PORT_HELD,
                      {std::to_string(check.port),
                       holder.who.empty() ? Text(res::IDS_PORT_HELD_UNKNOWN) : holder.who}));
        }
    }
    if (!SaveListenPort(check.port)) RefuseFailedSave();
    ApplyConfiguration();
    Say(Text(res::IDS_SAVED_SUCCESSFULLY));
    if (running && *running != check.port) Say(Text(res::IDS_RESTART_ENGINE_HINT));
}

void ChangeNetworks(const std::string& action, const std::vector<std::string>& entries) {
    if (action == "list") return PrintNetworks(StoredNetworks());
    if (action == "defaults") return StoreNetworks(kDefaultClientNetworks);
    if (action == "set") return StoreNetworks(Joined(entries, "\n"));
    const std::string network = CanonicalNetwork(entries.empty() ? std::string() : entries.front());
    std::vector<std::string> list = SplitNetworkList(StoredNetworks());
    const auto found = std::find_if(list.begin(), list.end(), [&network](const std::string& entry) {
        return CheckNetworkList(entry).stored == network;
    });
    if (action == "add") {
        if (found != list.end()) {
            Say(Text(res::IDS_CTL_NETWORK_PRESENT, {network}));
            return;
        }
        list.push_back(network);
    } else {
        if (found == list.end()) Refuse(res::IDS_CTL_NETWORK_ABSENT, {network});
        list.erase(found);
    }
    StoreNetworks(Joined(list, "\n"));
}
