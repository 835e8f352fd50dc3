#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "Common/Database.h"
#include "server/AccountMeter.h"

struct AccessRecord {
    std::string user;
    uint32_t ip = 0;   // IPv4 address, first octet most significant; 0 for IPv6 clients
    std::string ipv6;  // an IPv6 client's address as text; empty for IPv4 clients
    std::string url;
    int64_t time = 0;  // Unix time, seconds
};

struct AlarmRecord {
    std::string source;
    std::string message;
    int64_t time = 0;
};

// The server's one thread for main.db, so that proxying never waits on the database: rows
// (and each account's bytes of the month) are queued by the event loop and written in batches (one
// transaction per batch, inside the database lock, as every user of main.db does), old rows beyond
// the retention limits are dropped, and other database work runs here as jobs. History and
// alarm rows are bounded and dropped (counted) when main.db cannot take them; the accounts'
// bytes, which quotas count, are never dropped with them: they are summed per account and
// month (a record as small as the accounts), kept until a write stores them, and retried.
class DatabaseWorker {
public:
    // Rows waiting beyond this many, or beyond this many bytes of text, are dropped (and
    // counted) rather than held in memory while main.db is busy or locked.
    static constexpr size_t kMaxPendingRows = 200000;
    static constexpr size_t kMaxPendingBytes = 32u << 20;

    explicit DatabaseWorker(DatabaseOptions options = {});
    // Writes what is queued, then ends the thread.
    ~DatabaseWorker();
    DatabaseWorker(const DatabaseWorker&) = delete;
    DatabaseWorker& operator=(const DatabaseWorker&) = delete;

    void Record(AccessRecord record);
    void Record(AlarmRecord record);
    void Record(TrafficRecord record);  // added to the account's month and day; never dropped
    // Runs `job` on the worker thread, in order with the writes.
    void Submit(std::function<void()> job);
    // Waits until everything queued so far is written (tests, shutdown).
    void Flush();

    // Rows kept in history and alarms, and the most bytes main.db's pages in use may hold
    // (beyond them the oldest tenth of history, or of alarms once history is empty, goes).
    void SetRetention(int64_t historyMaxRows, int64_t alarmsMaxRows, int64_t maxBytes);
    // Rows in `alarms` after the last write (read at start too).
    int64_t AlarmCount() const { return alarmCount_.load(); }
    // What never reached main.db (the queue was full or the write failed): history and alarm
    // rows, and accounts' bytes (only those a failing write held when the server stopped).
    uint64_t DroppedHistory() const { return droppedHistory_.load(); }
    uint64_t DroppedAlarms() const { return droppedAlarms_.load(); }
    uint64_t DroppedTrafficBytes() const { return droppedTrafficBytes_.load(); }
    uint64_t DroppedRows() const { return DroppedHistory() + DroppedAlarms(); }
    const DatabaseOptions& Options() const { return options_; }

private:
    // Bytes per account (rowid), month ("2026-12") and day ("2026-12-08"): both ways for the
    // month, each way for the day.
    struct TrafficCounts {
        uint64_t month = 0;
        uint64_t up = 0;
        uint64_t down = 0;
        TrafficCounts& operator+=(const TrafficCounts& other) {
            month += other.month;
            up += other.up;
            down += other.down;
            return *this;
        }
    };
    using Traffic = std::map<std::tuple<int64_t, std::string, std::string>, TrafficCounts>;
    using Clock = std::chrono::steady_clock;

    template <class Row>
    void Queue(std::vector<Row>& rows, Row row, std::atomic<uint64_t>& dropped);
    void Run();
    size_t Pending() const { return history_.size() + alarms_.size(); }
    // Something to write now: rows, or bytes whose last write failed long enough ago.
    bool Writable() const {
        return Pending() > 0 || (!traffic_.empty() && Clock::now() >= retryAt_);
    }
    // True when the batch was stored; else the rows are counted dropped and the bytes are
    // the caller's to keep.
    bool Write(std::vector<AccessRecord>& history, std::vector<AlarmRecord>& alarms,
               const Traffic& traffic);
    bool TrimToSize(CppSQLite3DB& db);  // true when alarms were deleted
    // Adds the accounts' bytes to their months and days. The days before `firstKept` go, of
    // each account written here, and of every account once a day: true when that was done.
    bool WriteTraffic(CppSQLite3DB& db, const Traffic& traffic, const std::string& firstKept);

    DatabaseOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<AccessRecord> history_;
    std::vector<AlarmRecord> alarms_;
    Traffic traffic_;
    Clock::time_point retryAt_{};  // a failed write of bytes is tried again from then on
    std::string trimmedDays_;      // the first day kept when every account's days were trimmed
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    size_t pendingBytes_ = 0;
    uint64_t queued_ = 0;  // batches handed in / written, for Flush
    uint64_t written_ = 0;
    std::atomic<int64_t> historyMaxRows_{1000000};
    std::atomic<int64_t> alarmsMaxRows_{100000};
    std::atomic<int64_t> maxBytes_{int64_t{512} << 20};
    std::atomic<int64_t> alarmCount_{0};
    std::atomic<uint64_t> droppedHistory_{0};
    std::atomic<uint64_t> droppedAlarms_{0};
    std::atomic<uint64_t> droppedTrafficBytes_{0};
    std::thread thread_;  // last: starts after everything above exists
};
