#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Common/AccountLimits.h"
#include "server/metrics/ServerMetrics.h"

struct ServerSettings;

// Why an account may not be used now: StateOf (Common/AccountLimits.h) decides, for the
// server's logins and sessions as for the console's list.
enum class AccountRefusal { kNone, kDisabled, kExpired, kQuotaUsed };

// What one account has moved this month and may move, shared by all its sessions, which may
// run on several threads: counting is one atomic addition, the limits are atomics, and only
// the bandwidth bucket (of accounts that have a bandwidth) takes a lock.
class AccountMeter {
public:
    using Clock = std::chrono::steady_clock;

    AccountMeter(int64_t rowid, uint64_t usedThisMonth) : rowid_(rowid), used_(usedThisMonth) {}

    int64_t Rowid() const { return rowid_; }
    void SetLimits(const std::string& name, const AccountLimits& limits);
    std::string Name() const;

    // Counts bytes moved; true once the month's traffic is used up.
    bool Add(uint64_t bytes, metrics::Direction direction) {
        (direction == metrics::Direction::kUpload ? up_ : down_)
            .fetch_add(bytes, std::memory_order_relaxed);
        const uint64_t used = used_.fetch_add(bytes, std::memory_order_relaxed) + bytes;
        return used >= quota_.load(std::memory_order_relaxed);
    }
    uint64_t Used() const { return used_.load(std::memory_order_relaxed); }
    AccountRefusal Refusal(int64_t nowUnix) const;
    // "is disabled", "expired after its last day 2026-12-7", "has used its monthly traffic of
    // 1.00 MB".
    std::string Describe(AccountRefusal refusal) const;
    // True when `refusal` is not the one last announced, so that each change is told once.
    bool Announce(AccountRefusal refusal);

    bool Paced() const { return rate_.load(std::memory_order_relaxed) != 0; }
    // Takes `bytes` from the bucket shared by the account's sessions: how long the mover waits
    // before moving more (nothing while the bucket holds enough).
    Clock::duration Charge(uint64_t bytes, Clock::time_point now);
    // How much a paced session reads at once: a tenth of a second's worth, within bounds.
    size_t PacedChunk() const;

    // For the writer (one thread at a time): the bytes counted since the last call, and the
    // start of a new month (the count restarts at zero; returns what the old one had unsaved).
    uint64_t TakeUnsaved();
    uint64_t StartMonth();
    // For the writer: the bytes counted each way (up, down) since the last call.
    std::pair<uint64_t, uint64_t> TakeEachWay() {
        return {up_.exchange(0, std::memory_order_relaxed),
                down_.exchange(0, std::memory_order_relaxed)};
    }

private:
    static constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

    const int64_t rowid_;
    std::atomic<uint64_t> used_;
    uint64_t saved_ = used_.load();  // the part of used_ stored in main.db
    std::atomic<uint64_t> up_{0};    // client to destination, since the writer last took it
    std::atomic<uint64_t> down_{0};  // and back
    std::atomic<bool> enabled_{true};
    std::atomic<int64_t> expires_{std::numeric_limits<int64_t>::max()};
    std::atomic<uint64_t> quota_{kNone};
    std::atomic<uint64_t> rate_{0};  // bytes per second; 0: none
    std::atomic<AccountRefusal> announced_{AccountRefusal::kNone};
    mutable std::mutex mutex_;  // the name and the bucket
    std::string name_;
    double tokens_ = 0;
    Clock::time_point refilled_{};
};

// What one account moved since the last record, to add to main.db: both ways to its month,
// each way to its day.
struct TrafficRecord {
    int64_t account = 0;
    std::string month;  // "2026-12"
    uint64_t bytes = 0;
    std::string day;  // "2026-12-08"
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
};

// The meters of all accounts, by user name; any thread may look one up.
class AccountMeters {
public:
    // Follows the accounts of freshly read settings: an account keeps its meter (by rowid)
    // with its count; a new one starts from the month's stored bytes; the limits are set.
    void Apply(const ServerSettings& settings);
    // Null for anonymous clients and unknown names.
    std::shared_ptr<AccountMeter> Find(const std::string& user) const;
    std::vector<std::shared_ptr<AccountMeter>> All() const;
    // The bytes to store since the last call, for the month and the day of the call before
    // (when they were moved); a new calendar month (at `nowUnix`) restarts every count.
    std::vector<TrafficRecord> Collect(int64_t nowUnix);

private:
    mutable std::mutex mutex_;
    std::string month_;
    std::string day_;
    std::unordered_map<std::string, std::shared_ptr<AccountMeter>> byName_;
};
