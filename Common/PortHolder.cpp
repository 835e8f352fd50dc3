#include "Common/PortHolder.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

constexpr const char* kListenState = "0A";

// Socket inodes of listeners on `port` in one of /proc/net/tcp and tcp6; false when the table
// cannot be read.
bool ListenerInodes(const char* table, uint16_t port, std::set<std::string>& inodes) {
    std::ifstream in(table);
    if (!in) return false;
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode;
        const size_t colon = local.rfind(':');
        if (state != kListenState || colon == std::string::npos) continue;
        if (std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port) inodes.insert(inode);
    }
    return true;
}

// Where the tables cannot be read: a bind that finds the port taken.
bool BindRefused(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool refused =
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno == EADDRINUSE;
    ::close(fd);
    return refused;
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The first process (that this account may look into) with a descriptor on one of `inodes`.
std::string HolderOf(const std::set<std::string>& inodes) {
    std::set<std::string> links;
    for (const std::string& inode : inodes) links.insert("socket:[" + inode + "]");
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return {};
    while (const dirent* entry = ::readdir(proc.get())) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdDir.c_str()), ::closedir);
        if (!fds) continue;  // another account's process
        while (const dirent* fd = ::readdir(fds.get())) {
            char target[64];
            const std::string path = fdDir + "/" + fd->d_name;
            const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
            if (length <= 0 || !links.count(std::string(target, static_cast<size_t>(length)))) {
                continue;
            }
            return ReadLine("/proc/" + pid + "/comm") + " (pid " + pid + ")";
        }
    }
    return {};
}

}  // namespace

PortHolder FindPortHolder(uint16_t port) {
    std::set<std::string> inodes;
    const bool v4 = ListenerInodes("/proc/net/tcp", port, inodes);
    const bool v6 = ListenerInodes("/proc/net/tcp6", port, inodes);
    if (!v4 && !v6) return {BindRefused(port), {}};
    if (inodes.empty()) return {};
    return {true, HolderOf(inodes)};
}
