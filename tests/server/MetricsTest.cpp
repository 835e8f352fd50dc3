// The metrics page's parts alone: the exposition formats, the choice between them, the
// histogram, the bound on per-account series, and what the listener reads of a request.
#include <gtest/gtest.h>

#include <cmath>

#include "server/metrics/Exposition.h"
#include "server/metrics/ScrapeRequest.h"
#include "server/metrics/ServerMetrics.h"

namespace metrics {
namespace {

std::vector<Family> SmallPage() {
    Histogram histogram({0.5, 1});
    histogram.Observe(0.5);  // an observation on a bound belongs to it
    histogram.Observe(2);
    return {
        Family{"x_build_info", "Version.", Kind::kInfo, "version", {{"1.2", 1}}, {}},
        Family{"x_bytes_total",
               "Bytes \\ moved\nby \"direction\".",
               Kind::kCounter,
               "direction",
               {{"up", 12}, {"a\"b\\c\nd", 3}},
               {}},
        Family{"x_seconds", "Time.", Kind::kHistogram, {}, {}, histogram.Read()},
    };
}

// Both formats name families, escape help and label values and write buckets as their
// parsers read them; OpenMetrics names counters and infos without their suffix and ends in EOF.
TEST(MetricsExposition, WritesTheTextFormatAndOpenMetrics) {
    EXPECT_EQ(Write(SmallPage(), Format::kText),
              "# HELP x_build_info Version.\n"
              "# TYPE x_build_info gauge\n"
              "x_build_info{version=\"1.2\"} 1\n"
              "# HELP x_bytes_total Bytes \\\\ moved\\nby \"direction\".\n"
              "# TYPE x_bytes_total counter\n"
              "x_bytes_total{direction=\"up\"} 12\n"
              "x_bytes_total{direction=\"a\\\"b\\\\c\\nd\"} 3\n"
              "# HELP x_seconds Time.\n"
              "# TYPE x_seconds histogram\n"
              "x_seconds_bucket{le=\"0.5\"} 1\n"
              "x_seconds_bucket{le=\"1\"} 1\n"
              "x_seconds_bucket{le=\"+Inf\"} 2\n"
              "x_seconds_count 2\n"
              "x_seconds_sum 2.5\n");
    EXPECT_EQ(Write(SmallPage(), Format::kOpenMetrics),
              "# HELP x_build Version.\n"
              "# TYPE x_build info\n"
              "x_build_info{version=\"1.2\"} 1\n"
              "# HELP x_bytes Bytes \\\\ moved\\nby \\\"direction\\\".\n"
              "# TYPE x_bytes counter\n"
              "x_bytes_total{direction=\"up\"} 12\n"
              "x_bytes_total{direction=\"a\\\"b\\\\c\\nd\"} 3\n"
              "# HELP x_seconds Time.\n"
              "# TYPE x_seconds histogram\n"
              "x_seconds_bucket{le=\"0.5\"} 1\n"
              "x_seconds_bucket{le=\"1.0\"} 1\n"
              "x_seconds_bucket{le=\"+Inf\"} 2\n"
              "x_seconds_count 2\n"
              "x_seconds_sum 2.5\n"
              "# EOF\n");
}

// Negative or NaN durations (a clock that stepped) count as zero, not as garbage in the sum.
TEST(MetricsExposition, HistogramKeepsOddObservationsSane) {
    Histogram histogram({0.1});
    histogram.Observe(-3);
    histogram.Observe(NAN);
    histogram.Observe(0.05);
    const auto read = histogram.Read();
    EXPECT_EQ(read.cumulative, (std::vector<uint64_t>{3, 3}));
    EXPECT_NEAR(read.sum, 0.05, 1e-9);
}

// Prometheus asks for OpenMetrics first; curl and browsers get the text format; weights and
// versions are respected.
TEST(MetricsExposition, ChoosesTheFormatTheScraperPrefers) {
    EXPECT_EQ(ChooseFormat("application/openmetrics-text;version=1.0.0,application/"
                           "openmetrics-text;version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,"
                           "*/*;q=0.1"),
              Format::kOpenMetrics);
    EXPECT_EQ(ChooseFormat(std::nullopt), Format::kText);
    EXPECT_EQ(ChooseFormat("*/*"), Format::kText);
    EXPECT_EQ(ChooseFormat("Application/OpenMetrics-Text"), Format::kOpenMetrics);
    EXPECT_EQ(ChooseFormat("application/openmetrics-text; q=0"), Format::kText);
    EXPECT_EQ(ChooseFormat("application/openmetrics-text;q=0.5, text/plain"), Format::kText);
    EXPECT_EQ(ChooseFormat("application/openmetrics-text;version=0.0.1"), Format::kText);
    EXPECT_EQ(ChooseFormat("application/openmetrics-text;q=nonsense"), Format::kText);
    EXPECT_EQ(ContentType(Format::kText), "text/plain; version=0.0.4; charset=utf-8");
}

// At most the bound of series: the accounts with the most bytes keep theirs, the rest (and
// names no scraper can read, and an empty name) are summed under "".
TEST(MetricsExposition, AccountSeriesAreBounded) {
    const auto few = AccountSeries({{"bob", 5}, {"amy", 7}}, 3);
    ASSERT_EQ(few.size(), 2u);
    EXPECT_EQ(few[0].labelValue, "amy");
    EXPECT_EQ(few[1].labelValue, "bob");

    std::vector<std::pair<std::string, uint64_t>> many;
    for (int i = 0; i < 10; ++i) many.emplace_back("user" + std::to_string(i), i);
    many.emplace_back("bad\xff", 100);
    many.emplace_back("", 1000);
    const auto bounded = AccountSeries(many, 4);
    ASSERT_EQ(bounded.size(), 4u);
    EXPECT_EQ(bounded[0].labelValue, "");
    EXPECT_EQ(bounded[0].value, 1000 + 100 + 0 + 1 + 2 + 3 + 4 + 5 + 6);
    EXPECT_EQ(bounded[1].labelValue, "user7");
    EXPECT_EQ(bounded[3].labelValue, "user9");
}

TEST(MetricsExposition, LabelValuesMustBeUtf8) {
    EXPECT_TRUE(LabelValueUsable("plain \"quoted\"\n"));
    EXPECT_TRUE(LabelValueUsable("Grüße 代理 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(LabelValueUsable("\xff"));
    EXPECT_FALSE(LabelValueUsable("\xC3"));              // cut short
    EXPECT_FALSE(LabelValueUsable("\xC0\xAF"));          // overlong
    EXPECT_FALSE(LabelValueUsable("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(LabelValueUsable("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(MetricsListenerRequest, OnlyGetOfMetricsIsAnsweredWithThePage) {
    using K = ScrapeRequest::Kind;
    EXPECT_EQ(ReadScrapeRequest("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n").kind, K::kMetrics);
    EXPECT_EQ(ReadScrapeRequest("GET /metrics?x=1 HTTP/1.0\n\n").kind, K::kMetrics);
    EXPECT_EQ(ReadScrapeRequest("GET /metrics HTTP/1.1\r\nHost: x\r\n").kind, K::kIncomplete);
    for (const char* other :
         {"POST /metrics HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\n\r\n",
          "GET /metricsx HTTP/1.1\r\n\r\n", "GET http://a/metrics HTTP/1.1\r\n\r\n"}) {
        EXPECT_EQ(ReadScrapeRequest(other).kind, K::kNotFound) << other;
    }
    for (const char* bad : {"GET /metrics\r\n\r\n", "GET  /metrics HTTP/1.1\r\n\r\n",
                            "GET /metrics FTP/1\r\n\r\n", "\r\n\r\n"}) {
        EXPECT_EQ(ReadScrapeRequest(bad).kind, K::kBad) << bad;
    }
    const std::string huge = "GET /metrics HTTP/1.1\r\nX: " + std::string(kMaxScrapeHead, 'a');
    EXPECT_EQ(ReadScrapeRequest(huge).kind, K::kTooLarge);
    EXPECT_EQ(ReadScrapeRequest(huge + "\r\n\r\n").kind, K::kTooLarge);

    const auto asked = ReadScrapeRequest(
        "GET /metrics HTTP/1.1\r\nhost: x\r\naccept: application/openmetrics-text\r\n\r\n");
    EXPECT_EQ(asked.format, Format::kOpenMetrics);
    const std::string answer = ScrapeResponse(asked, "page\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\nContent-Type: application/openmetrics-text"))
        << answer;
    EXPECT_TRUE(answer.ends_with("Content-Length: 5\r\nConnection: close\r\n\r\npage\n"));
    EXPECT_TRUE(ScrapeResponse({K::kNotFound}, "secret").starts_with("HTTP/1.1 404"));
    EXPECT_EQ(ScrapeResponse({K::kNotFound}, "secret").find("secret"), std::string::npos);
}

TEST(MetricsListenerRequest, ReadsTheListenAddress) {
    EXPECT_EQ(ParseListenAddress("127.0.0.1:9189")->port(), 9189);
    EXPECT_EQ(ParseListenAddress("127.0.0.1:9189")->address().to_string(), "127.0.0.1");
    EXPECT_EQ(ParseListenAddress("[::1]:9189")->address().to_string(), "::1");
    EXPECT_TRUE(ParseListenAddress(":9189")->address().is_unspecified());
    for (const char* wrong :
         {"", "9189", "127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:91x", "::1:9189",
          "localhost:9189", "[127.0.0.1]:9189", "127.0.0.1:-1"}) {
        EXPECT_FALSE(ParseListenAddress(wrong)) << wrong;
    }
}

}  // namespace
}  // namespace metrics
