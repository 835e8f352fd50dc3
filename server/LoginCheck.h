#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "Common/PasswordHash.h"
#include "server/CredentialCache.h"
#include "server/LoginThrottle.h"
#include "server/ServerSettings.h"
#include "server/WorkerPool.h"

enum class LoginResult {
    kGood,
    kBad,
    kRefused,  // not checked: the address is throttled, or every checker is busy
};

struct LoginVerdict {
    LoginResult result = LoginResult::kBad;
    std::chrono::milliseconds blocked{0};  // a block this failure started for the address
};

// Checks a user name and password for a client without ever holding up the event loop: the
// throttle decides first whether the attempt is checked at all; a credential checked before
// is known from the cache; a strong hash is checked on a small pool of threads and the
// result comes back to the loop; an account with only the digest is checked by it (and the
// log says so once); an account whose stored password names nothing cannot log in.
class LoginChecker {
public:
    static constexpr size_t kThreads = 2;
    static constexpr size_t kMaxWaiting = 32;

    explicit LoginChecker(asio::io_context& io, LoginLimits limits = {});

    // `account` is nullptr when there is no such account; it is read before the first
    // suspension only. `address` is the client's throttle key (ThrottleKey).
    asio::awaitable<LoginVerdict> Check(const ServerAccount* account, const std::string& user,
                                        const std::string& password, const std::string& address);
    // The accounts were read again: remembered credentials go, and checks under way are not
    // remembered.
    void Forget();
    // Checks that have not started yet end as refused (the server is stopping).
    void Stop() { stopping_ = true; }

private:
    asio::awaitable<std::optional<HashCheck>> CheckOnPool(const std::string& hash,
                                                          const std::string& password);
    HashCheck CheckDigest(const std::string& user, const ServerAccount& account,
                          const std::string& password);
    void LogOnce(char kind, const std::string& user, const std::string& text);

    // A strong check under way; attempts with the same credential wait for its result instead
    // of checking again (a client opening many connections at once sends the same one on each).
    struct Pending {
        explicit Pending(asio::io_context& io, const CredentialCache::Tag& tag)
            : tag(tag), done(io) {}
        CredentialCache::Tag tag;
        asio::steady_timer done;  // cancelled when the result is in
        std::optional<HashCheck> result;
    };

    asio::io_context& io_;
    LoginThrottle throttle_;
    CredentialCache cache_;
    uint64_t generation_ = 0;
    std::set<std::string> logged_;  // kind and user name of each line logged once
    std::unordered_map<std::string, std::shared_ptr<Pending>> pending_;  // by user name
    std::atomic<bool> stopping_{false};
    WorkerPool pool_;  // last: joined before the rest goes
};

// The throttle's key for a client address text: the address itself for IPv4, its /64 for
// IPv6 (one host commonly holds a whole /64).
std::string ThrottleKey(const std::string& clientIp);
