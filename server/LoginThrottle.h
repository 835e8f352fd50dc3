#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

// The throttle's figures (docs/server.md states them).
struct LoginLimits {
    int allowance = 5;             // failures one address may have on one name
    int addressAllowance = 30;     // failures one address may have on all names together
    int accountUnderAttack = 20;   // a name past this many failures is under attack
    int allowanceUnderAttack = 0;  // an address's allowance on such a name
    int inFlightPerAddress = 8;    // checks of one address running or waiting at once
    std::chrono::seconds forgetAfter{15 * 60};  // failures are forgotten this long after the last
    std::chrono::milliseconds firstBlock{1000};
    std::chrono::milliseconds maxBlock{60000};
    size_t maxEntries = 10000;  // addresses remembered, and as many (address, name) pairs
    size_t maxNames = 10000;    // names remembered
};

// Slows password guessing where it happens without slowing anyone else. Failures are counted
// per (client address, user name) — the guesser — and, with a looser ceiling, per address (an
// IPv6 client by its /64): behind one NAT address, one user's typos block only that user's
// name there, and only a guesser who sprays many names blocks the address (whose users' right
// credentials checked before still pass). Past its allowance a pair or an address is blocked
// for a time that doubles with every further failure; attempts while blocked are refused
// without a check and do not lengthen it. An attempt refused for want of room (no place to wait
// for a checker, or its address has too many checks under way) is no failure: it may well
// bring a right password (many users behind one address at start-up), so it starts no block;
// it only ranks its address's later checks lower until one of them passes. A name with many recent
// failures (whether or not an account has it, so that the rule tells nothing about which names
// exist) is under attack: every address that fails on it is blocked from its first failure on. A
// right password is never a failure. Memory is bounded, and a blocked entry is never dropped to
// make room.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;

    using Limits = LoginLimits;
    enum class Outcome { kGood, kBad, kUnchecked };

    // What may happen to an attempt of `name` from `address` now.
    struct Gate {
        bool pairBlocked = false;           // refused, checked by nothing
        bool addressBlocked = false;        // only a remembered right credential passes
        std::chrono::milliseconds wait{0};  // until the block that refuses it ends
        // Lower goes first when checks wait for a thread: those from sources that have not
        // failed come before those of guessers.
        int standing = 0;
    };

    explicit LoginThrottle(Limits limits = {}) : limits_(limits) {}

    Gate Look(const std::string& address, const std::string& name, Time now);
    // Whether a check from `address` may start now (fewer than inFlightPerAddress under way,
    // room in the table); an allowed attempt is counted as under way until Finish. A refused
    // one lowers the address's standing.
    bool Begin(const std::string& address, Time now);
    // The end of an attempt that Begin allowed. A bad outcome counts against the pair, the
    // address and the name; an unchecked one (no place was free) lowers the address's
    // standing. Returns the block a failure started, or zero.
    std::chrono::milliseconds Finish(const std::string& address, const std::string& name,
                                     Outcome outcome, Time now);
    // An attempt refused without a check (its address is blocked and no remembered credential
    // matched): one more failure of its pair. Returns the block it started, or zero.
    std::chrono::milliseconds Refused(const std::string& address, const std::string& name,
                                      Time now);

    size_t Entries() const { return addresses_.size() + pairs_.size(); }

private:
    struct Entry {
        int failures = 0;
        int inFlight = 0;
        int unchecked = 0;  // attempts refused for want of room; no failures
        Time lastFailure{};
        Time lastUnchecked{};
        Time blockedUntil{};
        Time lastSeen{};
    };
    struct NameState {
        int failures = 0;
        Time lastFailure{};
    };
    static std::string PairKey(const std::string& address, const std::string& name);
    // The entry of `key`, made when missing and there is room; null when there is none.
    using Table = std::unordered_map<std::string, Entry>;
    Entry* Find(Table& table, const std::string& key, Time now, bool make);
    // One more failure of `entry`; blocks it when past `allowance`. The block, or zero.
    std::chrono::milliseconds Fail(Entry& entry, int allowance, Time now) const;
    void Forget(Entry& entry, Time now) const;
    void CountUnchecked(Entry& entry, Time now) const;
    bool UnderAttack(const std::string& name, Time now) const;
    void CountName(const std::string& name, Time now);
    // Makes room for one more entry: forgotten ones first, then the quietest that is neither
    // blocked nor under way. False when every entry is still needed.
    bool MakeRoom(Table& table, Time now);

    Limits limits_;
    // Apart, so that pairs of many names never push out what is known of an address.
    Table addresses_;
    Table pairs_;  // by "address\nname"
    std::unordered_map<std::string, NameState> names_;
};
