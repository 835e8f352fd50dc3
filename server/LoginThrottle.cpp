#include "server/LoginThrottle.h"

#include <algorithm>

namespace {

// Names are kept cut to this length: an HTTP client may send one of kilobytes, and names that
// share their first 256 bytes only share their throttle.
constexpr size_t kKeptName = 256;

std::chrono::milliseconds Remaining(LoginThrottle::Time until, LoginThrottle::Time now) {
    return std::chrono::ceil<std::chrono::milliseconds>(until - now);
}

}  // namespace

std::string LoginThrottle::PairKey(const std::string& address, const std::string& name) {
    // An address text holds no line feed, so the split is unambiguous.
    return address + '\n' + name.substr(0, kKeptName);
}

LoginThrottle::Gate LoginThrottle::Look(const std::string& address, const std::string& name,
                                        Time now) {
    Gate gate;
    gate.standing = UnderAttack(name, now) ? 1 : 0;
    if (Entry* pair = Find(pairs_, PairKey(address, name), now, false)) {
        gate.standing += pair->failures;
        gate.pairBlocked = now < pair->blockedUntil;
        if (gate.pairBlocked) gate.wait = Remaining(pair->blockedUntil, now);
    }
    if (Entry* from = Find(addresses_, address, now, false)) {
        gate.addressBlocked = now < from->blockedUntil;
        if (gate.addressBlocked)
            gate.wait = std::max(gate.wait, Remaining(from->blockedUntil, now));
        gate.standing += from->failures + from->unchecked + from->inFlight;
    }
    return gate;
}

bool LoginThrottle::Begin(const std::string& address, Time now) {
    Entry* from = Find(addresses_, address, now, true);
    if (from == nullptr) return false;  // every remembered entry is still needed
    from->lastSeen = now;
    if (from->inFlight >= limits_.inFlightPerAddress) {
        CountUnchecked(*from, now);
        return false;
    }
    ++from->inFlight;
    return true;
}

std::chrono::milliseconds LoginThrottle::Finish(const std::string& address, const std::string& name,
                                                Outcome outcome, Time now) {
    const auto found = addresses_.find(address);
    if (found == addresses_.end()) return {};
    Entry& from = found->second;
    // Still under way while the pair is found: making room for it cannot drop `from`.
    std::chrono::milliseconds block{0};
    if (outcome == Outcome::kBad) {
        CountName(name, now);
        if (Entry* pair = Find(pairs_, PairKey(address, name), now, true)) {
            const bool attacked = UnderAttack(name, now);
            block = Fail(*pair, attacked ? limits_.allowanceUnderAttack : limits_.allowance, now);
        }
    }
    from.inFlight = std::max(0, from.inFlight - 1);
    if (outcome == Outcome::kUnchecked) {
        CountUnchecked(from, now);
        return {};
    }
    if (outcome == Outcome::kBad) return std::max(block, Fail(from, limits_.addressAllowance, now));
    pairs_.erase(PairKey(address, name));  // the user got it right after all
    from.unchecked = 0;                    // and those refused meanwhile were no guessers
    // Nothing to remember of an address that has not failed.
    if (from.failures == 0 && from.inFlight == 0) addresses_.erase(found);
    return {};
}

std::chrono::milliseconds LoginThrottle::Refused(const std::string& address,
                                                 const std::string& name, Time now) {
    Entry* pair = Find(pairs_, PairKey(address, name), now, true);
    if (pair == nullptr) return {};
    return Fail(*pair, UnderAttack(name, now) ? limits_.allowanceUnderAttack : limits_.allowance,
                now);
}

LoginThrottle::Entry* LoginThrottle::Find(Table& table, const std::string& key, Time now,
                                          bool make) {
    auto found = table.find(key);
    if (found == table.end()) {
        if (!make) return nullptr;
        if (table.size() >= limits_.maxEntries && !MakeRoom(table, now)) return nullptr;
        found = table.emplace(key, Entry{}).first;
        found->second.lastSeen = now;
    }
    Forget(found->second, now);
    return &found->second;
}

std::chrono::milliseconds LoginThrottle::Fail(Entry& entry, int allowance, Time now) const {
    Forget(entry, now);
    entry.lastFailure = entry.lastSeen = now;
    if (++entry.failures <= allowance) return {};
    // 1 s for the first failure past the allowance, doubling with each one after it, capped.
    const int beyond = entry.failures - allowance;
    const auto block =
        std::min(limits_.firstBlock * (int64_t{1} << std::min(beyond - 1, 20)), limits_.maxBlock);
    entry.blockedUntil = std::max(entry.blockedUntil, now + block);
    return block;
}

void LoginThrottle::Forget(Entry& entry, Time now) const {
    if (entry.failures > 0 && now - entry.lastFailure >= limits_.forgetAfter) entry.failures = 0;
    if (entry.unchecked > 0 && now - entry.lastUnchecked >= limits_.forgetAfter) {
        entry.unchecked = 0;
    }
}

void LoginThrottle::CountUnchecked(Entry& entry, Time now) const {
    Forget(entry, now);
    ++entry.unchecked;
    entry.lastUnchecked = entry.lastSeen = now;
}

bool LoginThrottle::UnderAttack(const std::string& name, Time now) const {
    const auto found = names_.find(name.substr(0, kKeptName));
    return found != names_.end() && now - found->second.lastFailure < limits_.forgetAfter &&
           found->second.failures > limits_.accountUnderAttack;
}

void LoginThrottle::CountName(const std::string& name, Time now) {
    const std::string key = name.substr(0, kKeptName);
    if (!names_.contains(key) && names_.size() >= limits_.maxNames) {
        // The name failed on longest ago makes room; a name under attack keeps failing.
        names_.erase(
            std::min_element(names_.begin(), names_.end(), [](const auto& a, const auto& b) {
                return a.second.lastFailure < b.second.lastFailure;
            }));
    }
    NameState& state = names_[key];
    if (now - state.lastFailure >= limits_.forgetAfter) state.failures = 0;
    state.lastFailure = now;
    ++state.failures;
}

bool LoginThrottle::MakeRoom(Table& table, Time now) {
    const auto needed = [&](const Entry& entry) {
        return entry.inFlight > 0 || now < entry.blockedUntil;
    };
    std::erase_if(table, [&](const auto& entry) {
        return !needed(entry.second) && now - entry.second.lastFailure >= limits_.forgetAfter;
    });
    if (table.size() < limits_.maxEntries) return true;
    auto quietest = table.end();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (!needed(it->second) &&
            (quietest == table.end() || it->second.lastSeen < quietest->second.lastSeen)) {
            quietest = it;
        }
    }
    if (quietest == table.end()) return false;
    table.erase(quietest);
    return true;
}
