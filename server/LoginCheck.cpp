#include "server/LoginCheck.h"

#include <glog/logging.h>

#include <algorithm>
#include <memory>

#include "Common/PasswordDigest.h"

namespace {

// A hash of a random text nobody knows: a name without an account is checked against it, so
// that such an attempt takes as long as one with a wrong password.
constexpr char kNoAccountHash[] =
    "$y$j9T$E20dxnRM30tCHyQkVMtm5.$LT0mogv47FvN1pL7KHnb2djolOVh7RjU0Hlnhjv3VdD";

}  // namespace

LoginChecker::LoginChecker(asio::io_context& io, LoginLimits limits)
    : io_(io), throttle_(limits), pool_(kThreads, kMaxWaiting) {}

asio::awaitable<LoginVerdict> LoginChecker::Check(const ServerAccount* account,
                                                  const std::string& user,
                                                  const std::string& password,
                                                  const std::string& address) {
    using Outcome = LoginThrottle::Outcome;
    const auto now = LoginThrottle::Clock::now();
    const bool known = account != nullptr;
    CredentialCache::Tag tag{};
    // Past the throttle only: a cache hit would otherwise tell a guesser the password.
    if (known && !throttle_.Blocked(address, now)) {
        tag = cache_.TagOf(user, password);
        if (cache_.Holds(user, tag)) co_return LoginVerdict{LoginResult::kGood};
        const auto found = pending_.find(user);
        if (found != pending_.end() && CredentialCache::Same(found->second->tag, tag)) {
            // The same credential is being checked: its result is this one's too.
            const std::shared_ptr<Pending> pending = found->second;
            co_await pending->done.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
            if (!pending->result) co_return LoginVerdict{LoginResult::kRefused};
            co_return LoginVerdict{*pending->result == HashCheck::kMatch ? LoginResult::kGood
                                                                         : LoginResult::kBad};
        }
    }
    if (!throttle_.Begin(address, now)) co_return LoginVerdict{LoginResult::kRefused};

    const uint64_t generation = generation_;
    std::optional<HashCheck> checked;
    if (known && account->hash.empty()) {
        checked = CheckDigest(user, *account, password);
    } else {
        const std::string hash = known ? account->hash : kNoAccountHash;
        std::shared_ptr<Pending> pending;
        if (known && !pending_.contains(user)) {
            pending = std::make_shared<Pending>(io_, tag);
            pending->done.expires_at(asio::steady_timer::time_point::max());
            pending_.emplace(user, pending);
        }
        checked = co_await CheckOnPool(hash, password);
        if (pending) {
            pending->result = checked;
            pending->done.cancel();
            pending_.erase(user);
        }
        if (checked == HashCheck::kUnusable && known) {
            LogOnce('h', user,
                    "account \"" + user +
                        "\" cannot log in: its stored password hash is not one this server can "
                        "check");
        }
    }
    const auto end = LoginThrottle::Clock::now();
    if (!checked) {
        throttle_.Finish(address, {}, Outcome::kUnchecked, end);
        co_return LoginVerdict{LoginResult::kRefused};
    }
    const bool good = known && *checked == HashCheck::kMatch;
    if (good && generation == generation_) cache_.Remember(user, cache_.TagOf(user, password));
    const auto blocked = throttle_.Finish(address, known ? user : std::string(),
                                          good ? Outcome::kGood : Outcome::kBad, end);
    co_return LoginVerdict{good ? LoginResult::kGood : LoginResult::kBad, blocked};
}

void LoginChecker::Forget() {
    cache_.Clear();
    ++generation_;
}

asio::awaitable<std::optional<HashCheck>> LoginChecker::CheckOnPool(const std::string& hash,
                                                                    const std::string& password) {
    auto initiate = [&](auto handler) {
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        // Tracked: the loop does not run out while a check is under way.
        auto loop = asio::prefer(io_.get_executor(), asio::execution::outstanding_work.tracked);
        const bool queued = pool_.TrySubmit([this, shared, loop, hash, password] {
            std::optional<HashCheck> result;
            if (!stopping_) result = CheckPasswordHash(hash, password);
            asio::post(loop, [shared, result] { (*shared)(result); });
        });
        if (!queued) asio::post(loop, [shared] { (*shared)(std::nullopt); });
    };
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable),
                                            void(std::optional<HashCheck>)>(initiate,
                                                                            asio::use_awaitable);
}

HashCheck LoginChecker::CheckDigest(const std::string& user, const ServerAccount& account,
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

std::string ThrottleKey(const std::string& clientIp) {
    if (clientIp.find(':') == std::string::npos) return clientIp;
    asio::error_code error;
    const auto address = asio::ip::make_address_v6(clientIp, error);
    if (error) return clientIp;
    auto bytes = address.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}
