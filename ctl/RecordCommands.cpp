// alarms, history: the records the server writes, filtered, as text, JSON or CSV.
#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "Common/Csv.h"
#include "Common/Database.h"
#include "Common/RecordText.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "ctl/Times.h"

namespace {

// One record: its time and the texts its columns show, in the console's column order.
struct Record {
    int64_t time = 0;
    std::vector<std::string> cells;
    std::vector<std::string> fields;  // stored values for JSON, in the order of the keys
};

struct RecordKind {
    const char* table;
    std::vector<int> headers;       // string ids
    std::vector<const char*> keys;  // JSON keys of `fields`
};

int64_t TimeOf(const std::string& text, bool endOfDay) {
    const std::optional<int64_t> time = ParseTime(text, endOfDay);
    if (!time) Refuse(res::IDS_CTL_BAD_TIME, {text});
    return *time;
}

// The history rows of one client address. The server stores an IPv6 client's address as
// inet_ntop writes it ("2001:db8::1"; a link-local one with its zone, "fe80::1%eth0"), so any
// way of writing it finds the same rows, and IPv4-mapped ones as IPv4.
std::string AddressCondition(const std::string& ip) {
    in_addr address{};
    in6_addr address6{};
    char text[INET6_ADDRSTRLEN];
    const bool v6 = inet_pton(AF_INET6, ip.c_str(), &address6) == 1;
    if (v6 && IN6_IS_ADDR_V4MAPPED(&address6)) {
        std::memcpy(&address, address6.s6_addr + 12, sizeof address);
    } else if (v6 && inet_ntop(AF_INET6, &address6, text, sizeof text) != nullptr) {
        // The text is hex digits, dots and colons: nothing to quote.
        const std::string canonical = text;
        return " and (ipv6 = '" + canonical + "' or substr(ipv6, 1, " +
               std::to_string(canonical.size() + 1) + ") = '" + canonical + "%')";
    } else if (inet_pton(AF_INET, ip.c_str(), &address) != 1) {
        Refuse(res::IDS_NETWORK_NOT_ADDRESS, {"1", ip});
    }
    return " and (ip & 4294967295) = " + std::to_string(ntohl(address.s_addr)) +
           " and ipv6 is null";
}

// The SQL condition of the filter's times, user and address.
std::string Condition(const RecordFilter& filter, bool history) {
    std::string where = "1";
    if (filter.since) where += " and time >= " + std::to_string(TimeOf(*filter.since, false));
    if (filter.until) {
        const bool day = filter.until->size() == 10;
        where +=
            (day ? " and time < " : " and time <= ") + std::to_string(TimeOf(*filter.until, day));
    }
    if (history && filter.ip) where += AddressCondition(*filter.ip);
    if (history && filter.user) where += " and user = ?";
    return where;
}

size_t Limit(const RecordFilter& filter) {
    if (!filter.limit) return SIZE_MAX;
    size_t limit = 0;
    const std::string& text = *filter.limit;
    const char* end = text.data() + text.size();
    if (std::from_chars(text.data(), end, limit).ptr != end || text.empty() || limit < 1)
        Refuse(res::IDS_CTL_BAD_AMOUNT, {"--limit", std::to_string(SIZE_MAX)});
    return limit;
}

// Reads the matching records, newest first, under the database lock; printing waits until
// the lock is released, so a slow reader never holds up the server's writes.
std::vector<Record> Read(const RecordKind& kind, const RecordFilter& filter, bool history) {
    const std::string where = Condition(filter, history);
    const size_t limit = Limit(filter);
    const std::string folded = FoldFilter(filter.grep.value_or(""));
    const std::string sql = history ? "select user, ip, url, time, ipv6 from history where " +
                                          where + " order by time desc, rowid desc"
                                    : "select source, message, time from alarms where " + where +
                                          " order by time desc, rowid desc";
    std::vector<Record> records;
    const bool read = UseDatabase(
        [&](CppSQLite3DB& db) {
            CppSQLite3Query query = history && filter.user
                                        ? db.execQuery(sql.c_str(), {*filter.user})
                                        : db.execQuery(sql.c_str());
            TimeTextWriter times;
            for (; !query.eof() && records.size() < limit; query.nextRow()) {
                Record record;
                std::string when;
                if (history) {
                    record.time = query.getInt64Field(3);
                    times.Append(record.time, when);
                    std::string address;
                    AppendClientAddress(static_cast<uint32_t>(query.getInt64Field(1)),
                                        query.getStringField(4), address);
                    record.cells = {query.getStringField(0), address, query.getStringField(2),
                                    when};
                    record.fields = {query.getStringField(0), address, query.getStringField(2)};
                } else {
                    record.time = query.getInt64Field(2);
                    times.Append(record.time, when);
                    record.cells = {when, query.getStringField(0), query.getStringField(1)};
                    record.fields = {query.getStringField(0), query.getStringField(1)};
                }
                const bool shown =
                    folded.empty() || std::any_of(record.cells.begin(), record.cells.end(),
                                                  [&folded](const std::string& cell) {
                                                      return ContainsFolded(cell, folded);
                                                  });
                if (shown) records.push_back(std::move(record));
            }
        },
        DbFailure::kLogError);
    if (!read) Refuse(res::IDS_CTL_DB_UNUSABLE, {kind.table, "read failed"});
    return records;
}

void Print(const RecordKind& kind, const RecordFilter& filter, bool history) {
    const std::vector<Record> records = Read(kind, filter, history);
    std::vector<std::string> headers;
    for (const int id : kind.headers) headers.push_back(Text(id));
    if (Options().json) {
        Json::Value list(Json::arrayValue);
        for (const Record& record : records) {
            Json::Value item(Json::objectValue);
            item["time"] = Json::Int64(record.time);
            item["time_text"] = TimeText(record.time);
            for (size_t i = 0; i < kind.keys.size(); ++i) item[kind.keys[i]] = record.fields[i];
            list.append(item);
        }
        PrintJson(list);
    } else if (filter.csv) {
        // As the console's export writes it: RFC 4180, CRLF, formula-looking cells made text.
        std::string out;
        const auto line = [&out](const std::vector<std::string>& cells) {
            for (size_t i = 0; i < cells.size(); ++i) {
                if (i > 0) out += ',';
                AppendCsvField(cells[i], out);
            }
            out += "\r\n";
        };
        line(headers);
        for (const Record& record : records) line(record.cells);
        std::cout << out;
    } else {
        std::vector<std::vector<std::string>> rows;
        rows.reserve(records.size());
        for (const Record& record : records) rows.push_back(record.cells);
        PrintTable(headers, rows);
    }
}

}  // namespace

void ListAlarms(const RecordFilter& filter) {
    static const RecordKind kAlarms{"alarms",
                                    {res::IDS_COL_TIME, res::IDS_COL_SOURCE, res::IDS_COL_MESSAGE},
                                    {"source", "message"}};
    Print(kAlarms, filter, false);
}

void ListHistory(const RecordFilter& filter) {
    static const RecordKind kHistory{
        "history",
        {res::IDS_COL_USER, res::IDS_COL_SOURCE, res::IDS_COL_HOST, res::IDS_COL_TIME},
        {"user", "ip", "url"}};
    Print(kHistory, filter, true);
}
