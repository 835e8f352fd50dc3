#include "server_link/ReplyFramer.h"

#include <limits>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ParseLengthHeader(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMax + 1) break;  // already out of range either way
    }
    if (negative) value = -value;
    if (value > kMax) return static_cast<int32_t>(kMax);
    if (value < kMin) return static_cast<int32_t>(kMin);
    return static_cast<int32_t>(value);
}

ReplyFramer::ReplyFramer(std::string& body) : body_(body) {}

ReplyFramer::Status ReplyFramer::Feed(std::string_view piece) {
    body_.append(piece);
    if (!headerRead_) {
        const size_t end = body_.find("\r\n", scanFrom_);
        if (end == std::string::npos) {
            // A "\r" at the very end may be completed by the next piece.
            scanFrom_ = body_.empty() ? 0 : body_.size() - 1;
            return Status::kNeedMore;
        }
        declaredLength_ = ParseLengthHeader(std::string_view(body_).substr(0, end));
        body_.erase(0, end + 2);
        headerRead_ = true;
        if (declaredLength_ < 0 || declaredLength_ > kMaxBodyLength) return Status::kFailed;
    }
    return Compare();
}

ReplyFramer::Status ReplyFramer::Compare() const {
    const size_t declared = static_cast<size_t>(declaredLength_);
    if (body_.size() < declared) return Status::kNeedMore;
    return body_.size() == declared ? Status::kComplete : Status::kFailed;
}
