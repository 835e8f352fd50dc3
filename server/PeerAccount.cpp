#include "server/PeerAccount.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The peer's socket is the one whose own address is our remote end and whose peer is us.
void Fill(inet_diag_sockid& id, const asio::ip::tcp::endpoint& own,
          const asio::ip::tcp::endpoint& peer) {
    id.idiag_sport = htons(own.port());
    id.idiag_dport = htons(peer.port());
    if (own.address().is_v4()) {
        const auto a = own.address().to_v4().to_bytes();
        const auto b = peer.address().to_v4().to_bytes();
        std::memcpy(id.idiag_src, a.data(), a.size());
        std::memcpy(id.idiag_dst, b.data(), b.size());
    } else {
        const auto a = own.address().to_v6().to_bytes();
        const auto b = peer.address().to_v6().to_bytes();
        std::memcpy(id.idiag_src, a.data(), a.size());
        std::memcpy(id.idiag_dst, b.data(), b.size());
    }
    id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
}

// "0100007F:1F90" as /proc/net/tcp writes an IPv4 address (its bytes as a native number)
// and port.
std::string ProcText(const asio::ip::tcp::endpoint& endpoint) {
    const auto bytes = endpoint.address().to_v4().to_bytes();
    uint32_t raw = 0;
    std::memcpy(&raw, bytes.data(), bytes.size());
    char text[16];
    std::snprintf(text, sizeof text, "%08X:%04X", raw, endpoint.port());
    return text;
}

// Where netlink is not allowed (a unit written before it was): the socket table as text.
std::optional<uid_t> FromProcTable(const asio::ip::tcp::endpoint& own,
                                   const asio::ip::tcp::endpoint& peer) {
    if (!own.address().is_v4()) return std::nullopt;
    std::ifstream table("/proc/net/tcp");
    const std::string ownText = ProcText(own);
    const std::string peerText = ProcText(peer);
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        unsigned long uid = 0;
        if (fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid &&
            local == ownText && remote == peerText) {
            return static_cast<uid_t>(uid);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<uid_t> LocalPeerAccount(const asio::ip::tcp::socket& socket) {
    asio::error_code error;
    const auto local = socket.local_endpoint(error);
    const auto remote = error ? decltype(local){} : socket.remote_endpoint(error);
    if (error || local.address().is_v4() != remote.address().is_v4()) return std::nullopt;

    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return FromProcTable(remote, local);
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST;  // one socket, looked up exactly
    query.request.sdiag_family = remote.address().is_v4() ? AF_INET : AF_INET6;
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0u;
    Fill(query.request.id, remote, local);

    std::optional<uid_t> owner;
    alignas(nlmsghdr) char reply[1024];
    timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::send(fd, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query)) {
        const ssize_t size = ::recv(fd, reply, sizeof reply, 0);
        const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
        if (size > 0 && NLMSG_OK(header, static_cast<size_t>(size)) &&
            header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            owner = static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid;
        }
    }
    ::close(fd);
    return owner;
}
