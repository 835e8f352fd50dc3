// connections, disconnect, traffic: what the running server reports and ends, asked over the
// control channel.
#include <arpa/inet.h>

#include <algorithm>
#include <functional>

#include "Common/AccountFields.h"
#include "Common/ByteCount.h"
#include "Common/RecordText.h"
#include "Common/UserConf.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "service/ProxyCtrl.h"

namespace {

// The reply of the running server; refuses when none runs, it does not answer or it refuses.
std::string Ask(const std::function<bool(MQClient&, std::string&)>& ask) {
    if (ProxyCtrl().QueryStatus() != kServiceRunning) Refuse(res::IDS_CTL_SERVER_NOT_RUNNING);
    std::string reply;
    if (!ask(*MQClientSingleton::instance(), reply))
        Refuse(res::IDS_CTL_NO_ANSWER, {std::to_string(Options().controlPort)});
    if (const std::optional<std::string> reason = ReadRefusal(reply))
        Refuse(res::IDS_CTL_SERVER_REFUSED, {*reason});
    return reply;
}

template <typename Figures>
Figures Readable(std::optional<Figures> figures) {
    if (!figures) Refuse(res::IDS_CTL_BAD_REPLY);
    return std::move(*figures);
}

void RequireUsableName(const std::string& name) {
    if (const int problem = AccountFieldsProblem(name, "", "", AccountFieldsPurpose::kModify))
        Refuse(problem);
}

// The id as the server writes it; refuses anything the server would not read as one.
std::string CheckedId(const std::string& text) {
    const std::optional<uint64_t> id = control::ReadConnectionId(text);
    if (!id) Refuse(res::IDS_CTL_BAD_ID, {text});
    return std::to_string(*id);
}

// The address in its usual form ("::1", not "0:0::1"), as the server lists its clients.
std::string CheckedAddress(const std::string& text) {
    unsigned char bytes[sizeof(in6_addr)];
    char canonical[INET6_ADDRSTRLEN];
    for (const int family : {AF_INET, AF_INET6}) {
        if (inet_pton(family, text.c_str(), bytes) == 1 &&
            inet_ntop(family, bytes, canonical, sizeof canonical) != nullptr)
            return canonical;
    }
    Refuse(res::IDS_CTL_BAD_ADDRESS, {text});
}

// "HTTP", "CONNECT", "SOCKS5": the words an administrator knows them by.
std::string ProtocolText(std::string protocol) {
    for (char& c : protocol) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return protocol;
}

std::vector<std::string> Headers(std::initializer_list<int> ids) {
    std::vector<std::string> headers;
    for (const int id : ids) headers.push_back(Text(id));
    return headers;
}

}  // namespace

void ListConnections() {
    const ConnectionList list = Readable(ReadConnections(
        Ask([](MQClient& client, std::string& reply) { return client.Connections(reply); })));
    if (Options().json) {
        Json::Value rows(Json::arrayValue);
        for (const ConnectionRow& row : list.rows) {
            Json::Value item(Json::objectValue);
            item["id"] = Json::UInt64(row.id);
            item["user"] = row.user.empty() ? Json::Value() : Json::Value(row.user);
            item["ip"] = row.ip;
            item["protocol"] = row.protocol;
            item["destination"] = row.destination;
            item["since"] = Json::Int64(row.since);
            item["since_text"] = TimeText(row.since);
            item["bytes_up"] = Json::UInt64(row.bytesUp);
            item["bytes_down"] = Json::UInt64(row.bytesDown);
            item["rate_bytes_per_second"] = Json::UInt64(row.rate);
            rows.append(item);
        }
        Json::Value root(Json::objectValue);
        root["total"] = Json::UInt64(list.total);
        root["connections"] = rows;
        PrintJson(root);
        return;
    }
    std::vector<std::vector<std::string>> rows;
    TimeTextWriter times;
    for (const ConnectionRow& row : list.rows) {
        std::string since;
        times.Append(row.since, since);
        rows.push_back({std::to_string(row.id), row.user, row.ip, ProtocolText(row.protocol),
                        row.destination, since, FormatBytes(row.bytesUp),
                        FormatBytes(row.bytesDown), FormatBytes(row.rate) + "/s"});
    }
    PrintTable(
        Headers({res::IDS_CTL_COL_ID, res::IDS_COL_USER, res::IDS_COL_IP, res::IDS_CTL_COL_PROTOCOL,
                 res::IDS_CTL_COL_DESTINATION, res::IDS_CTL_COL_SINCE, res::IDS_CTL_COL_UP,
                 res::IDS_CTL_COL_DOWN, res::IDS_CTL_COL_RATE}),
        rows);
    if (list.total > list.rows.size())
        Say(Text(res::IDS_CTL_FASTEST_SHOWN,
                 {std::to_string(list.rows.size()), std::to_string(list.total)}));
}

void DisconnectClients(control::DisconnectBy by, const std::string& value) {
    std::string sent = value;
    switch (by) {
        case control::DisconnectBy::kId:
            sent = CheckedId(value);
            break;
        case control::DisconnectBy::kUser:
            RequireUsableName(value);
            break;
        case control::DisconnectBy::kIp:
            sent = CheckedAddress(value);
            break;
    }
    const uint64_t closed =
        Readable(ReadClosed(Ask([by, &sent](MQClient& client, std::string& reply) {
            return client.Disconnect(by, sent, reply);
        })));
    if (Options().json) {
        Json::Value root(Json::objectValue);
        root["closed"] = Json::UInt64(closed);
        PrintJson(root);
    } else {
        Say(closed == 0 ? Text(res::IDS_CTL_CLOSED_NONE)
                        : Text(res::IDS_CTL_CLOSED, {std::to_string(closed)}));
    }
}

void ShowTraffic(const std::string& account) {
    RequireUsableName(account);
    const std::vector<TrafficDay> days =
        Readable(ReadTraffic(Ask([&account](MQClient& client, std::string& reply) {
            return client.Traffic(account, reply);
        })));
    // A mistyped name has no days either: say so rather than print an empty table.
    if (days.empty()) {
        UserConf& users = UserConf::instance();
        users.load();
        if (!users.accounts.contains(account)) Refuse(res::IDS_CTL_NO_ACCOUNT, {account});
    }
    if (Options().json) {
        Json::Value rows(Json::arrayValue);
        for (const TrafficDay& day : days) {
            Json::Value item(Json::objectValue);
            item["day"] = day.day;
            item["bytes_up"] = Json::UInt64(day.bytesUp);
            item["bytes_down"] = Json::UInt64(day.bytesDown);
            rows.append(item);
        }
        PrintJson(rows);
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const TrafficDay& day : days) {
        rows.push_back(
            {day.day, FormatBytes(day.bytesUp), FormatBytes(day.bytesDown),
             FormatBytes(day.bytesUp + std::min(day.bytesDown, UINT64_MAX - day.bytesUp))});
    }
    PrintTable(Headers({res::IDS_CTL_COL_DAY, res::IDS_CTL_COL_UP, res::IDS_CTL_COL_DOWN,
                        res::IDS_CTL_COL_TOTAL}),
               rows);
}
