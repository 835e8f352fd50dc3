#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Common/PasswordHash.h"
#include "server/CredentialCache.h"
#include "server/LoginThrottle.h"
#include "server/ServerSettings.h"
#include "server/WorkerPool.h"

enum class LoginResult {
    kGood,
    kBad,
    kBusy,  // not checked: the guesser is throttled, or every checker is busy; ask again later
};

struct LoginVerdict {
    LoginResult result = LoginResult::kBad;
    std::chrono::milliseconds blocked{0};  // a block this attempt started for its source
    std::chrono::milliseconds wait{0};     // kBusy: when asking again may be checked
};

// How many strong checks run at once, and how many wait for a thread. A flood of guesses takes
// only the places that better-ranked attempts do not claim.
struct LoginCapacity {
    size_t threads = 2;
    size_t waiting = 32;
};

// Checks a user name and password for a client without ever holding up the event loop: the
// throttle decides first whether the attempt is checked at all; a credential checked before
// is known from the cache; a strong hash is checked on a small pool of threads (sources that
// have not failed first) and the result comes back to the loop; an account with only the
// digest is checked by it (and the log says so once); an account whose stored password names
// nothing cannot log in. A verdict holds for the accounts it was checked against: when they
// were read again meanwhile and the user's account changed, it is checked again.
class LoginChecker {
public:
    using Capacity = LoginCapacity;

    // The account of a user name in the settings in force, or null.
    using Lookup = std::function<const ProxyAccount*(const std::string& user)>;

    LoginChecker(asio::io_context& io, Lookup lookup, LoginLimits limits = {},
                 Capacity capacity = {});

    // `address` is the client's throttle key (ThrottleKey).
    asio::awaitable<LoginVerdict> Check(const std::string& user, const std::string& password,
                                        const std::string& address);
    // The accounts were read again; `changed` names those deleted or given another password
    // (or made anew): their remembered credentials go, and checks under way for them are done
    // again against the new accounts. Everyone else's stay.
    void Forget(const std::vector<std::string>& changed);
    // Checks that have not started yet end as busy (the server is stopping).
    void Stop() { stopping_ = true; }

private:
    asio::awaitable<LoginVerdict> CheckOnce(const std::optional<ProxyAccount>& account,
                                            const std::string& user, const std::string& password,
                                            const std::string& address);
    // A check waiting for a thread, and what to call with its result (nullopt: not checked).
    struct Job {
        std::string hash, password, address, user;
        bool account = false;  // the name has one
        uint64_t arrival = 0;
        std::function<void(std::optional<HashCheck>)> done;
    };
    asio::awaitable<std::optional<HashCheck>> CheckOnPool(const std::string& hash,
                                                          const std::string& password,
                                                          const std::string& address,
                                                          const std::string& user, bool account);
    // Starts `job` when a thread is free, else queues it; when the queue is full the job that
    // ranks last (it or a waiting one) is not checked.
    void Enqueue(Job job);
    void Start(Job job);
    asio::awaitable<void> Run(Job job);
    void StartNext();
    // Where a waiting check stands now (lower first): sources that have failed since it came
    // fall behind those that have not, and shares many checks wait for behind the others. Each
    // account is a share, and the names without an account are one share together.
    std::pair<int, uint64_t> Rank(const Job& job);
    HashCheck CheckDigest(const std::string& user, const ProxyAccount& account,
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
    Lookup lookup_;
    Capacity capacity_;
    LoginThrottle throttle_;
    CredentialCache cache_;
    // Counts the readings of the accounts; each user's entry, the reading that last changed it.
    uint64_t generation_ = 0;
    std::unordered_map<std::string, uint64_t> changedAt_;  // emptied when no check is under way
    size_t checking_ = 0;
    std::set<std::string> logged_;  // kind and user name of each line logged once
    std::unordered_map<std::string, std::shared_ptr<Pending>> pending_;  // by user name
    std::vector<Job> waiting_;
    size_t running_ = 0;
    uint64_t arrivals_ = 0;
    std::atomic<bool> stopping_{false};
    WorkerPool pool_;  // last: joined before the rest goes
};
