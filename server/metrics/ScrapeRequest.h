#pragma once

#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "server/metrics/Exposition.h"

// What a client of the metrics listener asked, read from the bytes it sent so far.
namespace metrics {

// Longest request head read: a scraper's is a few hundred bytes.
inline constexpr size_t kMaxScrapeHead = 8 * 1024;

struct ScrapeRequest {
    enum class Kind {
        kIncomplete,  // the head has not ended yet
        kMetrics,     // GET /metrics (with a query or not)
        kNotFound,    // any other method or path
        kBad,         // no request line a server can read
        kTooLarge,    // a head longer than kMaxScrapeHead
    };
    Kind kind = Kind::kIncomplete;
    Format format = Format::kText;
};
ScrapeRequest ReadScrapeRequest(std::string_view bytes);

// The whole response for a request's kind (not kIncomplete), closing the connection.
std::string ScrapeResponse(const ScrapeRequest& request, const std::string& page);

// metrics_listen: "address:port" with an IPv4 address, "[IPv6]:port", or ":port" for every
// address. Nothing for a text that names no such address and port (a host name is not looked
// up).
std::optional<asio::ip::tcp::endpoint> ParseListenAddress(std::string_view text);

}  // namespace metrics
