#include "server/HttpMessageParser.h"

#include <strings.h>

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

}  // namespace

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
    headDone_ = messageDone_ = valueLast_ = false;
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
    return messageDone_ ? Status::kComplete : Status::kNeedMore;
}

bool HttpMessageParser::Finish() {
    if (messageDone_) return true;
    if (!headDone_) return false;
    http_parser_execute(&parser_, &settings_, nullptr, 0);
    return messageDone_;
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
    if (auto* head = self.head_) {
        head->method = parser->method;
        head->status = static_cast<int>(parser->status_code);
        head->versionMajor = parser->http_major;
        head->versionMinor = parser->http_minor;
        head->keepAlive = http_should_keep_alive(parser) != 0;
        const bool framed = (parser->flags & (F_CHUNKED | F_CONTENTLENGTH)) != 0;
        const int status = head->status;
        head->bodyUntilEof = self.kind_ == Kind::kResponse && !framed && !self.noBody_ &&
                             status >= 200 && status != 204 && status != 304;
        if (head->bodyUntilEof) head->keepAlive = false;
    }
    // A CONNECT request has no body here: what follows is the tunnel.
    if (self.kind_ == Kind::kRequest && parser->method == HTTP_CONNECT) return 2;
    return self.noBody_ ? 1 : 0;
}

int HttpMessageParser::OnMessageComplete(http_parser* parser) {
    auto& self = Self(parser);
    self.messageDone_ = true;
    http_parser_pause(parser, 1);  // the next message is the caller's to start
    return 0;
}
