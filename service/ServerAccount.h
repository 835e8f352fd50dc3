#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// The account a root console runs the proxy server as: the one main.db beside the server
// belongs to (the package gives it to a system account of its own), as the systemd unit's
// User= does. Where main.db is root's (a developer's install) there is none and the server
// runs as the console's account.
struct ServerAccount {
    uid_t uid = 0;
    gid_t gid = 0;  // the account's own group; main.db's when the account database lacks it
    std::vector<gid_t> groups;  // supplementary groups from the account database, gid included
    std::string name;           // "uid N" when the account database does not know it
};

// The account that owns main.db in the folder of `program` (a full path), when it is not root
// and the caller is root; main.db must be a regular file, not a link.
std::optional<ServerAccount> DatabaseOwnerAccount(const std::string& program);

// Makes the calling process `account` for good: the bounding set is cut to binding ports below
// 1024, then supplementary groups, group and user are set (real, effective and saved), the
// capability to bind low ports is kept across exec (as the systemd unit's
// AmbientCapabilities= does), no new privileges may be gained, and a way back to root is
// checked to be refused. Only async-signal-safe calls: it runs between fork and exec.
// 0, or the errno of the step that failed (EPERM when root could be regained).
int BecomeAccount(const ServerAccount& account);
