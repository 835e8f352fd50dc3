#pragma once
// The two record types the server writes to main.db, and how each page shows them: the query,
// the columns (header string, width, alignment, what a cell holds) and how a row is read.
#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "Common/Texts.h"
#include "ui/pages/records/TextStore.h"

enum class CellAlign { Left, Center };
enum class CellKind { Text, Time, Address };

struct ColumnLayout {
    int titleId;  // string id of the header
    int width;    // pixels
    CellAlign align;
    CellKind kind;
};

// One cell's value: a text of the row's store, a number (time), or a client's address (an
// IPv4 one as its number, an IPv6 one as its text).
struct Cell {
    CellKind kind;
    TextRef text;
    int64_t number = 0;
};

// A client's address as a history row holds it: the IPv4 number, unless the text of an IPv6
// address is there.
struct AddressValue {
    uint32_t ipv4 = 0;
    TextRef ipv6;
};

// The cell of `column` of a row whose values are given in column order; its kind is the
// column's.
template <size_t N, typename... Values>
Cell CellAt(const std::array<ColumnLayout, N>& columns, int column, const Values&... values) {
    static_assert(sizeof...(Values) == N);
    Cell cell{columns[column].kind, {}};
    const auto take = [&cell](const auto& value) {
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, TextRef>) {
            cell.text = value;
        } else if constexpr (std::is_same_v<Value, AddressValue>) {
            cell.number = value.ipv4;
            cell.text = value.ipv6;
        } else {
            cell.number = static_cast<int64_t>(value);
        }
    };
    int at = 0;
    ((at++ == column ? take(values) : void()), ...);
    return cell;
}

// One alarm: source and message, time in seconds of Unix time.
struct AlarmRow {
    TextRef source;
    TextRef message;
    int64_t time = 0;
};

// One access: the client's IPv4 address (first octet in the most significant byte) or the
// text of its IPv6 address (empty for IPv4 clients), the proxy user, the requested URL, time in
// seconds of Unix time.
struct HistoryRow {
    int64_t rowid = 0;
    int64_t time = 0;
    uint32_t address = 0;
    TextRef ipv6;
    TextRef user;
    TextRef url;
};

struct AlarmColumns {
    using Row = AlarmRow;
    static constexpr const char* kQuery =
        "select source, message, time from alarms order by time desc";
    // The newest row's id: it grows with every row the server adds.
    static constexpr const char* kNewestQuery = "select coalesce(max(rowid), 0) from alarms";
    static constexpr std::array<ColumnLayout, 3> kColumns{{
        {res::IDS_COL_TIME, 150, CellAlign::Left, CellKind::Time},
        {res::IDS_COL_SOURCE, 200, CellAlign::Center, CellKind::Text},
        {res::IDS_COL_MESSAGE, 450, CellAlign::Center, CellKind::Text},
    }};

    static Cell At(const Row& row, int column) {
        return CellAt(kColumns, column, row.time, row.source, row.message);
    }

    // Reads the current row of `query`; false when the store is full.
    template <typename Query>
    struct Reader {
        explicit Reader(const Query& query)
            : source(query.fieldIndex("source")),
              message(query.fieldIndex("message")),
              time(query.fieldIndex("time")) {}
        bool Read(const Query& query, TextStore& texts, Row& row) const {
            row.time = query.getInt64Field(time);
            return texts.Add(query.getStringField(source), row.source) &&
                   texts.Add(query.getStringField(message), row.message);
        }
        int source, message, time;
    };
};

struct HistoryColumns {
    using Row = HistoryRow;
    static constexpr const char* kQuery =
        "select rowid, user, ip, ipv6, url, time from history order by time desc";
    static constexpr const char* kNewestQuery = "select coalesce(max(rowid), 0) from history";
    static constexpr std::array<ColumnLayout, 4> kColumns{{
        {res::IDS_COL_USER, 100, CellAlign::Left, CellKind::Text},
        {res::IDS_COL_SOURCE, 200, CellAlign::Center, CellKind::Address},
        {res::IDS_COL_HOST, 300, CellAlign::Center, CellKind::Text},
        {res::IDS_COL_TIME, 200, CellAlign::Center, CellKind::Time},
    }};

    static Cell At(const Row& row, int column) {
        return CellAt(kColumns, column, row.user, AddressValue{row.address, row.ipv6}, row.url,
                      row.time);
    }

    template <typename Query>
    struct Reader {
        explicit Reader(const Query& query)
            : rowid(query.fieldIndex("rowid")),
              user(query.fieldIndex("user")),
              ip(query.fieldIndex("ip")),
              ipv6(query.fieldIndex("ipv6")),
              url(query.fieldIndex("url")),
              time(query.fieldIndex("time")) {}
        bool Read(const Query& query, TextStore& texts, Row& row) const {
            row.rowid = query.getInt64Field(rowid);
            // The column holds the address's 32-bit pattern, signed or not.
            row.address = static_cast<uint32_t>(query.getInt64Field(ip));
            row.time = query.getInt64Field(time);
            const char* v6 = query.getStringField(ipv6);  // null (IPv4 clients) reads ""
            return (*v6 == '\0' || texts.Add(v6, row.ipv6)) &&
                   texts.Add(query.getStringField(user), row.user) &&
                   texts.Add(query.getStringField(url), row.url);
        }
        int rowid, user, ip, ipv6, url, time;
    };
};
