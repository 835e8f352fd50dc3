// What the proxy reads from an origin: a stream of responses (status line, framing fields,
// interim answers, bodies), read as the HTTP forwarder reads them.
//
// Input: one byte of settings (bit 0: the request was HEAD; the rest cuts the body into
// pieces), then the bytes the origin sent.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/HttpBodyPieces.h"
#include "server/HttpMessageParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Status = HttpMessageParser::Status;
    if (size == 0) return 0;
    const bool headRequest = (data[0] & 1) != 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    HttpMessageParser whole(HttpMessageParser::Kind::kResponse);
    HttpMessageParser pieces(HttpMessageParser::Kind::kResponse);
    // Interim responses, then the final one, as the forwarder loops over them.
    for (int message = 0; message < 8; ++message) {
        whole.Reset(headRequest);
        pieces.Reset(headRequest);
        HttpHead head;
        HttpHead again;
        const Status status = whole.ReadHead(rest, 4096, head);
        FUZZ_CHECK(pieces.ReadHead(rest, 4096, again) == status);
        if (status != Status::kHead && status != Status::kComplete) return 0;
        FUZZ_CHECK(head.length > 0 && head.length <= rest.size());
        // These end at their empty line, whatever length or coding they announce; what
        // follows is another response (or nothing the client may see).
        const bool bodiless =
            headRequest || head.status < 200 || head.status == 204 || head.status == 304;
        FUZZ_CHECK(!bodiless || (status == Status::kComplete && !head.bodyUntilEof));
        FUZZ_CHECK(!head.bodyUntilEof || !head.keepAlive);
        for (const auto& field : head.headers) {
            FUZZ_CHECK(field.first.find_first_of(" \t:") == std::string_view::npos);
        }
        rest.remove_prefix(head.length);
        if (status == Status::kHead) {
            const BodyEnd end = CheckBodyEnd(whole, pieces, rest, data[0]);
            if (end.status != Status::kComplete) {
                if (end.status == Status::kNeedMore && head.bodyUntilEof) {
                    FUZZ_CHECK(whole.Finish());
                }
                return 0;
            }
            rest.remove_prefix(end.used);
        }
        if (head.status >= 200) return 0;  // the final response: the rest is never read
    }
    return 0;
}
