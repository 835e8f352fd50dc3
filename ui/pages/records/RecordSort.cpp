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

// Byte order, eight bytes at a time: the entries are sorted by the eight bytes at `depth`;
// each run of entries equal there whose texts go on is sorted again by the next eight, and so
// on. Every comparison reads only the compact entries, never the scattered texts.
void SortByBytes(std::vector<uint32_t>& order,
                 const std::function<std::string_view(uint32_t)>& textOf, bool descending) {
    constexpr uint32_t kGoesOn = UINT32_MAX;
    struct Entry {
        uint64_t head;  // the eight bytes at the current depth
        uint32_t rest;  // bytes left from the depth when they fit the head, else kGoesOn
        uint32_t pos;
        const char* data;
        uint32_t size;
    };
    std::vector<Entry> entries(order.size());
    for (uint32_t i = 0; i < entries.size(); ++i) {
        const std::string_view text = textOf(order[i]);
        entries[i] = {0, 0, i, text.data(), static_cast<uint32_t>(text.size())};
    }
    const auto load = [](Entry& e, size_t depth) {
        const size_t left = e.size > depth ? e.size - depth : 0;
        e.head = Head(std::string_view(e.data + std::min<size_t>(depth, e.size), left));
        e.rest = left <= 8 ? static_cast<uint32_t>(left) : kGoesOn;
    };
    const auto less = [descending](const Entry& a, const Entry& b) {
        if (a.head != b.head) return descending ? a.head > b.head : a.head < b.head;
        if (a.rest != b.rest) return descending ? a.rest > b.rest : a.rest < b.rest;
        return a.pos < b.pos;
    };
    struct Run {
        size_t begin, end, depth;
    };
    std::vector<Run> runs{{0, entries.size(), 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        for (size_t i = run.begin; i < run.end; ++i) load(entries[i], run.depth);
        std::sort(entries.begin() + run.begin, entries.begin() + run.end, less);
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && entries[j].head == entries[i].head &&
                   entries[j].rest == entries[i].rest) {
                ++j;
            }
            if (entries[i].rest == kGoesOn && j - i > 1) runs.push_back({i, j, run.depth + 8});
            i = j;
        }
    }
    std::vector<uint32_t> sorted(order.size());
    for (size_t i = 0; i < entries.size(); ++i) sorted[i] = order[entries[i].pos];
    order.swap(sorted);
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
        SortByBytes(order, textOf, descending);
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
