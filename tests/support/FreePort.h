#pragma once
// A TCP port for a server a test starts a moment later.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <random>

namespace test {

// Whether nothing holds `port` on any address, IPv4 or IPv6, as a dual-stack listener on the
// wildcard address (the proxy's own way) would find it.
inline bool PortIsFree(uint16_t port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool free = false;
    if (fd >= 0) {
        const int off = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_any;
        free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    } else {  // a machine without IPv6
        const int v4 = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        free = ::bind(v4, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(v4);
    }
    if (fd >= 0) ::close(fd);
    return free;
}

// Below the ephemeral range (32768 and up), where the kernel never takes a port for the local
// end of an outgoing connection: one taken there between this choice and the server's bind
// (by any program on the machine, on any of its addresses) fails the server's start. Never
// `besides`, a port chosen for another server of the same test.
inline uint16_t FreePort(uint16_t besides = 0) {
    static std::mt19937 random(std::random_device{}());
    for (;;) {
        const auto port = static_cast<uint16_t>(20000 + random() % 12000);
        if (port != besides && PortIsFree(port)) return port;
    }
}

}  // namespace test
