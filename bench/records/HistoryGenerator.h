#pragma once
// A generated access history of 1 000 000 rows in a temporary main.db, made once per run:
// 200 users (one of them anonymous), 5 000 client addresses, URLs of 20 to 120 bytes (HTTPS
// tunnels as "host:443", plain HTTP with a path), a few accesses per second.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace bench {

constexpr int kRows = 1'000'000;
constexpr int kUsers = 200;
constexpr int kAddresses = 5'000;
constexpr int kHosts = 3'000;

// Resident memory of this process, from /proc/self/statm.
inline int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A URL of `length` bytes (20..120): most are HTTPS tunnels ("host:443"), padded with a path
// for plain HTTP ones, as a proxy records them.
inline std::string MakeUrl(std::mt19937& random, const std::vector<std::string>& hosts) {
    static const char kPathChars[] = "abcdefghijklmnopqrstuvwxyz0123456789/-_.?=&";
    const std::string& host = hosts[random() % hosts.size()];
    const size_t length = 20 + random() % 101;
    std::string url = (random() % 3 == 0) ? host + ":443" : "http://" + host + "/";
    while (url.size() < length) url += kPathChars[random() % (sizeof kPathChars - 1)];
    url.resize(std::max<size_t>(20, std::min(url.size(), length)));
    return url;
}

class HistoryDb {
public:
    HistoryDb() { Generate(); }

    const std::string& path() const { return path_; }
    // The bytes of the rows' own fields: rowid, user, address, URL and time.
    int64_t FieldBytes() const { return fieldBytes_; }

private:
    void Generate() {
        std::mt19937 random(2026);
        std::vector<std::string> users, hosts;
        for (int i = 0; i < kUsers; ++i) users.push_back("user" + std::to_string(1000 + i * 37));
        users[0] = "";  // anonymous clients
        for (int i = 0; i < kHosts; ++i) {
            static const char* kTlds[] = {".com", ".net", ".org", ".cn", ".io"};
            hosts.push_back((i % 4 == 0   ? "www."
                             : i % 4 == 1 ? "cdn" + std::to_string(i % 9) + "."
                                          : std::string()) +
                            "site" + std::to_string(i * 7919 % 100000) + kTlds[i % 5]);
        }
        std::vector<uint32_t> addresses;
        for (int i = 0; i < kAddresses; ++i) addresses.push_back(0xC0A80000u + random() % 0x30000);

        sqlite3* db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        sqlite3_exec(
            db,
            "create table history (user text, ip integer, url text, time integer, ipv6 text);"
            "begin",
            nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into history (user, ip, url, time) values (?, ?, ?, ?)", -1,
                           &insert, nullptr);
        int64_t time = 1'760'000'000;
        for (int i = 0; i < kRows; ++i) {
            const std::string& user = users[random() % users.size()];
            const std::string url = MakeUrl(random, hosts);
            time += random() % 3;  // written as they happen: a few accesses per second
            sqlite3_bind_text(insert, 1, user.data(), static_cast<int>(user.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, static_cast<int32_t>(addresses[random() % kAddresses]));
            sqlite3_bind_text(insert, 3, url.data(), static_cast<int>(url.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 4, time);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            fieldBytes_ += 8 + static_cast<int64_t>(user.size()) + 4 + url.size() + 8;
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    ScratchDir dir_;
    std::string path_ = dir_.path() + "/main.db";
    int64_t fieldBytes_ = 0;
};

inline const HistoryDb& Db() {
    static const HistoryDb db;
    return db;
}

}  // namespace bench
