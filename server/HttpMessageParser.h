#pragma once

#include <http_parser.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The head of one HTTP/1.x request or response, as read by HttpMessageParser.
struct HttpHead {
    unsigned method = 0;  // http_method, requests only
    int status = 0;       // responses only
    std::string target;   // request target as sent
    unsigned short versionMajor = 1;
    unsigned short versionMinor = 1;
    std::vector<std::pair<std::string, std::string>> headers;
    bool keepAlive = false;     // the sender keeps the connection after this message
    bool bodyUntilEof = false;  // a response whose body ends when the connection does
    bool complete = false;      // the message ends with its head (no body)
    size_t length = 0;          // bytes of the head, final empty line included

    // The first header of that name (case-insensitive), or null.
    const std::string* Find(std::string_view name) const;
};

// Checks a chunked body's framing as RFC 9112 writes it, beside http_parser (which takes any
// byte after a chunk's data as its CRLF and ignores a bare LF inside a chunk extension): a
// body another reader could frame differently is refused rather than passed on.
class ChunkedFraming {
public:
    enum class Result { kMore, kDone, kBad };
    void Reset() { *this = ChunkedFraming{}; }
    // The next bytes of the body; `used` is where the body ended when kDone.
    Result Feed(std::string_view bytes, size_t& used);

private:
    enum class State {
        kSize,
        kSizeMore,
        kExtension,
        kSizeLf,
        kData,
        kDataCr,
        kDataLf,
        kTrailerStart,
        kTrailer,
        kTrailerLf,
        kEndLf,
        kDone
    };
    State state_ = State::kSize;
    uint64_t size_ = 0;
};

// Reads one HTTP/1.x message after another from a byte stream, over http_parser: first the
// head, whose fields are collected, then the body, whose bytes are only measured so that the
// caller passes them on unchanged (chunked or with a length). Holds no bytes itself.
//
// Refused as kBad besides what http_parser refuses: a field name that is not a token
// (whitespace before the colon), a bare CR in the head, a chunked body framed loosely.
// Responses to HEAD and 1xx, 204 and 304 responses end with their head whatever their
// fields say (RFC 9112 section 6.3).
class HttpMessageParser {
public:
    enum class Kind { kRequest, kResponse };
    enum class Status { kNeedMore, kHead, kComplete, kBad, kTooLarge };

    explicit HttpMessageParser(Kind kind);
    HttpMessageParser(const HttpMessageParser&) = delete;
    HttpMessageParser& operator=(const HttpMessageParser&) = delete;

    // Starts the next message. `noBody`: a response to HEAD, whose head ends it.
    void Reset(bool noBody = false);

    // `bytes` is everything received since the message began. kHead (or kComplete when the
    // message has no body) once the whole head is there; kTooLarge when the head does not end
    // within `maxHead` bytes.
    Status ReadHead(std::string_view bytes, size_t maxHead, HttpHead& head);

    // Body bytes that follow the head. `used` is how many of them belong to this message;
    // kComplete once the body has ended (the rest belongs to the next message).
    Status ReadBody(std::string_view bytes, size_t& used);

    // The peer closed its side: true when that cleanly ends a body that runs until then.
    bool Finish();

private:
    static void TrimWhitespace(std::string& value);
    static int OnUrl(http_parser* parser, const char* at, size_t length);
    static int OnHeaderField(http_parser* parser, const char* at, size_t length);
    static int OnHeaderValue(http_parser* parser, const char* at, size_t length);
    static int OnHeadersComplete(http_parser* parser);
    static int OnMessageComplete(http_parser* parser);

    Kind kind_;
    http_parser parser_{};
    http_parser_settings settings_{};
    HttpHead* head_ = nullptr;  // filled while the head is parsed
    bool noBody_ = false;
    bool headDone_ = false;
    bool messageDone_ = false;
    bool valueLast_ = false;  // the previous header callback was a value
    bool chunked_ = false;    // the body is chunked and checked by `chunks_`
    ChunkedFraming chunks_;
};
