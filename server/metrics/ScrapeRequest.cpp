#include "server/metrics/ScrapeRequest.h"

#include <algorithm>
#include <asio/ip/address.hpp>
#include <cctype>
#include <charconv>

namespace metrics {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// The value of the head's Accept field (the first, as scrapers send one).
std::optional<std::string_view> AcceptField(std::string_view head) {
    size_t line = head.find('\n');
    while (line != std::string_view::npos && line + 1 < head.size()) {
        std::string_view rest = head.substr(line + 1);
        const size_t end = rest.find('\n');
        std::string_view field = rest.substr(0, end);
        if (StartsWithIgnoringCase(field, "accept:")) {
            field.remove_prefix(7);
            if (!field.empty() && field.back() == '\r') field.remove_suffix(1);
            return field;
        }
        line = end == std::string_view::npos ? end : line + 1 + end;
    }
    return std::nullopt;
}

}  // namespace

ScrapeRequest ReadScrapeRequest(std::string_view bytes) {
    ScrapeRequest request;
    // The head ends at the first empty line, whether lines end in CRLF or LF.
    const size_t end = std::min(bytes.find("\r\n\r\n"), bytes.find("\n\n"));
    if (end == std::string_view::npos || end > kMaxScrapeHead) {
        request.kind = bytes.size() > kMaxScrapeHead ? ScrapeRequest::Kind::kTooLarge
                                                     : ScrapeRequest::Kind::kIncomplete;
        return request;
    }
    const std::string_view head = bytes.substr(0, end);
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find(' ');
    const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos ||
        !line.substr(second + 1).starts_with("HTTP/1.")) {
        request.kind = ScrapeRequest::Kind::kBad;
        return request;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const bool metrics = target == "/metrics" || target.starts_with("/metrics?");
    request.kind =
        method == "GET" && metrics ? ScrapeRequest::Kind::kMetrics : ScrapeRequest::Kind::kNotFound;
    request.format = ChooseFormat(AcceptField(head));
    return request;
}

std::string ScrapeResponse(const ScrapeRequest& request, const std::string& page) {
    std::string status = "404 Not Found";
    std::string_view type = "text/plain; charset=utf-8";
    std::string body = "not found\n";
    switch (request.kind) {
        case ScrapeRequest::Kind::kMetrics:
            status = "200 OK";
            type = ContentType(request.format);
            body = page;
            break;
        case ScrapeRequest::Kind::kBad:
            status = "400 Bad Request";
            body = "bad request\n";
            break;
        case ScrapeRequest::Kind::kTooLarge:
            status = "431 Request Header Fields Too Large";
            body = "request head too large\n";
            break;
        default:
            break;
    }
    std::string out = "HTTP/1.1 " + status + "\r\nContent-Type: ";
    out.append(type).append("\r\nContent-Length: ").append(std::to_string(body.size()));
    out.append("\r\nConnection: close\r\n\r\n").append(body);
    return out;
}

std::optional<asio::ip::tcp::endpoint> ParseListenAddress(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view portText = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon);
    if (host.empty()) return asio::ip::tcp::endpoint(asio::ip::address_v6::any(), port);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    asio::error_code failure;
    const auto address = asio::ip::make_address(std::string(host), failure);
    // An IPv6 address is written in brackets, so that its last group is not read as the port.
    if (failure || address.is_v6() != bracketed) return std::nullopt;
    return asio::ip::tcp::endpoint(address, static_cast<uint16_t>(port));
}

}  // namespace metrics
