#include "server/DatabaseWorker.h"

#include <glog/logging.h>
#include <pthread.h>

#include <chrono>
#include <ctime>
#include <set>
#include <thread>

#include "Common/AccountDays.h"

namespace {

// A batch is written once this many rows wait, or this long after its first row came.
constexpr size_t kBatchRows = 2000;
constexpr auto kBatchDelay = std::chrono::milliseconds(200);
// Rows inserted between pauses of the writer (about 0.3 ms of work).
constexpr size_t kRowsPerTurn = 256;

// Keeps the newest `maxRows` rows; rowids grow with every insert, and nothing but this
// trimming deletes rows, so the oldest rows are those below the newest rowid less the limit.
void Trim(CppSQLite3DB& db, const char* table, int64_t maxRows) {
    const std::string sql = std::string("delete from ") + table +
                            " where rowid <= (select max(rowid) from " + table + ") - ?";
    db.execDML(sql.c_str(), {std::to_string(maxRows)});
}

size_t TextBytes(const AccessRecord& row) {
    return sizeof row + row.user.size() + row.url.size() + row.ipv6.size();
}
size_t TextBytes(const AlarmRecord& row) {
    return sizeof row + row.source.size() + row.message.size();
}
// A write of accounts' bytes that failed is tried again after this long.
constexpr auto kTrafficRetry = std::chrono::seconds(1);

int64_t Pragma(CppSQLite3DB& db, const char* name) {
    return db.execQuery((std::string("pragma ") + name).c_str()).getInt64Field(0);
}

}  // namespace

DatabaseWorker::DatabaseWorker(DatabaseOptions options)
    : options_(std::move(options)), thread_([this] { Run(); }) {
    Submit([this] {
        UseDatabase(
            [this](CppSQLite3DB& db) {
                alarmCount_ = db.execQuery("select count(*) from alarms").getInt64Field(0);
            },
            DbFailure::kLogError, options_);
    });
}

DatabaseWorker::~DatabaseWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

template <class Row>
void DatabaseWorker::Queue(std::vector<Row>& rows, Row row, std::atomic<uint64_t>& dropped) {
    size_t pending;
    const size_t bytes = TextBytes(row);
    {
        std::lock_guard lock(mutex_);
        pending = Pending();
        if (pending >= kMaxPendingRows || pendingBytes_ + bytes > kMaxPendingBytes) {
            ++dropped;
            return;
        }
        rows.push_back(std::move(row));
        pendingBytes_ += bytes;
        ++pending;
    }
    // The worker needs waking only to start a batch or to write a full one; it lets the rows
    // between gather (a wake per row would cost the event loop a system call per request).
    if (pending == 1 || pending == kBatchRows) wake_.notify_one();
}

void DatabaseWorker::Record(AccessRecord record) {
    Queue(history_, std::move(record), droppedHistory_);
}
void DatabaseWorker::Record(AlarmRecord record) {
    Queue(alarms_, std::move(record), droppedAlarms_);
}
void DatabaseWorker::Record(TrafficRecord record) {
    bool first;
    {
        std::lock_guard lock(mutex_);
        first = traffic_.empty();
        traffic_[{record.account, std::move(record.month), std::move(record.day)}] +=
            TrafficCounts{record.bytes, record.bytesUp, record.bytesDown};
    }
    if (first) wake_.notify_one();
}

void DatabaseWorker::Submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        ++queued_;
    }
    wake_.notify_one();
}

void DatabaseWorker::Flush() {
    std::unique_lock lock(mutex_);
    jobs_.push_back([] {});  // written rows come before any job that follows them
    const uint64_t target = ++queued_;
    wake_.notify_one();
    idle_.wait(lock, [&] { return written_ >= target; });
}

void DatabaseWorker::SetRetention(int64_t historyMaxRows, int64_t alarmsMaxRows, int64_t maxBytes) {
    historyMaxRows_ = historyMaxRows;
    alarmsMaxRows_ = alarmsMaxRows;
    maxBytes_ = maxBytes;
}

void DatabaseWorker::Run() {
    // Named, so that top -H, perf and bench/server/cpu-waits tell it from the event loop.
    pthread_setname_np(pthread_self(), "torvo-db");
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!stopping_ && jobs_.empty() && !Writable()) {
            if (traffic_.empty()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, retryAt_);
            }
        }
        // Let a batch gather, unless a job or the end is waiting for it.
        if (jobs_.empty() && !stopping_ && Pending() < kBatchRows) {
            wake_.wait_for(lock, kBatchDelay,
                           [&] { return stopping_ || !jobs_.empty() || Pending() >= kBatchRows; });
        }
        std::vector<AccessRecord> history;
        std::vector<AlarmRecord> alarms;
        Traffic traffic;
        history.swap(history_);
        alarms.swap(alarms_);
        traffic.swap(traffic_);
        pendingBytes_ = 0;
        std::deque<std::function<void()>> jobs;
        jobs.swap(jobs_);
        const bool stop = stopping_;
        lock.unlock();
        const bool stored = (history.empty() && alarms.empty() && traffic.empty()) ||
                            Write(history, alarms, traffic);
        for (auto& job : jobs) job();
        lock.lock();
        if (!stored && !traffic.empty()) {
            if (stop) {
                uint64_t bytes = 0;
                for (const auto& [key, counts] : traffic) bytes += counts.month;
                droppedTrafficBytes_ += bytes;
                LOG(ERROR) << "the server stops with " << bytes
                           << " bytes of accounts' traffic not stored";
            } else {
                // Kept (with what came meanwhile) and tried again.
                for (auto& [key, count] : traffic) traffic_[key] += count;
                retryAt_ = Clock::now() + kTrafficRetry;
            }
        }
        written_ += jobs.size();
        idle_.notify_all();
        if (stop && jobs_.empty() && Pending() == 0 && (traffic_.empty() || !stored)) return;
    }
}

bool DatabaseWorker::Write(std::vector<AccessRecord>& history, std::vector<AlarmRecord>& alarms,
                           const Traffic& traffic) {
    const std::string firstKept = FirstKeptDay(std::time(nullptr));
    const bool ok = UseDatabase(
        [&](CppSQLite3DB& db) {
            db.execDML("begin immediate");
            // Compiled once per batch: compiling an insert costs more than running it.
            if (!history.empty()) {
                auto insert = db.prepare(
                    "insert into history (user, ip, url, time, ipv6) "
                    "values (?, ?, ?, ?, nullif(?, ''))");
                size_t inserted = 0;
                for (const auto& row : history) {
                    insert.execute({row.user, std::to_string(row.ip), row.url,
                                    std::to_string(row.time), row.ipv6});
                    // A batch is a few milliseconds of CPU, and a thread that wakes meanwhile on
                    // this CPU (the event loop, a client, an origin) would wait for the end of
                    // the writer's time slice: a short sleep now and then lets it run.
                    if (++inserted % kRowsPerTurn == 0) {
                        std::this_thread::sleep_for(std::chrono::microseconds(1));
                    }
                }
            }
            if (!alarms.empty()) {
                auto insert =
                    db.prepare("insert into alarms (source, message, time) values (?, ?, ?)");
                for (const auto& row : alarms) {
                    insert.execute({row.source, row.message, std::to_string(row.time)});
                }
            }
            const bool daysTrimmed = WriteTraffic(db, traffic, firstKept);
            if (!history.empty()) Trim(db, "history", historyMaxRows_);
            if (!alarms.empty()) Trim(db, "alarms", alarmsMaxRows_);
            const bool alarmsTrimmed = TrimToSize(db);
            db.execDML("commit");
            if (daysTrimmed) trimmedDays_ = firstKept;
            if (!alarms.empty() || alarmsTrimmed) {
                alarmCount_ = db.execQuery("select count(*) from alarms").getInt64Field(0);
            }
        },
        DbFailure::kLogError, options_);
    if (!ok) {
        droppedHistory_ += history.size();
        droppedAlarms_ += alarms.size();
        LOG(ERROR) << "dropped " << history.size() << " history and " << alarms.size()
                   << " alarm rows; the accounts' bytes (" << traffic.size()
                   << " counts) are kept and written again";
    }
    return ok;
}

bool DatabaseWorker::WriteTraffic(CppSQLite3DB& db, const Traffic& traffic,
                                  const std::string& firstKept) {
    std::set<int64_t> withDays;
    for (const auto& [key, counts] : traffic) {
        const auto& [account, month, day] = key;
        if (counts.month > 0) AddMonthTraffic(db, account, month, counts.month);
        if (counts.up > 0 || counts.down > 0) {
            AddDayTraffic(db, account, day, counts.up, counts.down);
            withDays.insert(account);
        }
    }
    if (withDays.empty()) return false;
    for (const int64_t account : withDays) TrimAccountDays(db, firstKept, account);
    if (firstKept == trimmedDays_) return false;
    TrimAccountDays(db, firstKept);
    return true;
}

// Rows deleted leave free pages that later inserts reuse, so the file stops growing near the
// limit (it is never vacuumed: that would rewrite the console's whole file).
bool DatabaseWorker::TrimToSize(CppSQLite3DB& db) {
    bool alarmsTrimmed = false;
    while ((Pragma(db, "page_count") - Pragma(db, "freelist_count")) * Pragma(db, "page_size") >
           maxBytes_) {
        bool deleted = false;
        for (const std::string table : {"history", "alarms"}) {
            const std::string sql =
                "delete from " + table +
                " where rowid < (select min(rowid) + (count(*) + 9) / 10 from " + table + ")";
            deleted = db.execDML(sql.c_str()) > 0;
            alarmsTrimmed |= deleted && table == "alarms";
            if (deleted) break;
        }
        if (!deleted) break;  // the rest is the console's own data
    }
    return alarmsTrimmed;
}
