#include "ui/pages/records/RecordSort.h"

#include <algorithm>
#include <clocale>
#include <cstring>

namespace {

// The first eight bytes as a big-endian number, padded with zeros: comparing heads compares the
// texts' beginnings byte by byte.
uint64_t Head(std::string_view text) {
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i) {
        head = (head << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    }
    return head;
}

// Rows are gathered once into entries that carry the key, so the sort walks one compact array
// instead of reaching into the rows; `pos` (the present position) keeps equal keys in order.
template <typename Entry, typename Compare>
void SortEntries(std::vector<uint32_t>& order, std::vector<Entry>& entries, Compare compare,
                 bool descending) {
    std::sort(entries.begin(), entries.end(),
              [&compare, descending](const Entry& a, const Entry& b) {
                  const int c = compare(a, b);
                  if (c == 0) return a.pos < b.pos;
                  return descending ? c > 0 : c < 0;
              });
    std::vector<uint32_t> sorted(order.size());
    for (size_t i = 0; i < entries.size(); ++i) sorted[i] = order[entries[i].pos];
    order.swap(sorted);
}

template <typename Number>
int ThreeWay(Number a, Number b) {
    return (a < b) ? -1 : (b < a) ? 1 : 0;
}

}  // namespace

bool CollationIsByteOrder() {
    const char* name = std::setlocale(LC_COLLATE, nullptr);
    if (name == nullptr) return true;
    return std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

int CompareText(const char* a, const char* b) {
    return std::strcoll(a, b);
}

void SortByNumber(std::vector<uint32_t>& order, const std::function<uint64_t(uint32_t)>& keyOf,
                  bool descending) {
    struct Entry {
        uint64_t key;
        uint32_t pos;
    };
    std::vector<Entry> entries(order.size());
    for (uint32_t i = 0; i < entries.size(); ++i) entries[i] = {keyOf(order[i]), i};
    SortEntries(
        order, entries, [](const Entry& a, const Entry& b) { return ThreeWay(a.key, b.key); },
        descending);
}

void SortByText(std::vector<uint32_t>& order,
                const std::function<std::string_view(uint32_t)>& textOf, bool descending) {
    if (CollationIsByteOrder()) {
        struct Entry {
            uint64_t head;
            const char* data;
            uint32_t size;
            uint32_t pos;
        };
        std::vector<Entry> entries(order.size());
        for (uint32_t i = 0; i < entries.size(); ++i) {
            const std::string_view text = textOf(order[i]);
            entries[i] = {Head(text), text.data(), static_cast<uint32_t>(text.size()), i};
        }
        SortEntries(
            order, entries,
            [](const Entry& a, const Entry& b) {
                if (a.head != b.head) return ThreeWay(a.head, b.head);
                // Shared texts are equal; a text of up to eight bytes is its head (texts hold
                // no NUL), so equal heads leave only the lengths to compare.
                if (a.data == b.data) return 0;
                if (std::min(a.size, b.size) <= 8) return ThreeWay(a.size, b.size);
                return std::string_view(a.data, a.size).compare(std::string_view(b.data, b.size));
            },
            descending);
        return;
    }
    struct Entry {
        const char* data;
        uint32_t pos;
    };
    std::vector<Entry> entries(order.size());
    for (uint32_t i = 0; i < entries.size(); ++i) entries[i] = {textOf(order[i]).data(), i};
    SortEntries(
        order, entries,
        [](const Entry& a, const Entry& b) {
            return a.data == b.data ? 0 : CompareText(a.data, b.data);
        },
        descending);
}
