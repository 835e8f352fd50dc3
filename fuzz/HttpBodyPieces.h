#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/HttpMessageParser.h"

// How a body read ended: the parser's last status and the bytes that belong to the message.
struct BodyEnd {
    HttpMessageParser::Status status = HttpMessageParser::Status::kNeedMore;
    size_t used = 0;
};

// Feeds the body bytes after a head to `parser` in pieces whose sizes `seed` picks, as they
// come off a socket: a piece is used whole unless the message ends inside it.
inline BodyEnd ReadBodyInPieces(HttpMessageParser& parser, std::string_view bytes, uint32_t seed) {
    using Status = HttpMessageParser::Status;
    BodyEnd end;
    uint32_t cut = seed | 1u;
    while (end.status == Status::kNeedMore && end.used < bytes.size()) {
        cut = cut * 1103515245u + 12345u;
        const std::string_view piece = bytes.substr(end.used, 1 + (cut >> 16) % 64);
        size_t used = 0;
        end.status = parser.ReadBody(piece, used);
        FUZZ_CHECK(used <= piece.size());
        if (end.status == Status::kNeedMore) FUZZ_CHECK(used == piece.size());
        end.used += used;
    }
    return end;
}

// The same body read in one piece and in many ends alike: where it ends does not depend on
// how the bytes arrive. `whole` and `pieces` have both read the same head.
inline BodyEnd CheckBodyEnd(HttpMessageParser& whole, HttpMessageParser& pieces,
                            std::string_view bytes, uint32_t seed) {
    using Status = HttpMessageParser::Status;
    BodyEnd once;
    once.status = bytes.empty() ? Status::kNeedMore : whole.ReadBody(bytes, once.used);
    const BodyEnd many = ReadBodyInPieces(pieces, bytes, seed);
    FUZZ_CHECK(once.status == many.status);
    if (once.status == Status::kComplete) FUZZ_CHECK(once.used == many.used);
    return once;
}
