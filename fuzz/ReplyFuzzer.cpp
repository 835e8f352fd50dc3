// The console's reading of control-channel replies, fed what a hostile or broken server
// could send: the framing of the byte stream, then every reply reader on the body.
//
// Input: one byte that seeds how the stream is cut into pieces, then the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server_link/Replies.h"
#include "server_link/ReplyFramer.h"

namespace {

void ReadEveryWay(std::string_view body) {
    // The readers promise never to throw; a reading that succeeds must be stable.
    const auto statistic = ReadStatistic(body);
    const auto bandwidth = ReadBandwidth(body);
    const auto realtime = ReadFlowRealtime(body);
    const auto ip = ReadFlowIp(body);
    const auto user = ReadFlowUser(body);
    if (statistic) FUZZ_CHECK(ReadStatistic(body)->totalIOBytes == statistic->totalIOBytes);
    if (bandwidth) FUZZ_CHECK(ReadBandwidth(body) == bandwidth);
    // The three lists read the same "data" array: when two succeed they have as many rows.
    if (ip && user) FUZZ_CHECK(ip->size() == user->size());
    if (realtime && ip) FUZZ_CHECK(realtime->size() == ip->size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint32_t cut = data[0] | 1u;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    // Fed in pieces until the framer decides.
    std::string body;
    ReplyFramer framer(body);
    ReplyFramer::Status status = ReplyFramer::Status::kNeedMore;
    size_t fed = 0;
    while (fed < stream.size() && status == ReplyFramer::Status::kNeedMore) {
        cut = cut * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(1 + (cut >> 16) % 16, stream.size() - fed);
        status = framer.Feed(stream.substr(fed, piece));
        fed += piece;
    }

    // However the bytes were cut, the same prefix in one piece gives the same decision.
    std::string whole;
    ReplyFramer once(whole);
    FUZZ_CHECK(once.Feed(stream.substr(0, fed)) == status);
    if (status == ReplyFramer::Status::kComplete) {
        FUZZ_CHECK(whole == body);
        const size_t headerEnd = stream.find("\r\n");
        FUZZ_CHECK(headerEnd != std::string_view::npos);
        FUZZ_CHECK(body.size() ==
                   static_cast<size_t>(ParseLengthHeader(stream.substr(0, headerEnd))));
        FUZZ_CHECK(body.size() <= static_cast<size_t>(ReplyFramer::kMaxBodyLength));
        ReadEveryWay(body);
    }
    ReadEveryWay(stream);
    return 0;
}
