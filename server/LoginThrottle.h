#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

// The throttle's figures (docs/server.md states them).
struct LoginLimits {
    int allowance = 5;             // failures an address may have before it is blocked
    int accountUnderAttack = 20;   // an account past this many failures is under attack
    int allowanceUnderAttack = 0;  // an address's allowance when it fails on such an account
    int inFlightPerAddress = 8;    // checks of one address running or waiting at once
    std::chrono::seconds forgetAfter{15 * 60};  // failures are forgotten this long after the last
    std::chrono::milliseconds firstBlock{1000};
    std::chrono::milliseconds maxBlock{60000};
    size_t maxAddresses = 10000;
};

// Slows password guessing where it happens. Failed logins are counted per client address (an
// IPv6 client by its /64) and per account. An address gets a small allowance of failures;
// past it the address is blocked for a time that doubles with every further failure, and
// every attempt while it is blocked is refused without a check and counts as one more. An
// account with many recent failures is under attack: every address that fails on it is
// blocked from its first failure on. A right password from an address that has not failed is
// always checked, so nobody can lock an account out. Memory is bounded: the table keeps at
// most `maxAddresses` addresses and drops the quietest first.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;

    using Limits = LoginLimits;
    enum class Outcome { kGood, kBad, kUnchecked };

    explicit LoginThrottle(Limits limits = {}) : limits_(limits) {}

    // Whether a login from `address` may be checked now. A blocked address is refused (and
    // its block grows); so is one with too many checks under way. An allowed attempt is
    // counted as under way until Finish.
    bool Begin(const std::string& address, Time now);
    // The end of an attempt that Begin allowed; `account` is the user name when such an
    // account exists (else empty). Returns the block a failure started, or zero.
    std::chrono::milliseconds Finish(const std::string& address, const std::string& account,
                                     Outcome outcome, Time now);
    // Whether `address` is blocked at `now` (no attempt is counted).
    bool Blocked(const std::string& address, Time now) const;

    size_t Addresses() const { return addresses_.size(); }

private:
    struct AddressState {
        int failures = 0;
        int inFlight = 0;
        Time lastFailure{};
        Time blockedUntil{};
        Time lastSeen{};
    };
    struct AccountState {
        int failures = 0;
        Time lastFailure{};
    };
    // One more failure of `state`; blocks it when past `allowance`. The block, or zero.
    std::chrono::milliseconds Fail(AddressState& state, int allowance, Time now) const;
    void Forget(AddressState& state, Time now) const;
    // Makes room for one more address, dropping the stale ones, else the quietest.
    void MakeRoom(Time now);

    Limits limits_;
    std::unordered_map<std::string, AddressState> addresses_;
    std::unordered_map<std::string, AccountState> accounts_;  // existing accounts only
};
