#include "server/HttpMessageParser.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

HttpMessageParser& Self(http_parser* parser) {
    return *static_cast<HttpMessageParser*>(parser->data);
}

// Where the head ends: after the first empty line, where a line ends in LF with or without a
// CR before it, as http_parser reads it ("\n\r\n" too, else a body could hide in the head).
size_t HeadEnd(std::string_view bytes) {
    for (size_t lf = bytes.find('\n'); lf != std::string_view::npos;
         lf = bytes.find('\n', lf + 1)) {
        if (bytes.substr(lf + 1, 1) == "\n") return lf + 2;
        if (bytes.substr(lf + 1, 2) == "\r\n") return lf + 3;
    }
    return 0;
}

// RFC 9110 tchar: what a field name is made of. Whitespace before the colon is not, so
// "Content-Length : 5" is refused instead of being framing to one reader and not to another.
bool IsToken(std::string_view name) {
    static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    if (name.empty()) return false;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            kSymbols.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ChunkedFraming::Result ChunkedFraming::Feed(std::string_view bytes, size_t& used) {
    size_t at = 0;
    while (at < bytes.size() && state_ != State::kDone) {
        if (state_ == State::kData) {  // chunk data is skipped, not looked at
            const size_t take = static_cast<size_t>(std::min<uint64_t>(size_, bytes.size() - at));
            at += take;
            size_ -= take;
            if (size_ == 0) state_ = State::kDataCr;
            continue;
        }
        const char c = bytes[at++];
        const auto expect = [&](char wanted, State next) {
            if (c != wanted) return false;
            state_ = next;
            return true;
        };
        bool ok = true;
        switch (state_) {
            case State::kSize:
            case State::kSizeMore:
                if (const int digit = HexDigit(c); digit >= 0) {
                    if (size_ >> 59 != 0) return Result::kBad;  // would overflow
                    size_ = size_ << 4 | static_cast<uint64_t>(digit);
                    state_ = State::kSizeMore;
                } else if (state_ == State::kSizeMore && (c == ';' || c == ' ' || c == '\t')) {
                    state_ = State::kExtension;
                } else {
                    ok = state_ == State::kSizeMore && expect('\r', State::kSizeLf);
                }
                break;
            case State::kExtension:
                ok = c != '\n';
                if (c == '\r') state_ = State::kSizeLf;
                break;
            case State::kSizeLf:
                ok = expect('\n', size_ == 0 ? State::kTrailerStart : State::kData);
                break;
            case State::kDataCr:
                ok = expect('\r', State::kDataLf);
                break;
            case State::kDataLf:
                ok = expect('\n', State::kSize);
                break;
            case State::kTrailerStart:
                ok = c != '\n';
                state_ = c == '\r' ? State::kEndLf : State::kTrailer;
                break;
            case State::kTrailer:
                ok = c != '\n';
                if (c == '\r') state_ = State::kTrailerLf;
                break;
            case State::kTrailerLf:
                ok = expect('\n', State::kTrailerStart);
                break;
            case State::kEndLf:
                ok = expect('\n', State::kDone);
                break;
            case State::kData:
            case State::kDone:
                break;
        }
        if (!ok) return Result::kBad;
    }
    used = at;
    return state_ == State::kDone ? Result::kDone : Result::kMore;
}

const std::string* HttpHead::Find(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (field.size() == name.size() &&
            strncasecmp(field.data(), name.data(), name.size()) == 0) {
            return &value;
        }
    }
    return nullptr;
}

HttpMessageParser::HttpMessageParser(Kind kind) : kind_(kind) {
    http_parser_settings_init(&settings_);
    settings_.on_url = &HttpMessageParser::OnUrl;
    settings_.on_header_field = &HttpMessageParser::OnHeaderField;
    settings_.on_header_value = &HttpMessageParser::OnHeaderValue;
    settings_.on_headers_complete = &HttpMessageParser::OnHeadersComplete;
    settings_.on_message_complete = &HttpMessageParser::OnMessageComplete;
    Reset();
}

void HttpMessageParser::Reset(bool noBody) {
    http_parser_init(&parser_, kind_ == Kind::kRequest ? HTTP_REQUEST : HTTP_RESPONSE);
    parser_.data = this;
    head_ = nullptr;
    noBody_ = noBody;
    headDone_ = messageDone_ = valueLast_ = chunked_ = false;
    chunks_.Reset();
}

HttpMessageParser::Status HttpMessageParser::ReadHead(std::string_view bytes, size_t maxHead,
                                                      HttpHead& head) {
    const size_t end = HeadEnd(bytes.substr(0, maxHead + 1));
    if (end == 0 || end > maxHead) {
        return bytes.size() > maxHead || end > maxHead ? Status::kTooLarge : Status::kNeedMore;
    }
    // A bare CR lets http_parser end the head elsewhere than at the empty line found above (and
    // read a body inside it): refused, so that the message is never framed two ways.
    for (size_t at = bytes.find('\r'); at < end; at = bytes.find('\r', at + 1)) {
        if (at + 1 >= end || bytes[at + 1] != '\n') return Status::kBad;
    }
    head = HttpHead{};
    head.length = end;
    head_ = &head;
    const size_t parsed = http_parser_execute(&parser_, &settings_, bytes.data(), end);
    head_ = nullptr;
    const auto error = HTTP_PARSER_ERRNO(&parser_);
    if ((error != HPE_OK && error != HPE_PAUSED) || !headDone_ || parsed != end) {
        return Status::kBad;
    }
    // A status is three digits (http_parser takes "1" as well).
    if (kind_ == Kind::kResponse && head.status < 100) return Status::kBad;
    for (const auto& field : head.headers) {
        if (!IsToken(field.first)) return Status::kBad;
    }
    head.complete = messageDone_;
    return messageDone_ ? Status::kComplete : Status::kHead;
}

HttpMessageParser::Status HttpMessageParser::ReadBody(std::string_view bytes, size_t& used) {
    used = 0;
    if (messageDone_) return Status::kComplete;
    if (bytes.empty()) return Status::kNeedMore;
    used = http_parser_execute(&parser_, &settings_, bytes.data(), bytes.size());
    const auto error = HTTP_PARSER_ERRNO(&parser_);
    if (error != HPE_OK && error != HPE_PAUSED) return Status::kBad;
    if (chunked_) {
        // Both readers must end the body at the same byte.
        size_t end = 0;
        const auto framing = chunks_.Feed(bytes.substr(0, used), end);
        if (framing == ChunkedFraming::Result::kBad ||
            (framing == ChunkedFraming::Result::kDone) != messageDone_ ||
            (messageDone_ && end != used)) {
            return Status::kBad;
        }
    }
    return messageDone_ ? Status::kComplete : Status::kNeedMore;
}

bool HttpMessageParser::Finish() {
    if (messageDone_) return true;
    if (!headDone_) return false;
    http_parser_execute(&parser_, &settings_, nullptr, 0);
    return messageDone_;
}

void HttpMessageParser::TrimWhitespace(std::string& value) {
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) {
        value.clear();
        return;
    }
    value.erase(value.find_last_not_of(" \t") + 1);
    value.erase(0, first);
}

int HttpMessageParser::OnUrl(http_parser* parser, const char* at, size_t length) {
    if (auto* head = Self(parser).head_) head->target.append(at, length);
    return 0;
}

int HttpMessageParser::OnHeaderField(http_parser* parser, const char* at, size_t length) {
    auto& self = Self(parser);
    if (self.head_ == nullptr) return 0;  // trailers of a chunked body: passed on, not kept
    if (self.valueLast_ || self.head_->headers.empty()) self.head_->headers.emplace_back();
    self.head_->headers.back().first.append(at, length);
    self.valueLast_ = false;
    return 0;
}

int HttpMessageParser::OnHeaderValue(http_parser* parser, const char* at, size_t length) {
    auto& self = Self(parser);
    if (self.head_ == nullptr || self.head_->headers.empty()) return 0;
    self.head_->headers.back().second.append(at, length);
    self.valueLast_ = true;
    return 0;
}

int HttpMessageParser::OnHeadersComplete(http_parser* parser) {
    auto& self = Self(parser);
    self.headDone_ = true;
    const int status = static_cast<int>(parser->status_code);
    // These responses end at their empty line; a length they carry describes another answer.
    const bool noBody =
        self.kind_ == Kind::kResponse &&
        (self.noBody_ || (status >= 100 && status < 200) || status == 204 || status == 304);
    self.chunked_ = !noBody && (parser->flags & F_CHUNKED) != 0;
    if (auto* head = self.head_) {
        // A field's value excludes the whitespace around it (RFC 9110 section 5.5); kept, a
        // folded line's tab ("5\t") would be passed on as a length the origin cannot read.
        for (auto& field : head->headers) TrimWhitespace(field.second);
        head->method = parser->method;
        head->status = static_cast<int>(parser->status_code);
        head->versionMajor = parser->http_major;
        head->versionMinor = parser->http_minor;
        head->keepAlive = http_should_keep_alive(parser) != 0;
        const bool framed = (parser->flags & (F_CHUNKED | F_CONTENTLENGTH)) != 0;
        head->bodyUntilEof = self.kind_ == Kind::kResponse && !framed && !noBody;
        if (head->bodyUntilEof) head->keepAlive = false;
    }
    // A CONNECT request has no body here: what follows is the tunnel.
    if (self.kind_ == Kind::kRequest && parser->method == HTTP_CONNECT) return 2;
    return noBody ? 1 : 0;
}

int HttpMessageParser::OnMessageComplete(http_parser* parser) {
    auto& self = Self(parser);
    self.messageDone_ = true;
    http_parser_pause(parser, 1);  // the next message is the caller's to start
    return 0;
}
