#pragma once
// The texts of one fill, packed end to end in one buffer: a record keeps an offset and a size
// instead of a string object, so a million rows cost their bytes and little more. A text met
// again soon after (a user name, a busy host) is stored once and shared.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

// Where one text lies in a TextStore.
struct TextRef {
    uint32_t offset = 0;
    uint32_t size = 0;
};

class TextStore {
public:
    // Copies `text` in, followed by a NUL (so collation functions can read it in place), or
    // refers to an equal text added recently. False when the store would outgrow 32-bit
    // offsets; nothing is added then.
    bool Add(std::string_view text, TextRef& ref) {
        TextRef& recent = recent_[std::hash<std::string_view>{}(text) % kRecentSlots];
        if (recent.size == text.size() && recent.offset + recent.size < bytes_.size() &&
            bytes_[recent.offset + recent.size] == '\0' &&
            std::memcmp(bytes_.data() + recent.offset, text.data(), text.size()) == 0) {
            ref = recent;
            return true;
        }
        const uint64_t end = uint64_t{bytes_.size()} + text.size() + 1;
        if (end > std::numeric_limits<uint32_t>::max()) return false;
        ref = {static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(text.size())};
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.push_back('\0');
        recent = ref;
        return true;
    }

    std::string_view View(TextRef ref) const { return {bytes_.data() + ref.offset, ref.size}; }
    // NUL-terminated.
    const char* Data(TextRef ref) const { return bytes_.data() + ref.offset; }

    size_t Bytes() const { return bytes_.size(); }
    void Clear() {
        recent_.fill({});
        bytes_.clear();
        bytes_.shrink_to_fit();  // a smaller refill gives the memory back
    }

private:
    static constexpr size_t kRecentSlots = 4096;

    std::vector<char> bytes_;
    std::array<TextRef, kRecentSlots> recent_{};  // by hash of the text
};
