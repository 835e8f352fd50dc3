// Whole requests as the HTTP forwarder sees them: the client's head and body are read, the
// origin request is built, and what goes to the origin (that head and the body bytes passed
// on unchanged) must read as exactly one request with the same framing and the target's one
// Host: nothing an origin could take for a second, smuggled request.
//
// Input: one byte that cuts the body into pieces, then the client's bytes.
#include <http_parser.h>
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/HttpBodyPieces.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"

namespace {

using Status = HttpMessageParser::Status;

int CountFields(const HttpHead& head, std::string_view name) {
    int count = 0;
    for (const auto& field : head.headers) {
        count += field.first.size() == name.size() &&
                 strncasecmp(field.first.data(), name.data(), name.size()) == 0;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    HttpMessageParser whole(HttpMessageParser::Kind::kRequest);
    HttpMessageParser pieces(HttpMessageParser::Kind::kRequest);
    HttpHead head;
    HttpHead again;
    const Status status = whole.ReadHead(bytes, 4096, head);
    pieces.ReadHead(bytes, 4096, again);
    if (status != Status::kHead && status != Status::kComplete) return 0;
    if (RefusedRequestStatus(head) != 0) return 0;  // answered by the proxy itself
    const auto target = ParseProxyTarget(head);
    if (!target || head.method == HTTP_CONNECT) return 0;

    std::string forwarded = BuildOriginRequest(head, *target);
    const size_t originHead = forwarded.size();
    if (status == Status::kHead) {
        const BodyEnd end = CheckBodyEnd(whole, pieces, bytes.substr(head.length), data[0]);
        if (end.status != Status::kComplete) return 0;  // refused, or still coming
        forwarded.append(bytes.substr(head.length, end.used));
    }

    // The origin's reading of what it was sent.
    HttpMessageParser origin(HttpMessageParser::Kind::kRequest);
    HttpHead sent;
    const Status sentStatus = origin.ReadHead(forwarded, forwarded.size(), sent);
    FUZZ_CHECK(sentStatus == status);
    FUZZ_CHECK(sent.length == originHead && sent.method == head.method);
    FUZZ_CHECK(CountFields(sent, "Host") == 1);
    FUZZ_CHECK(CountFields(sent, "Content-Length") == CountFields(head, "Content-Length"));
    FUZZ_CHECK(CountFields(sent, "Transfer-Encoding") == CountFields(head, "Transfer-Encoding"));
    // Only versions every reader frames alike go on: 1.1, or 1.0 without Transfer-Encoding.
    FUZZ_CHECK(RefusedRequestStatus(sent) == 0);
    if (sentStatus == Status::kHead) {
        size_t used = 0;
        const std::string_view body = std::string_view(forwarded).substr(originHead);
        FUZZ_CHECK(origin.ReadBody(body, used) == Status::kComplete);
        FUZZ_CHECK(used == body.size());  // the body ends where the proxy's reading ended
    }
    return 0;
}
