#include "server/HttpProxyRequest.h"

#include <http_parser.h>
#include <strings.h>

#include <array>
#include <charconv>

#include "server/metrics/ServerMetrics.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A field named by the Connection header (a comma-separated list of names).
bool NamedByConnection(const HttpHead& head, std::string_view name) {
    for (const auto& [field, value] : head.headers) {
        if (!SameName(field, "Connection")) continue;
        std::string_view list = value;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            if (SameName(Trim(list.substr(0, comma)), name)) return true;
            list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        }
    }
    return false;
}

bool HopByHop(const HttpHead& head, std::string_view name) {
    // The body's framing goes on whatever Connection names: without it the origin would read
    // the body as requests of its own.
    if (SameName(name, "Content-Length") || SameName(name, "Transfer-Encoding")) return false;
    static constexpr std::array kHopByHop = {"Connection", "Keep-Alive", "TE", "Trailer",
                                             "Upgrade"};
    for (const char* hop : kHopByHop) {
        if (SameName(name, hop)) return true;
    }
    return (name.size() >= 6 && strncasecmp(name.data(), "Proxy-", 6) == 0) ||
           NamedByConnection(head, name);
}

std::string_view Field(std::string_view url, const http_parser_url& parts, int field) {
    if ((parts.field_set & (1 << field)) == 0) return {};
    return url.substr(parts.field_data[field].off, parts.field_data[field].len);
}

}  // namespace

std::optional<ProxyTarget> ParseProxyTarget(const HttpHead& head) {
    const std::string_view url = head.target;
    const bool connect = head.method == HTTP_CONNECT;
    http_parser_url parts;
    http_parser_url_init(&parts);
    if (url.empty() || http_parser_parse_url(url.data(), url.size(), connect, &parts) != 0) {
        return std::nullopt;
    }
    ProxyTarget target;
    target.host = Field(url, parts, UF_HOST);
    if (target.host.empty()) return std::nullopt;
    if (connect) {
        if ((parts.field_set & (1 << UF_PORT)) == 0 || parts.port == 0) return std::nullopt;
        target.port = parts.port;
        return target;
    }
    if (!SameName(Field(url, parts, UF_SCHEMA), "http")) return std::nullopt;
    target.port = (parts.field_set & (1 << UF_PORT)) != 0 ? parts.port : 80;
    if (target.port == 0) return std::nullopt;
    target.originForm = Field(url, parts, UF_PATH);
    if (target.originForm.empty()) target.originForm = "/";
    if (const auto query = Field(url, parts, UF_QUERY); (parts.field_set & (1 << UF_QUERY)) != 0) {
        target.originForm.append("?").append(query);
    }
    return target;
}

int RefusedRequestStatus(const HttpHead& head) {
    if (head.versionMajor != 1 || head.versionMinor > 1) return 505;
    if (head.versionMinor == 0 && head.Find("Transfer-Encoding") != nullptr) return 400;
    return 0;
}

std::string BuildOriginRequest(const HttpHead& head, const ProxyTarget& target) {
    std::string out;
    out.reserve(head.length + 16);
    out.append(http_method_str(static_cast<http_method>(head.method)))
        .append(" ")
        .append(target.originForm)
        .append(" HTTP/")
        .append(std::to_string(head.versionMajor))
        .append(".")
        .append(std::to_string(head.versionMinor))
        .append("\r\n");
    // Exactly one Host, the target's authority: the client's own Host fields are dropped
    // (RFC 9112 section 3.2.2), so that the origin and the history name the same site.
    const bool literal6 = target.host.find(':') != std::string::npos;
    out.append("Host: ")
        .append(literal6 ? "[" + target.host + "]" : target.host)
        .append(target.port == 80 ? "" : ":" + std::to_string(target.port))
        .append("\r\n");
    for (const auto& [field, value] : head.headers) {
        if (HopByHop(head, field) || SameName(field, "Host")) continue;
        out.append(field).append(": ").append(value).append("\r\n");
    }
    out.append("\r\n");
    return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else
            return std::nullopt;
        bits = bits << 6 | static_cast<uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8 & 0xFF));
            out.push_back(static_cast<char>(bits & 0xFF));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) out.push_back(static_cast<char>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<char>(bits >> 10));
        out.push_back(static_cast<char>(bits >> 2 & 0xFF));
    }
    return out;
}

std::optional<ProxyCredentials> ReadProxyCredentials(const HttpHead& head) {
    const std::string* value = head.Find("Proxy-Authorization");
    if (value == nullptr) return std::nullopt;
    const std::string_view text = Trim(*value);
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos || !SameName(text.substr(0, blank), "Basic")) {
        return std::nullopt;
    }
    const auto decoded = DecodeBase64(Trim(text.substr(blank + 1)));
    if (!decoded) return std::nullopt;
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    return ProxyCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

std::string ProxyResponse(int status, std::string_view reason, std::string_view extraHeaders,
                          bool keepAlive) {
    metrics::CountResponse(status);
    std::string out = "HTTP/1.1 " + std::to_string(status) + " ";
    out.append(reason).append("\r\n").append(extraHeaders);
    out.append("Content-Length: 0\r\n");
    out.append(keepAlive ? "" : "Connection: close\r\n");
    out.append("\r\n");
    return out;
}
