#include "server/LoginThrottle.h"

#include <algorithm>

bool LoginThrottle::Begin(const std::string& address, Time now) {
    auto found = addresses_.find(address);
    if (found == addresses_.end()) {
        if (addresses_.size() >= limits_.maxAddresses) MakeRoom(now);
        if (addresses_.size() >= limits_.maxAddresses) return false;  // all busy checking
        found = addresses_.emplace(address, AddressState{}).first;
    }
    AddressState& state = found->second;
    Forget(state, now);
    state.lastSeen = now;
    if (now < state.blockedUntil) {
        Fail(state, limits_.allowance, now);
        return false;
    }
    if (state.inFlight >= limits_.inFlightPerAddress) return false;
    ++state.inFlight;
    return true;
}

std::chrono::milliseconds LoginThrottle::Finish(const std::string& address,
                                                const std::string& account, Outcome outcome,
                                                Time now) {
    const auto found = addresses_.find(address);
    if (found == addresses_.end()) return {};
    AddressState& state = found->second;
    state.inFlight = std::max(0, state.inFlight - 1);
    if (outcome != Outcome::kBad) {
        // Nothing to remember of an address that has not failed.
        if (state.failures == 0 && state.inFlight == 0) addresses_.erase(found);
        return {};
    }
    int allowance = limits_.allowance;
    if (!account.empty()) {
        AccountState& target = accounts_[account];
        if (now - target.lastFailure >= limits_.forgetAfter) target.failures = 0;
        target.lastFailure = now;
        if (++target.failures > limits_.accountUnderAttack)
            allowance = limits_.allowanceUnderAttack;
    }
    Forget(state, now);
    return Fail(state, allowance, now);
}

bool LoginThrottle::Blocked(const std::string& address, Time now) const {
    const auto found = addresses_.find(address);
    return found != addresses_.end() && now < found->second.blockedUntil;
}

std::chrono::milliseconds LoginThrottle::Fail(AddressState& state, int allowance, Time now) const {
    state.lastFailure = now;
    if (++state.failures <= allowance) return {};
    // 1 s for the first failure past the allowance, doubling with each one after it, capped.
    const int beyond = state.failures - allowance;
    const auto block =
        std::min(limits_.firstBlock * (int64_t{1} << std::min(beyond - 1, 20)), limits_.maxBlock);
    state.blockedUntil = std::max(state.blockedUntil, now + block);
    return block;
}

void LoginThrottle::Forget(AddressState& state, Time now) const {
    if (state.failures > 0 && now - state.lastFailure >= limits_.forgetAfter) state.failures = 0;
}

void LoginThrottle::MakeRoom(Time now) {
    std::erase_if(addresses_, [&](const auto& entry) {
        const AddressState& state = entry.second;
        return state.inFlight == 0 && now >= state.blockedUntil &&
               now - state.lastFailure >= limits_.forgetAfter;
    });
    if (addresses_.size() < limits_.maxAddresses) return;
    auto quietest = addresses_.end();
    for (auto it = addresses_.begin(); it != addresses_.end(); ++it) {
        if (it->second.inFlight == 0 &&
            (quietest == addresses_.end() || it->second.lastSeen < quietest->second.lastSeen)) {
            quietest = it;
        }
    }
    if (quietest != addresses_.end()) addresses_.erase(quietest);
}
