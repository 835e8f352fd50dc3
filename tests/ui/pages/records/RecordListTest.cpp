// The record pages' rows read from a real main.db: order, sorting, the filter and the export.
#include <gtest/gtest.h>
#include <unistd.h>

#include "Common/ExportFile.h"
#include "tests/support/TestDb.h"
#include "ui/pages/records/RecordFill.h"

namespace {

class RecordListTest : public ::testing::Test {
protected:
    // A main.db with the schema and `sql` run on it.
    DatabaseOptions Db(const std::string& sql) {
        test::CreateSchemaDb(dir_.file("main.db"), sql);
        return {dir_.file("main.db"), 1000};
    }
    template <typename Columns>
    static std::string Column(const RecordList<Columns>& list, int column) {
        std::string all;
        for (size_t i = 0; i < list.ShownCount(); ++i) all += (i ? "," : "") + list.Text(i, column);
        return all;
    }
    template <typename Columns>
    static std::string Csv(const RecordList<Columns>& list,
                           const typename RecordList<Columns>::Headers& headers) {
        std::string csv;
        EXPECT_TRUE(list.WriteCsv(headers, [&csv](std::string_view piece) {
            csv += piece;
            return true;
        }));
        return csv;
    }

    test::TempDir dir_;
    test::ScopedTimeZone utc_{"UTC"};
};

constexpr char kHistoryRows[] =
    "insert into history (user, ip, url, time) values"
    "  ('bob', 3232235521, 'http://b.example/', 1700000002),"     // 192.168.0.1, unsigned
    "  ('alice', -1062731775, 'http://a.example/', 1700000003),"  // 192.168.0.1, signed
    "  ('Carol', -16777216, 'http://c.example/', 1700000001),"    // 255.0.0.0
    "  ('dave', 167772161, 'http://d.example/', 2147483648),"     // 10.0.0.1, after 2038
    "  (null, null, null, null);";

TEST_F(RecordListTest, HistoryReadsNewestFirstFiltersSortsAsNumbersAndTextsAndRefills) {
    RecordList<HistoryColumns> list;
    ASSERT_TRUE(FillFromDatabase(list, Db(kHistoryRows)));
    // The filter searches the shown texts, letters in any case: the dotted address, not the
    // stored number; the time as shown.
    for (const auto& [filter, names] : {std::pair{"CAROL", "Carol"},
                                        {"B.EXAMPLE/", "bob"},
                                        {"192.168.0", "alice,bob"},
                                        {"2038-1-19", "dave"},
                                        {"", "dave,alice,bob,Carol,"}}) {
        list.SetFilter(filter);
        EXPECT_EQ(Column(list, 0), names) << filter;
    }
    EXPECT_EQ(Column(list, 1), "10.0.0.1,192.168.0.1,192.168.0.1,255.0.0.0,0.0.0.0");
    EXPECT_EQ(Column(list, 3),
              "2038-1-19 3:14:8,2023-11-14 22:13:23,2023-11-14 22:13:22,2023-11-14 22:13:21,"
              "1970-1-1 0:0:0");
    EXPECT_EQ(list.ShownRow(0).rowid, 4);
    list.Sort(1, false);  // unsigned: 255.0.0.0 after 192.168.0.1; equal ones keep their order
    EXPECT_EQ(Column(list, 0), ",dave,alice,bob,Carol");
    list.Sort(1, true);
    EXPECT_EQ(Column(list, 0), "Carol,alice,bob,dave,");
    list.Sort(3, false);  // 64-bit times: the one after 2038 last
    EXPECT_EQ(Column(list, 0), ",Carol,bob,alice,dave");
    list.Sort(0, true);  // texts in byte order: capitals first, so last here
    EXPECT_EQ(Column(list, 0), "dave,bob,alice,Carol,");
    list.Sort(4, false);  // no such column: nothing changes
    EXPECT_EQ(Column(list, 0), "dave,bob,alice,Carol,");

    RecordList<AlarmColumns> alarms;
    ASSERT_TRUE(FillFromDatabase(alarms, Db("insert into alarms values ('s', 'm', 5000000000),"
                                            "('s', 'm', -5000000000), ('s', 'm', 0);")));
    alarms.Sort(0, false);
    EXPECT_EQ(Column(alarms, 0), "1811-7-23 15:6:40,1970-1-1 0:0:0,2128-6-11 8:53:20");
    // A refill replaces the rows; a missing table is a failure and leaves none; an empty one none.
    ASSERT_TRUE(FillFromDatabase(list, Db("delete from history where user = 'bob';")));
    EXPECT_EQ(list.RowCount(), 4u);
    EXPECT_FALSE(FillFromDatabase(list, Db("drop table history;")));
    EXPECT_EQ(list.RowCount(), 0u);
    EXPECT_TRUE(FillFromDatabase(list, Db("")));
    EXPECT_EQ(list.ShownCount(), 0u);
}

// IPv6 rows: ip 0, the address as text; rows without the text, older ones too, stay IPv4.
TEST_F(RecordListTest, IPv6ClientsShowSortFilterAndExportByTheirAddress) {
    RecordList<HistoryColumns> list;
    ASSERT_TRUE(FillFromDatabase(
        list, Db("insert into history (user, ip, ipv6, url, time) values"
                 "  ('six', 0, '2001:db8::1', 'u', 6), ('v4a', 3232235521, null, 'u', 5),"
                 "  ('lo6', 0, '::1', 'u', 4), ('ll', 0, 'fe80::1%eth0', 'u', 3),"
                 "  ('old', 0, null, 'u', 2), ('v4b', 167772161, null, 'u', 1),"
                 "  ('odd', 0, 'not an address', 'u', 0)")));
    EXPECT_EQ(Column(list, 1),
              "2001:db8::1,192.168.0.1,::1,fe80::1%eth0,0.0.0.0,10.0.0.1,not an address");
    list.Sort(1, false);  // IPv4 by number, then IPv6 by bytes, then unreadable texts
    EXPECT_EQ(Column(list, 0), "old,v4b,v4a,lo6,six,ll,odd");
    list.Sort(1, true);
    EXPECT_EQ(Column(list, 0), "odd,ll,six,lo6,v4a,v4b,old");
    list.SetFilter("0.0.0.0");  // the IPv6 rows' 0 is not shown, so not found
    EXPECT_EQ(Column(list, 0), "old");
    list.SetFilter("DB8::");
    EXPECT_EQ(Csv(list, {"User", "Source", "Host", "Time"}),
              "User,Source,Host,Time\r\nsix,2001:db8::1,u,1970-1-1 0:0:6\r\n");
}

// A query that fails after two rows, as a database error in the middle of a fill does.
struct FailingQuery {
    int rows = 0;
    bool eof() const { return false; }
    void nextRow() {
        if (++rows == 2) throw CppSQLite3Exception(10, "disk I/O error");
    }
    int fieldIndex(const char*) const { return 0; }
    const char* getStringField(int) const { return "text"; }
    int64_t getInt64Field(int) const { return 1700000000 - rows; }
};

TEST_F(RecordListTest, ErrorMidFillKeepsTheRowsReadSoFar) {
    RecordList<AlarmColumns> list;
    list.SetFilter("text");
    FailingQuery query;
    EXPECT_THROW(list.Read(query), CppSQLite3Exception);
    ASSERT_EQ(list.ShownCount(), 2u);
    EXPECT_EQ(Column(list, 0), "2023-11-14 22:13:20,2023-11-14 22:13:19");
}

TEST_F(RecordListTest, CsvQuotesWhatNeedsItEscapesFormulasAndFollowsTheShownRows) {
    RecordList<AlarmColumns> list;
    ASSERT_TRUE(FillFromDatabase(
        list, Db("insert into alarms values ('引擎', '端口 8080 被占用', 2),"
                 "('a,b', 'say \"hi\"', 3), ('line', 'one\ntwo', 1), ('plain', 'x', 4);")));
    list.SetFilter("a");  // "a,b", "say" and "plain"
    list.Sort(0, false);
    EXPECT_EQ(Csv(list, {"Time", "Source, where", "Message"}),
              "Time,\"Source, where\",Message\r\n"
              "1970-1-1 0:0:3,\"a,b\",\"say \"\"hi\"\"\"\r\n"
              "1970-1-1 0:0:4,plain,x\r\n");
    list.SetFilter("");
    EXPECT_EQ(Csv(list, {"时间", "来源", "消息"}),
              "时间,来源,消息\r\n"
              "1970-1-1 0:0:1,line,\"one\ntwo\"\r\n"
              "1970-1-1 0:0:2,引擎,端口 8080 被占用\r\n"
              "1970-1-1 0:0:3,\"a,b\",\"say \"\"hi\"\"\"\r\n"
              "1970-1-1 0:0:4,plain,x\r\n");
    EXPECT_FALSE(list.WriteCsv({"a", "b", "c"}, [](std::string_view) { return false; }));
    // Texts from proxy clients that a spreadsheet would run as formulas become quoted text.
    const auto csv = [](std::string_view cell) {
        std::string out;
        AppendCsvField(cell, out);
        return out;
    };
    for (const char start : std::string_view("=+-@\t\r"))
        EXPECT_EQ(csv(start + std::string("x")), "\"'" + (start + std::string("x\""))) << start;
    EXPECT_EQ(csv("=\"a\",b"), "\"'=\"\"a\"\",b\"");
    EXPECT_EQ(csv("a=b"), "a=b");
    EXPECT_EQ(csv("a\rb"), "\"a\rb\"") << "a bare CR ends a record for some readers";
}

TEST_F(RecordListTest, ExportFileIsPrivateAndRefusesLinksAndOtherFiles) {
    const std::string target = dir_.file("export.csv");
    {
        ExportFile file;
        ASSERT_TRUE(file.Open(target)) << file.Error();
        EXPECT_TRUE(file.Write("a,b\r\n"));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(test::ReadText(target), "a,b\r\n");
    EXPECT_EQ(test::ModeOf(target), 0600u);

    ASSERT_EQ(symlink(target.c_str(), dir_.file("link.csv").c_str()), 0);
    ExportFile viaLink;
    EXPECT_FALSE(viaLink.Open(dir_.file("link.csv")));
    ExportFile folder;
    EXPECT_FALSE(folder.Open(dir_.path()));  // not a regular file
    EXPECT_FALSE(folder.Write("x"));
    // A folder others may write to: see the export test of the record pages.
}

}  // namespace

// Texts that share long beginnings, end at and around eight-byte steps, and repeat: the
// sort must give exactly the stable byte order, both ways.
TEST(RecordSort, TextsSortInStableByteOrderBothWays) {
    ASSERT_TRUE(CollationIsByteOrder());  // the test program keeps the C collation
    std::vector<std::string> texts;
    uint32_t seed = 7;
    const auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    const std::string stems[] = {"",         "http://",          "http://www.example.com/",
                                 "abcdefgh", "abcdefghabcdefgh", "\xe5\xbc\xa0"};
    for (int i = 0; i < 3000; ++i) {
        std::string text = stems[next() % std::size(stems)];
        for (uint32_t n = next() % 20; n > 0; --n) text += "ab\xff/"[next() % 4];
        texts.push_back(text);
    }
    std::vector<uint32_t> unsorted(texts.size());
    std::iota(unsorted.begin(), unsorted.end(), 0u);
    for (bool descending : {false, true}) {
        std::vector<uint32_t> order = unsorted, expected = unsorted;
        SortByText(
            order, [&texts](uint32_t i) { return std::string_view(texts[i]); }, descending);
        std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
            return descending ? texts[b] < texts[a] : texts[a] < texts[b];
        });
        EXPECT_EQ(order, expected) << (descending ? "descending" : "ascending");
    }
}
