#include "server/AccountMeter.h"

#include <algorithm>
#include <ctime>

#include "Common/AccountDays.h"
#include "server/ServerSettings.h"
#include "server/TrafficStats.h"

namespace {

// The bucket holds at most a second of bytes: the burst an idle account may send, and what a
// late wake-up of a busy server (or a loaded machine) catches up on.
constexpr double kBurstSeconds = 1.0;

}  // namespace

void AccountMeter::SetLimits(const std::string& name, const AccountLimits& limits) {
    {
        std::lock_guard lock(mutex_);
        name_ = name;
    }
    enabled_ = limits.enabled;
    expires_ = limits.expires.value_or(std::numeric_limits<int64_t>::max());
    quota_ = limits.monthlyBytes.value_or(kNone);
    rate_ = limits.bandwidth.value_or(0);
}

std::string AccountMeter::Name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

AccountRefusal AccountMeter::Refusal(int64_t nowUnix) const {
    // The console's rule (StateOf), so that both tell the same state of an account.
    const int64_t expires = expires_.load(std::memory_order_relaxed);
    const uint64_t quota = quota_.load(std::memory_order_relaxed);
    AccountLimits limits;
    limits.enabled = enabled_.load(std::memory_order_relaxed);
    if (expires != std::numeric_limits<int64_t>::max()) limits.expires = expires;
    if (quota != kNone) limits.monthlyBytes = quota;
    switch (StateOf(limits, Used(), nowUnix)) {
        case AccountState::kDisabled:
            return AccountRefusal::kDisabled;
        case AccountState::kExpired:
            return AccountRefusal::kExpired;
        case AccountState::kQuotaUsed:
            return AccountRefusal::kQuotaUsed;
        case AccountState::kEnabled:
            break;
    }
    return AccountRefusal::kNone;
}

std::string AccountMeter::Describe(AccountRefusal refusal) const {
    switch (refusal) {
        case AccountRefusal::kDisabled:
            return "is disabled";
        case AccountRefusal::kExpired: {
            const CalendarDay last = LastDayBeforeExpiry(expires_.load());
            return "expired after its last day " + std::to_string(last.year) + "-" +
                   std::to_string(last.month) + "-" + std::to_string(last.day);
        }
        case AccountRefusal::kQuotaUsed:
            return "has used its monthly traffic of " + FormatBytes(quota_.load());
        case AccountRefusal::kNone:
            break;
    }
    return "may be used";
}

bool AccountMeter::Announce(AccountRefusal refusal) {
    return announced_.exchange(refusal) != refusal;
}

AccountMeter::Clock::duration AccountMeter::Charge(uint64_t bytes, Clock::time_point now) {
    const double rate = static_cast<double>(rate_.load(std::memory_order_relaxed));
    if (rate <= 0) return {};
    std::lock_guard lock(mutex_);
    const double burst = rate * kBurstSeconds;
    const double idle = refilled_ == Clock::time_point{}
                            ? kBurstSeconds
                            : std::chrono::duration<double>(now - refilled_).count();
    refilled_ = now;
    // The debt may grow beyond zero: every session of the account then waits its turn, and
    // together they move `rate` bytes a second.
    tokens_ = std::min(burst, tokens_ + idle * rate) - static_cast<double>(bytes);
    if (tokens_ >= 0) return {};
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(-tokens_ / rate));
}

size_t AccountMeter::PacedChunk() const {
    const uint64_t tenth = rate_.load(std::memory_order_relaxed) / 10;
    return static_cast<size_t>(std::clamp<uint64_t>(tenth, 1024, 64 * 1024));
}

uint64_t AccountMeter::TakeUnsaved() {
    const uint64_t used = Used();
    const uint64_t unsaved = used - saved_;
    saved_ = used;
    return unsaved;
}

uint64_t AccountMeter::StartMonth() {
    const uint64_t unsaved = used_.exchange(0) - saved_;
    saved_ = 0;
    return unsaved;
}

void AccountMeters::Apply(const ServerSettings& settings) {
    std::lock_guard lock(mutex_);
    if (month_.empty()) month_ = settings.month;
    std::unordered_map<int64_t, std::shared_ptr<AccountMeter>> byRowid;
    for (auto& [name, meter] : byName_) byRowid[meter->Rowid()] = std::move(meter);
    byName_.clear();
    for (const auto& [name, account] : settings.accounts) {
        auto& meter = byRowid[account.rowid];
        const bool made = !meter;
        if (made) {
            const auto stored = settings.monthTraffic.find(account.rowid);
            const bool current = settings.month == month_ && stored != settings.monthTraffic.end();
            meter = std::make_shared<AccountMeter>(account.rowid, current ? stored->second : 0);
        }
        meter->SetLimits(name, account.limits);
        // Told only when it changes later: an account found unusable at start is no news.
        if (made) meter->Announce(meter->Refusal(std::time(nullptr)));
        byName_[name] = meter;
    }
}

std::shared_ptr<AccountMeter> AccountMeters::Find(const std::string& user) const {
    if (user.empty()) return nullptr;
    std::lock_guard lock(mutex_);
    const auto found = byName_.find(user);
    return found == byName_.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<AccountMeter>> AccountMeters::All() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<AccountMeter>> all;
    for (const auto& [name, meter] : byName_) all.push_back(meter);
    return all;
}

std::vector<TrafficRecord> AccountMeters::Collect(int64_t nowUnix) {
    std::lock_guard lock(mutex_);
    const std::string month = TrafficMonth(nowUnix);
    const std::string day = TrafficDayOf(nowUnix);
    if (day_.empty()) day_ = day;
    const bool newMonth = month != month_;
    std::vector<TrafficRecord> records;
    for (const auto& [name, meter] : byName_) {
        const uint64_t unsaved = newMonth ? meter->StartMonth() : meter->TakeUnsaved();
        const auto [up, down] = meter->TakeEachWay();
        if (unsaved > 0 || up > 0 || down > 0) {
            records.push_back({meter->Rowid(), month_, unsaved, day_, up, down});
        }
    }
    month_ = month;
    day_ = day;
    return records;
}
