#include <gtest/gtest.h>

#include <string>

#include "server_link/Replies.h"

namespace {

// Bodies no reader can use: not JSON, or a root that is not an object.
const char* const kNotAnObject[] = {
    "",     "not json", "{\"err_code\":0,", "[]",   "[{\"ip\":\"1.2.3.4\"}]",
    "null", "42",       "\"text\"",         "true",
};

TEST(ReadStatistic, ReadsTheFourFigures) {
    const auto reply =
        ReadStatistic(R"({"err_code":0,"err_msg":"","data":{"onlineUsers":3,"onlineDevices":7,)"
                      R"("totalAlarms":2,"totalIOBytes":"12.5 GB"}})");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->onlineUsers, 3);
    EXPECT_EQ(reply->onlineDevices, 7);
    EXPECT_EQ(reply->totalAlarms, 2);
    EXPECT_EQ(reply->totalIOBytes, "12.5 GB");
}

TEST(ReadStatistic, FollowsTheConversionRules) {
    const struct {
        const char* body;
        int users, devices, alarms;
        const char* io;
    } cases[] = {
        // No "err_code" is success; no "data" reads as zeros and an empty text.
        {R"({"data":{"onlineUsers":1}})", 1, 0, 0, ""},
        {R"({"err_code":0})", 0, 0, 0, ""},
        {R"({"err_code":0,"data":null})", 0, 0, 0, ""},
        // Numbers where text is read become their decimal (or jsoncpp) text.
        {R"({"data":{"totalIOBytes":1024}})", 0, 0, 0, "1024"},
        {R"({"data":{"totalIOBytes":-7}})", 0, 0, 0, "-7"},
        {R"({"data":{"totalIOBytes":0.5}})", 0, 0, 0, "0.5"},
        {R"({"data":{"totalIOBytes":true}})", 0, 0, 0, "true"},
        // Booleans and fractions where integers are read.
        {R"({"data":{"onlineUsers":true,"onlineDevices":false,"totalAlarms":9.9}})", 1, 0, 9, ""},
        {R"({"data":{"onlineUsers":-2147483648,"totalAlarms":2147483647}})", -2147483648, 0,
         2147483647, ""},
        // jsoncpp's default mode allows comments.
        {"// figures\n{\"data\":{\"onlineUsers\":5 /* now */}}", 5, 0, 0, ""},
        {R"({"err_code":false,"data":{}})", 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        const auto reply = ReadStatistic(c.body);
        ASSERT_TRUE(reply) << c.body;
        EXPECT_EQ(reply->onlineUsers, c.users) << c.body;
        EXPECT_EQ(reply->onlineDevices, c.devices) << c.body;
        EXPECT_EQ(reply->totalAlarms, c.alarms) << c.body;
        EXPECT_EQ(reply->totalIOBytes, c.io) << c.body;
    }
}

TEST(ReadStatistic, UnreadableRepliesGiveNothing) {
    const char* const cases[] = {
        R"({"err_code":1,"data":{"onlineUsers":1}})",
        R"({"err_code":-1})",
        R"({"err_code":"0","data":{}})",  // string where an integer is read
        R"({"err_code":3000000000})",     // beyond 32 bits
        R"({"err_code":0,"data":[]})",    // "data" not an object
        R"({"err_code":0,"data":[{"onlineUsers":1}]})",
        R"({"err_code":0,"data":"x"})",
        R"({"err_code":0,"data":5})",
        R"({"data":{"onlineUsers":"3"}})",
        R"({"data":{"onlineDevices":{}}})",
        R"({"data":{"totalAlarms":[1]}})",
        R"({"data":{"totalAlarms":1e12}})",
        R"({"data":{"totalIOBytes":{"value":1}}})",  // object where text is read
        R"({"data":{"totalIOBytes":[]}})",
    };
    for (const char* body : cases) EXPECT_FALSE(ReadStatistic(body)) << body;
    for (const char* body : kNotAnObject) EXPECT_FALSE(ReadStatistic(body)) << body;
}

TEST(ReadBandwidth, ReadsBytesWithoutConsultingErrCode) {
    const struct {
        const char* body;
        uint32_t bytes;
    } cases[] = {
        {R"({"bytes":1500})", 1500},
        {R"({"err_code":1})", 0},  // a sample of 0 all the same
        {R"({"err_code":"bad","bytes":7})", 7},
        {R"({"bytes":4294967295})", 4294967295u},
        {R"({"bytes":null})", 0},
        {R"({"bytes":2.9})", 2},
        {R"({})", 0},
    };
    for (const auto& c : cases) {
        const auto bytes = ReadBandwidth(c.body);
        ASSERT_TRUE(bytes) << c.body;
        EXPECT_EQ(*bytes, c.bytes) << c.body;
    }
    for (const char* body : {R"({"bytes":-1})", R"({"bytes":"100"})", R"({"bytes":4294967296})",
                             R"({"bytes":{}})", R"({"bytes":[1]})"}) {
        EXPECT_FALSE(ReadBandwidth(body)) << body;
    }
    for (const char* body : kNotAnObject) EXPECT_FALSE(ReadBandwidth(body)) << body;
}

TEST(ReadFlowRealtime, ReadsOneRowPerElementInOrder) {
    const auto rows = ReadFlowRealtime(
        R"({"err_code":0,"data":[)"
        R"({"ip":"10.0.0.2","user":"anna","current_connections":3,"total_bytes":"1.2 MB",)"
        R"("bytes_persecond":"4 KB/s"},)"
        R"({"ip":"10.0.0.3","current_connections":-1,"total_bytes":1024,"bytes_persecond":0.25},)"
        R"({}]})");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 3u);
    const RealtimeFlowRow& first = (*rows)[0];
    EXPECT_EQ(first.ip, "10.0.0.2");
    EXPECT_EQ(first.user, "anna");
    EXPECT_EQ(first.currentConnections, 3u);
    EXPECT_EQ(first.totalBytes, "1.2 MB");
    EXPECT_EQ(first.bytesPerSecond, "4 KB/s");
    const RealtimeFlowRow& second = (*rows)[1];
    EXPECT_EQ(second.user, "");
    EXPECT_EQ(second.currentConnections, 4294967295u);  // -1 shown unsigned
    EXPECT_EQ(second.totalBytes, "1024");
    EXPECT_EQ(second.bytesPerSecond, "0.25");
    const RealtimeFlowRow& empty = (*rows)[2];
    EXPECT_EQ(empty.ip, "");
    EXPECT_EQ(empty.currentConnections, 0u);
}

TEST(ReadFlowIp, ReadsAddressTotalAndTime) {
    const auto rows = ReadFlowIp(
        R"({"data":[{"ip":"192.168.1.9","total_bytes":"5 GB","last_report_time":"2026-12-6 9:5:1"},)"
        R"({"ip":"::1","total_bytes":0,"last_report_time":1765000000}]})");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].ip, "192.168.1.9");
    EXPECT_EQ((*rows)[0].totalBytes, "5 GB");
    EXPECT_EQ((*rows)[0].lastReportTime, "2026-12-6 9:5:1");
    EXPECT_EQ((*rows)[1].totalBytes, "0");
    EXPECT_EQ((*rows)[1].lastReportTime, "1765000000");
}

TEST(ReadFlowUser, ReadsUserTotalAndTime) {
    const auto rows =
        ReadFlowUser(R"({"err_code":0,"data":[{"user":"bob","total_bytes":"1 KB"},{"user":7}]})");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].user, "bob");
    EXPECT_EQ((*rows)[0].totalBytes, "1 KB");
    EXPECT_EQ((*rows)[0].lastReportTime, "");
    EXPECT_EQ((*rows)[1].user, "7");
}

// The three lists share the envelope rules; every reader must refuse the same bodies.
TEST(ReadFlowLists, ShareTheEnvelopeRules) {
    const char* const unreadable[] = {
        R"({"err_code":1,"data":[]})",
        R"({"err_code":"0","data":[]})",
        R"({"err_code":0})",            // "data" missing: not an array
        R"({"err_code":0,"data":{}})",  // an object, not an array
        R"({"err_code":0,"data":{"0":{"ip":"x"}}})",
        R"({"err_code":0,"data":"rows"})",
        R"({"data":[1]})",  // elements must be objects
        R"({"data":[{},"x"]})",
        R"({"data":[{},[]]})",
        R"({"data":[{"ip":{},"user":{}}]})",  // objects where text is read
        R"({"data":[{"total_bytes":[1]}]})",
    };
    for (const char* body : unreadable) {
        EXPECT_FALSE(ReadFlowRealtime(body)) << body;
        EXPECT_FALSE(ReadFlowIp(body)) << body;
        EXPECT_FALSE(ReadFlowUser(body)) << body;
    }
    // Only the two statistics lists read "last_report_time".
    const char* const badTime = R"({"data":[{"last_report_time":{"t":1}}]})";
    EXPECT_FALSE(ReadFlowIp(badTime));
    EXPECT_FALSE(ReadFlowUser(badTime));
    EXPECT_TRUE(ReadFlowRealtime(badTime));
    for (const char* body : kNotAnObject) {
        EXPECT_FALSE(ReadFlowRealtime(body)) << body;
        EXPECT_FALSE(ReadFlowIp(body)) << body;
        EXPECT_FALSE(ReadFlowUser(body)) << body;
    }
    for (const char* body : {R"({"data":[]})", R"({"err_code":0,"data":[]})"}) {
        EXPECT_EQ(ReadFlowRealtime(body)->size(), 0u) << body;
        EXPECT_EQ(ReadFlowIp(body)->size(), 0u) << body;
        EXPECT_EQ(ReadFlowUser(body)->size(), 0u) << body;
    }
}

TEST(ReadFlowRealtime, RefusesConnectionCountsThatAreNotIntegers) {
    for (const char* body : {R"({"data":[{"current_connections":"3"}]})",
                             R"({"data":[{"current_connections":4294967295}]})",
                             R"({"data":[{"current_connections":{}}]})"}) {
        EXPECT_FALSE(ReadFlowRealtime(body)) << body;
    }
}

TEST(Replies, DeepNestingIsUnreadableNotFatal) {
    const std::string deep = "{\"data\":" + std::string(5000, '[') + std::string(5000, ']') + "}";
    EXPECT_FALSE(ReadFlowIp(deep));
    EXPECT_FALSE(ReadStatistic(deep));
}

}  // namespace
