#include "server/LiveConnections.h"

#include <json/value.h>

#include <algorithm>
#include <asio/ip/address.hpp>

#include "server/ClientSession.h"
#include "server/ControlReplies.h"

namespace {

namespace key = control::key;

const char* ProtocolName(ClientSession::Protocol protocol) {
    switch (protocol) {
        case ClientSession::Protocol::kConnect:
            return control::kProtocolConnect;
        case ClientSession::Protocol::kSocks5:
            return control::kProtocolSocks5;
        case ClientSession::Protocol::kHttp:
            break;
    }
    return control::kProtocolHttp;
}

template <class Ranked>
bool Faster(const Ranked& a, const Ranked& b) {
    return a.rate != b.rate ? a.rate > b.rate : a.id < b.id;
}

// `"key":`, after a comma unless it is the first in its object.
std::string& Key(std::string& text, const char* key) {
    if (text.back() != '{') text += ',';
    return text.append("\"").append(key).append("\":");
}
void Field(std::string& text, const char* key, uint64_t value) {
    Key(text, key).append(std::to_string(value));
}
void Field(std::string& text, const char* key, const std::string& value) {
    Key(text, key).append(QuotedText(value));
}

void AppendRow(std::string& text, const ListedConnection& row) {
    text += '{';
    Field(text, key::kId, row.id);
    Field(text, key::kIp, row.ip);
    Field(text, key::kUser, row.user);
    Field(text, key::kProtocol, row.protocol);
    Field(text, key::kDestination, row.destination);
    Key(text, key::kSince).append(std::to_string(row.since));
    Field(text, key::kBytesUp, row.bytesUp);
    Field(text, key::kBytesDown, row.bytesDown);
    Field(text, key::kRate, row.rate);
    text += '}';
}

bool Named(const DisconnectOrder& order, const ClientSession& session) {
    switch (order.by) {
        case control::DisconnectBy::kId:
            return session.id == order.id;
        case control::DisconnectBy::kUser:
            return session.user == order.name;
        case control::DisconnectBy::kIp:
            return session.clientIp == order.name;
    }
    return false;
}

std::string Connections(int count) {
    return std::to_string(count) + (count == 1 ? " connection" : " connections");
}

// "connection 7 (user "alice" from 10.0.0.5 to example.com:443)".
std::string Described(const ClientSession& session) {
    std::string text = "connection " + std::to_string(session.id) + " (";
    text += session.user.empty() ? "a client without an account" : "user \"" + session.user + "\"";
    text += " from " + session.clientIp;
    if (!session.destination.empty()) text += " to " + session.destination;
    return text + ")";
}

}  // namespace

void KeepFastest(std::vector<RankedSession>& ranked, size_t limit) {
    if (ranked.size() <= limit) return;
    std::nth_element(ranked.begin(), ranked.begin() + static_cast<ptrdiff_t>(limit), ranked.end(),
                     Faster<RankedSession>);
    ranked.resize(limit);
}

void ConnectionRanking::Sample(ClientSession& session, std::chrono::steady_clock::time_point now) {
    session.SampleRate(now);
    ranked_.push_back({session.Rate(), session.id, &session});
}

std::shared_ptr<const ConnectionListing> ConnectionRanking::Snapshot(
    const LiveSessions& sessions) const {
    auto listing = std::make_shared<ConnectionListing>();
    listing->total = sessions.size();
    const size_t wanted = std::min(sessions.size(), control::kConnectionRowLimit);
    listing->rows.reserve(wanted);
    auto list = [&](const ClientSession& session) {
        listing->rows.push_back({session.id, session.clientIp, session.user,
                                 ProtocolName(session.protocol), session.destination, session.since,
                                 session.BytesUp(), session.BytesDown(), session.Rate()});
    };
    // The fastest of the sweep's, in rounds while some of those taken have ended since.
    std::vector<RankedSession> candidates = ranked_;
    while (listing->rows.size() < wanted && !candidates.empty()) {
        const size_t round = std::min(candidates.size(), wanted - listing->rows.size());
        std::nth_element(candidates.begin(), candidates.begin() + static_cast<ptrdiff_t>(round),
                         candidates.end(), Faster<RankedSession>);
        for (size_t i = 0; i < round; ++i) {
            auto* session = const_cast<ClientSession*>(candidates[i].session);
            if (sessions.contains(session) && session->id == candidates[i].id) list(*session);
        }
        candidates.erase(candidates.begin(), candidates.begin() + static_cast<ptrdiff_t>(round));
    }
    if (listing->rows.size() < wanted) {
        // Sessions begun since the sweep fill the rest, the oldest first (they all rank alike
        // until a sweep has measured them); rare enough to visit every session for.
        std::vector<uint64_t> listed;
        for (const ListedConnection& row : listing->rows) listed.push_back(row.id);
        std::sort(listed.begin(), listed.end());
        std::vector<RankedSession> newer;
        for (ClientSession* session : sessions) {
            if (!std::binary_search(listed.begin(), listed.end(), session->id)) {
                newer.push_back({session->Rate(), session->id, session});
            }
        }
        KeepFastest(newer, wanted - listing->rows.size());
        for (const RankedSession& entry : newer) list(*entry.session);
    }
    return listing;
}

std::string ConnectionsReply(const ConnectionListing& listing) {
    std::vector<const ListedConnection*> order;
    order.reserve(listing.rows.size());
    for (const ListedConnection& row : listing.rows) order.push_back(&row);
    std::sort(order.begin(), order.end(),
              [](const ListedConnection* a, const ListedConnection* b) { return Faster(*a, *b); });
    // Written directly, as the totals' replies are: a JSON tree of 1 000 rows would cost this
    // thread milliseconds of a CPU the event loop may need meanwhile.
    std::string text = "{";
    Field(text, key::kErrCode, uint64_t{0});
    Field(text, key::kErrMsg, std::string());
    Field(text, key::kTotal, listing.total);
    Key(text, key::kData) += '[';
    for (const ListedConnection* row : order) {
        if (text.back() != '[') text += ',';
        AppendRow(text, *row);
    }
    return text + "]}";
}

std::optional<DisconnectOrder> ReadDisconnectOrder(std::string_view argument) {
    const auto target = control::ReadDisconnectTarget(argument);
    if (!target) return std::nullopt;
    DisconnectOrder order{target->by, 0, {}};
    const std::string_view value = target->value;
    switch (target->by) {
        case control::DisconnectBy::kId: {
            const std::optional<uint64_t> id = control::ReadConnectionId(value);
            if (!id) return std::nullopt;
            order.id = *id;
            break;
        }
        case control::DisconnectBy::kUser:
            order.name = value;
            break;
        case control::DisconnectBy::kIp: {
            asio::error_code error;
            auto address = asio::ip::make_address(std::string(value), error);
            if (error) return std::nullopt;
            if (address.is_v6() && address.to_v6().is_v4_mapped()) {
                address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
            }
            order.name = address.to_string();
            break;
        }
    }
    return order;
}

Disconnected DisconnectSessions(const LiveSessions& sessions, const DisconnectOrder& order) {
    std::vector<ClientSession*> named;
    for (ClientSession* session : sessions) {
        if (!session->Closed() && Named(order, *session)) named.push_back(session);
    }
    Disconnected done{static_cast<int>(named.size()), "disconnected "};
    switch (order.by) {
        case control::DisconnectBy::kId:
            done.alarm += named.empty() ? "nothing by the administrator: connection " +
                                              std::to_string(order.id) + " is not open"
                                        : Described(*named.front()) + " by the administrator";
            break;
        case control::DisconnectBy::kUser:
            done.alarm +=
                Connections(done.closed) + " of user \"" + order.name + "\" by the administrator";
            break;
        case control::DisconnectBy::kIp:
            done.alarm +=
                Connections(done.closed) + " from " + order.name + " by the administrator";
            break;
    }
    for (ClientSession* session : named) session->Close();
    return done;
}

std::string DisconnectReply(int closed) {
    Json::Value root(Json::objectValue);
    root[key::kClosed] = closed;
    return SuccessReply(std::move(root));
}
