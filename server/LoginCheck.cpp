#include "server/LoginCheck.h"

#include <glog/logging.h>

#include <algorithm>
#include <memory>

#include "Common/PasswordDigest.h"
#include "server/OffLoop.h"

namespace {

// A hash of a random text nobody knows: a name without an account is checked against it, so
// that such an attempt takes as long as one with a wrong password.
constexpr char kNoAccountHash[] =
    "$y$j9T$E20dxnRM30tCHyQkVMtm5.$LT0mogv47FvN1pL7KHnb2djolOVh7RjU0Hlnhjv3VdD";

}  // namespace

LoginChecker::LoginChecker(asio::io_context& io, Lookup lookup, LoginLimits limits,
                           Capacity capacity)
    : io_(io),
      lookup_(std::move(lookup)),
      capacity_(capacity),
      throttle_(limits),
      pool_(capacity.threads, capacity.waiting) {}

asio::awaitable<LoginVerdict> LoginChecker::Check(const std::string& user,
                                                  const std::string& password,
                                                  const std::string& address) {
    struct Checking {
        size_t& count;
        explicit Checking(size_t& count) : count(count) { ++count; }
        ~Checking() { --count; }
    } checking(checking_);
    const auto copy = [&]() -> std::optional<ProxyAccount> {
        const ProxyAccount* account = lookup_(user);
        return account ? std::optional(*account) : std::nullopt;
    };
    std::optional<ProxyAccount> account = copy();
    for (int round = 0;; ++round) {
        const uint64_t start = generation_;
        LoginVerdict verdict = co_await CheckOnce(account, user, password, address);
        const auto changed = changedAt_.find(user);
        if (changed == changedAt_.end() || changed->second <= start) co_return verdict;
        // The account was deleted or changed while this was checked: the verdict is stale.
        account = copy();
        if (!account) co_return LoginVerdict{LoginResult::kBad};
        if (round > 0) co_return LoginVerdict{LoginResult::kBusy, {}, std::chrono::seconds(1)};
    }
}

asio::awaitable<LoginVerdict> LoginChecker::CheckOnce(const std::optional<ProxyAccount>& account,
                                                      const std::string& user,
                                                      const std::string& password,
                                                      const std::string& address) {
    using Outcome = LoginThrottle::Outcome;
    const auto now = LoginThrottle::Clock::now();
    const uint64_t generation = generation_;
    // The guesser's own pair is checked by nothing, not even the cache (it would answer a
    // guess at once); a blocked address lets only remembered credentials through, and each
    // attempt it makes otherwise counts against its pair (so that comparing guesses with the
    // cache ends soon).
    const LoginThrottle::Gate gate = throttle_.Look(address, user, now);
    if (gate.pairBlocked) co_return LoginVerdict{LoginResult::kBusy, {}, gate.wait};
    const CredentialCache::Tag tag = cache_.TagOf(user, password);
    if (account && cache_.Holds(user, tag)) co_return LoginVerdict{LoginResult::kGood};
    if (gate.addressBlocked) {
        const auto blocked = throttle_.Refused(address, user, now);
        co_return LoginVerdict{LoginResult::kBusy, blocked, std::max(gate.wait, blocked)};
    }
    // The same credential is being checked: its result is this one's too. Names without an
    // account alike, so that waiting tells nothing about which names exist.
    if (const auto found = pending_.find(user);
        found != pending_.end() && CredentialCache::Same(found->second->tag, tag)) {
        const std::shared_ptr<Pending> pending = found->second;
        co_await pending->done.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
        if (!pending->result)
            co_return LoginVerdict{LoginResult::kBusy, {}, std::chrono::seconds(1)};
        co_return LoginVerdict{account && *pending->result == HashCheck::kMatch
                                   ? LoginResult::kGood
                                   : LoginResult::kBad};
    }
    if (!throttle_.Begin(address, now)) {
        co_return LoginVerdict{LoginResult::kBusy, {}, std::chrono::seconds(1)};
    }

    std::optional<HashCheck> checked;
    if (account && account->hash.empty()) {
        checked = CheckDigest(user, *account, password);
    } else {
        const std::string hash = account ? account->hash : kNoAccountHash;
        std::shared_ptr<Pending> pending;
        if (!pending_.contains(user)) {
            pending = std::make_shared<Pending>(io_, tag);
            pending->done.expires_at(asio::steady_timer::time_point::max());
            pending_.emplace(user, pending);
        }
        checked = co_await CheckOnPool(hash, password, address, user, account.has_value());
        if (pending) {
            pending->result = checked;
            pending->done.cancel();
            pending_.erase(user);
        }
        if (checked == HashCheck::kUnusable && account) {
            LogOnce('h', user,
                    "account \"" + user +
                        "\" cannot log in: its stored password hash is not one this server can "
                        "check");
        }
    }
    const auto end = LoginThrottle::Clock::now();
    if (!checked) {
        // Refused for want of a place: no verdict on the password, but its source ranks lower.
        const auto blocked = throttle_.Finish(address, user, Outcome::kUnchecked, end);
        co_return LoginVerdict{
            LoginResult::kBusy, blocked,
            std::max<std::chrono::milliseconds>(blocked, std::chrono::seconds(1))};
    }
    const bool good = account && *checked == HashCheck::kMatch;
    // Remembered only when its account has not changed since (Check then checks it again).
    const auto changed = changedAt_.find(user);
    if (good && (changed == changedAt_.end() || changed->second <= generation)) {
        cache_.Remember(user, tag);
    }
    const auto blocked =
        throttle_.Finish(address, user, good ? Outcome::kGood : Outcome::kBad, end);
    co_return LoginVerdict{good ? LoginResult::kGood : LoginResult::kBad, blocked};
}

void LoginChecker::Forget(const std::vector<std::string>& changed) {
    ++generation_;
    if (checking_ == 0) changedAt_.clear();  // no verdict under way can be stale
    for (const std::string& user : changed) {
        cache_.Erase(user);
        changedAt_[user] = generation_;
    }
}

asio::awaitable<std::optional<HashCheck>> LoginChecker::CheckOnPool(const std::string& hash,
                                                                    const std::string& password,
                                                                    const std::string& address,
                                                                    const std::string& user,
                                                                    bool account) {
    auto initiate = [&](auto handler) {
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        Enqueue(Job{hash, password, address, user, account, arrivals_++,
                    [shared](std::optional<HashCheck> result) { (*shared)(result); }});
    };
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable),
                                            void(std::optional<HashCheck>)>(initiate,
                                                                            asio::use_awaitable);
}

void LoginChecker::Enqueue(Job job) {
    if (running_ < capacity_.threads) return Start(std::move(job));
    const auto unchecked = [this](Job& dropped) {
        asio::post(io_, [done = std::move(dropped.done)] { done(std::nullopt); });
    };
    if (waiting_.size() < capacity_.waiting) {
        waiting_.push_back(std::move(job));
        return;
    }
    auto last = waiting_.begin();
    auto lastRank = Rank(*last);
    for (auto it = waiting_.begin() + 1; it != waiting_.end(); ++it) {
        if (const auto rank = Rank(*it); rank > lastRank) {
            last = it;
            lastRank = rank;
        }
    }
    if (Rank(job) < lastRank) std::swap(job, *last);
    unchecked(job);
}

void LoginChecker::Start(Job job) {
    ++running_;
    asio::co_spawn(io_, Run(std::move(job)), asio::detached);
}

// No result (not checked) when the server is stopping or the pool is going.
asio::awaitable<void> LoginChecker::Run(Job job) {
    auto check = [this, hash = job.hash, password = job.password] {
        std::optional<HashCheck> result;
        if (!stopping_) result = CheckPasswordHash(hash, password);
        return result;
    };
    auto submit = [this](std::function<void()> work) { return pool_.TrySubmit(std::move(work)); };
    const std::optional<HashCheck> result = co_await RunOffLoop(submit, check);
    --running_;
    job.done(result);
    StartNext();
}

void LoginChecker::StartNext() {
    if (waiting_.empty() || running_ >= capacity_.threads) return;
    auto best = waiting_.begin();
    auto bestRank = Rank(*best);
    for (auto it = waiting_.begin() + 1; it != waiting_.end(); ++it) {
        if (const auto rank = Rank(*it); rank < bestRank) {
            best = it;
            bestRank = rank;
        }
    }
    Job job = std::move(*best);
    waiting_.erase(best);
    Start(std::move(job));
}

std::pair<int, uint64_t> LoginChecker::Rank(const Job& job) {
    // Each account its share too, and the names without one a single share between them: a
    // flood of made-up names, each from a fresh address, looks like nothing else but that,
    // and must not take the turns of first logins to accounts. One such check waiting ranks
    // as one for an account does, so a lone attempt tells nothing of whether its name exists.
    const auto sameShare = [&](const Job& other) {
        return &other != &job && other.account == job.account &&
               (!job.account || other.user == job.user);
    };
    const auto others = std::count_if(waiting_.begin(), waiting_.end(), sameShare);
    return {throttle_.Look(job.address, job.user, LoginThrottle::Clock::now()).standing +
                static_cast<int>(others),
            job.arrival};
}

HashCheck LoginChecker::CheckDigest(const std::string& user, const ProxyAccount& account,
                                    const std::string& password) {
    if (!account.digest) {
        LogOnce('d', user,
                "account \"" + user +
                    "\" cannot log in: its stored password digest "
                    "is not a number");
        return HashCheck::kUnusable;
    }
    LogOnce('w', user,
            "account \"" + user +
                "\" has no strong password hash: its logins are "
                "checked by the 31-bit digest alone until its "
                "password is set again in the console");
    return PasswordDigest(password) == *account.digest ? HashCheck::kMatch : HashCheck::kMismatch;
}

void LoginChecker::LogOnce(char kind, const std::string& user, const std::string& text) {
    if (logged_.insert(kind + user).second) LOG(WARNING) << text;
}
