#include "service/ServerAccount.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "service/DatabaseFiles.h"

std::optional<ServerAccount> DatabaseOwnerAccount(const std::string& program) {
    if (::geteuid() != 0 || program.empty() || program[0] != '/') return std::nullopt;
    const std::filesystem::path database =
        std::filesystem::path(program).parent_path() / kDatabaseFileName;
    struct stat info {};
    if (::lstat(database.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid == 0) {
        return std::nullopt;
    }
    ServerAccount account{
        info.st_uid, info.st_gid, {info.st_gid}, "uid " + std::to_string(info.st_uid)};
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(info.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        // The account's own group, whatever group main.db was given.
        account.name = entry.pw_name;
        account.gid = entry.pw_gid;
        int count = 64;
        std::vector<gid_t> groups(static_cast<size_t>(count));
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) == -1) {
            groups.resize(static_cast<size_t>(count));
            ::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count);
        }
        groups.resize(static_cast<size_t>(count));
        account.groups = groups;
    }
    return account;
}

namespace {

constexpr unsigned kBindBit = 1U << CAP_NET_BIND_SERVICE;  // in the first word of the sets

int CapabilitiesToBindOnly() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {{kBindBit, kBindBit, kBindBit}, {0, 0, 0}};
    if (::syscall(SYS_capset, &header, data) != 0) return errno;
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_BIND_SERVICE, 0, 0) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace

int BecomeAccount(const ServerAccount& account) {
    if (account.uid == 0) return EINVAL;
    // While still root: nothing but binding low ports can ever come back, and the permitted
    // set survives the change of user so that this one capability can be kept.
    for (int capability = 0; capability <= CAP_LAST_CAP; ++capability) {
        if (capability == CAP_NET_BIND_SERVICE) continue;
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) return errno;
    }
    if (::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0) return errno;
    if (::setgroups(account.groups.size(), account.groups.data()) != 0) return errno;
    if (::setresgid(account.gid, account.gid, account.gid) != 0) return errno;
    if (::setresuid(account.uid, account.uid, account.uid) != 0) return errno;
    if (const int error = CapabilitiesToBindOnly(); error != 0) return error;
    if (::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) != 0) return errno;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
    // No way back: every id is the account's, and root's cannot be taken again.
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    if (::getresuid(&ruid, &euid, &suid) != 0 || ::getresgid(&rgid, &egid, &sgid) != 0 ||
        ruid != account.uid || euid != account.uid || suid != account.uid || rgid != account.gid ||
        egid != account.gid || sgid != account.gid) {
        return EPERM;
    }
    if (::setuid(0) == 0 || ::setgid(0) == 0) return EPERM;
    return 0;
}
