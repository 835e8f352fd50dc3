// The HTTP/1.x message reader the proxy applies to clients' requests (and origins' responses),
// and what the proxy makes of a request head: target, origin request, credentials.
//
// Input: one byte of settings (request or response, a response to HEAD, the head limit), then
// the bytes of the stream; the body bytes after the head are fed in pieces of varying size.
#include <http_parser.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"

namespace {

using Status = HttpMessageParser::Status;

bool SameHead(const HttpHead& a, const HttpHead& b) {
    return a.method == b.method && a.status == b.status && a.target == b.target &&
           a.versionMajor == b.versionMajor && a.versionMinor == b.versionMinor &&
           a.headers == b.headers && a.keepAlive == b.keepAlive &&
           a.bodyUntilEof == b.bodyUntilEof && a.complete == b.complete && a.length == b.length;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The head sent on to the origin is itself a well-formed request with the same method, the
// origin-form target, no proxy or hop-by-hop fields, and a body framed exactly as the
// client's (else the origin would read body bytes as a request of its own).
void CheckOriginRequest(const HttpHead& head, Status status) {
    const auto target = ParseProxyTarget(head);
    if (!target || head.method == HTTP_CONNECT) return;
    const std::string rebuilt = BuildOriginRequest(head, *target);
    HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
    HttpHead sent;
    const Status again = parser.ReadHead(rebuilt, rebuilt.size(), sent);
    FUZZ_CHECK(again == status);
    FUZZ_CHECK(sent.length == rebuilt.size() && sent.method == head.method);
    FUZZ_CHECK(sent.target == target->originForm);
    FUZZ_CHECK(sent.Find("Host") != nullptr);
    for (const auto& [field, value] : sent.headers) {
        FUZZ_CHECK(!StartsWithNoCase(field, "Proxy-"));
        FUZZ_CHECK(!StartsWithNoCase(field, "Connection") || field.size() != 10);
    }
    const std::string* length = head.Find("Content-Length");
    const std::string* sentLength = sent.Find("Content-Length");
    FUZZ_CHECK((length == nullptr) == (sentLength == nullptr));
    const std::string* coding = head.Find("Transfer-Encoding");
    const std::string* sentCoding = sent.Find("Transfer-Encoding");
    FUZZ_CHECK((coding == nullptr) == (sentCoding == nullptr));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const bool request = (settings & 1) == 0;
    const bool noBody = !request && (settings & 2) != 0;
    const size_t maxHead = 64u << (settings >> 2 & 7);  // 64 bytes .. 8 KiB
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const auto kind =
        request ? HttpMessageParser::Kind::kRequest : HttpMessageParser::Kind::kResponse;
    HttpMessageParser parser(kind);
    parser.Reset(noBody);
    HttpHead head;
    const Status status = parser.ReadHead(bytes, maxHead, head);
    if (status == Status::kTooLarge) {
        FUZZ_CHECK(bytes.size() > maxHead);
        return 0;
    }
    if (status == Status::kNeedMore) {
        FUZZ_CHECK(bytes.size() <= maxHead);
        return 0;
    }
    if (status == Status::kBad) return 0;
    FUZZ_CHECK(status == Status::kHead || status == Status::kComplete);
    FUZZ_CHECK(head.length > 0 && head.length <= bytes.size() && head.length <= maxHead);
    FUZZ_CHECK(head.complete == (status == Status::kComplete));

    // The head alone reads the same: nothing after it was looked at.
    {
        HttpMessageParser alone(kind);
        alone.Reset(noBody);
        HttpHead again;
        FUZZ_CHECK(alone.ReadHead(bytes.substr(0, head.length), maxHead, again) == status);
        FUZZ_CHECK(SameHead(head, again));
    }
    if (request) {
        CheckOriginRequest(head, status);
        if (const auto credentials = ReadProxyCredentials(head)) {
            FUZZ_CHECK(credentials->user.find(':') == std::string::npos);
        }
    }

    // The body, in pieces: a piece is used whole unless the message ends inside it.
    std::string_view rest = bytes.substr(head.length);
    Status body = status == Status::kComplete ? Status::kComplete : Status::kNeedMore;
    uint32_t cut = settings | 1u;
    while (body == Status::kNeedMore && !rest.empty()) {
        cut = cut * 1103515245u + 12345u;
        const std::string_view piece = rest.substr(0, 1 + (cut >> 16) % 64);
        size_t used = 0;
        body = parser.ReadBody(piece, used);
        FUZZ_CHECK(used <= piece.size());
        if (body == Status::kNeedMore) FUZZ_CHECK(used == piece.size());
        rest.remove_prefix(used);
        if (body == Status::kNeedMore && used == 0) break;
    }
    if (body == Status::kNeedMore) parser.Finish();
    return 0;
}
