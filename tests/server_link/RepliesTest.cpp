#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "server_link/Replies.h"
#include "server_link/ReplyFramer.h"

namespace {

const char* const kUnreadable = "unreadable";

// Each reading shown as one text, so a table row states the whole expected record.
std::string Show(uint32_t value) {
    return std::to_string(value);
}
std::string Show(const StatisticFigures& r) {
    return std::to_string(r.onlineUsers) + "|" + std::to_string(r.onlineDevices) + "|" +
           std::to_string(r.totalAlarms) + "|" + r.totalIOBytes;
}
template <typename T>
std::string Show(const std::optional<T>& reading) {
    return reading ? Show(*reading) : kUnreadable;
}

TEST(ReadStatisticAndBandwidth, FollowTheConversionRules) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"err_code":0,"err_msg":"","data":{"onlineUsers":3,"onlineDevices":7,"totalAlarms":2,)"
         R"("totalIOBytes":"12.5 GB"}})",
         "3|7|2|12.5 GB"},
        // No "err_code" is success; no "data" reads as zeros and an empty text.
        {R"({"data":{"onlineUsers":1}})", "1|0|0|"},
        // Numbers where text is read become their jsoncpp text.
        {R"({"data":{"totalIOBytes":0.5}})", "0|0|0|0.5"},
        // Booleans and fractions where integers are read.
        {R"({"data":{"onlineUsers":true,"onlineDevices":false,"totalAlarms":9.9}})", "1|0|9|"},
        {R"({"err_code":1,"data":{"onlineUsers":1}})", kUnreadable},
        {R"({"err_code":"0","data":{}})", kUnreadable},  // string where an integer is read
        {R"({"err_code":3000000000})", kUnreadable},     // beyond 32 bits
        {R"({"err_code":0,"data":[{"onlineUsers":1}]})", kUnreadable},  // "data" not an object
    };
    for (const auto& [body, shown] : cases) EXPECT_EQ(Show(ReadStatistic(body)), shown) << body;

    // The bandwidth reply's bytes are read without consulting err_code.
    EXPECT_EQ(Show(ReadBandwidth(R"({"err_code":1})")), "0");
    const std::pair<const char*, const char*> bandwidths[] = {
        {"1500", "1500"},     {"4294967295", "4294967295"}, {"2.9", "2"},
        {"-1", kUnreadable},  {"\"100\"", kUnreadable},     {"4294967296", kUnreadable},
        {"[1]", kUnreadable},
    };
    for (const auto& [bytes, shown] : bandwidths)
        EXPECT_EQ(Show(ReadBandwidth(std::string(R"({"bytes":)") + bytes + "}")), shown) << bytes;
}

// Bodies that are not JSON objects no reader takes, never fatally; nor bad envelopes of a list.
// (Rows read from good lists: MonitoringPagesTest.)
TEST(Replies, RefuseBodiesThatAreNotJsonObjectsAndBadListEnvelopes) {
    const std::string deep = "{\"data\":" + std::string(5000, '[') + std::string(5000, ']') + "}";
    for (const std::string body : {"", "not json", "{\"err_code\":0,", "[{\"ip\":\"1\"}]", "null",
                                   "42", "\"text\"", deep.c_str()}) {
        EXPECT_FALSE(ReadStatistic(body) || ReadBandwidth(body)) << body;
        EXPECT_FALSE(ReadFlowRealtime(body) || ReadFlowIp(body) || ReadFlowUser(body)) << body;
    }
    for (const char* body :
         {R"({"err_code":1,"data":[]})", R"({"err_code":"0","data":[]})",
          R"({"err_code":0})",            // "data" missing: not an array
          R"({"err_code":0,"data":{}})",  // an object, not an array
          R"({"data":"rows"})", R"({"data":[1]})", R"({"data":[{},[]]})",  // non-objects
          R"({"data":[{"ip":{},"user":{}}]})",                             // objects as text
          R"({"data":[{"total_bytes":[1]}]})"}) {
        EXPECT_FALSE(ReadFlowRealtime(body) || ReadFlowIp(body) || ReadFlowUser(body)) << body;
    }
    EXPECT_FALSE(ReadFlowRealtime(R"({"data":[{"current_connections":"3"}]})"));  // no count
    EXPECT_EQ(ReadFlowUser(R"({"err_code":0,"data":[]})")->size(), 0u);
}

TEST(ReadConnectionsClosedAndTraffic, ReadFullRangesAndRefuseWhatTheyCannotHold) {
    const auto list = ReadConnections(
        R"({"err_code":0,"total":1200,"data":[{"id":18446744073709551615,"ip":"::1","user":"",)"
        R"("protocol":"socks5","destination":"example.org:443","since":1765152000,)"
        R"("bytes_up":5000000000,"bytes_down":7,"rate":2.5}]})");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->total, 1200u);
    ASSERT_EQ(list->rows.size(), 1u);
    const ConnectionRow& row = list->rows[0];
    EXPECT_EQ(row.id, UINT64_MAX);
    EXPECT_EQ(row.ip + "|" + row.protocol + "|" + row.destination, "::1|socks5|example.org:443");
    EXPECT_EQ(row.since, 1765152000);
    EXPECT_EQ(row.bytesUp, 5000000000u);
    EXPECT_EQ(row.rate, 2u);
    // A total below the rows listed is read as the rows.
    EXPECT_EQ(ReadConnections(R"({"total":0,"data":[{"id":1}]})")->total, 1u);
    for (const char* body : {R"({"err_code":2,"total":0,"data":[]})", R"({"total":-1,"data":[]})",
                             R"({"data":[{"id":-1}]})", R"({"data":[{"bytes_up":"5"}]})",
                             R"({"data":[{"since":1.5}]})", R"({"total":1})"}) {
        EXPECT_FALSE(ReadConnections(body)) << body;
    }

    EXPECT_EQ(ReadClosed(R"({"err_code":0,"closed":3})"), 3u);
    EXPECT_FALSE(ReadClosed(R"({"err_code":1,"err_msg":"unknown command"})"));
    EXPECT_FALSE(ReadClosed("closed"));
    // The reason of a refusal, and no reason where nothing was refused.
    EXPECT_EQ(ReadRefusal(R"({"err_code":1,"err_msg":"unknown command"})"), "unknown command");
    EXPECT_EQ(ReadRefusal(R"({"err_code":3})"), "");
    for (const char* body : {R"({"err_code":0,"err_msg":"x"})", R"({"closed":1})",
                             R"({"err_code":"1","err_msg":"x"})", "unknown command"})
        EXPECT_FALSE(ReadRefusal(body)) << body;

    const auto days = ReadTraffic(
        R"({"err_code":0,"user":"bob","data":[{"day":"2026-12-07","bytes_up":1,"bytes_down":2},)"
        R"({"day":"2026-12-08","bytes_up":10000000000,"bytes_down":0}]})");
    ASSERT_TRUE(days);
    ASSERT_EQ(days->size(), 2u);
    EXPECT_EQ((*days)[1].day, "2026-12-08");
    EXPECT_EQ((*days)[1].bytesUp, 10000000000u);
    EXPECT_FALSE(ReadTraffic(R"({"data":[{"day":"d","bytes_down":-4}]})"));
}

TEST(ReplyFramer, ReadsTheHeaderTheWayAtoiDoesAndRefusesLengthsOutsideZeroToTheCap) {
    const std::pair<const char*, int32_t> cases[] = {
        {"27", 27}, {"  \t12", 12}, {"+5", 5},  {"-3", -3},   {"12abc", 12},
        {"abc", 0}, {"", 0},        {"- 4", 0}, {"\r\r7", 7}, {"4 2", 4},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseLengthHeader(text), value) << text;
    EXPECT_EQ(ParseLengthHeader("99999999999"), INT32_MAX);  // saturates
    EXPECT_EQ(ParseLengthHeader("-99999999999"), INT32_MIN);
    using Status = ReplyFramer::Status;
    for (const auto& [header, status] :
         {std::pair("67108864\r\n", Status::kNeedMore), std::pair("67108865\r\n", Status::kFailed),
          std::pair("-1\r\n", Status::kFailed)}) {
        std::string body;
        EXPECT_EQ(ReplyFramer(body).Feed(header), status) << header;
    }
}

}  // namespace
