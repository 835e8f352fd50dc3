#pragma once

#include <functional>
#include <optional>

// Binary search for the points of a sorted series that fall inside an axis range.
namespace chart {

struct IndexRange {
    unsigned first = 0;
    unsigned last = 0;
    bool operator==(const IndexRange&) const = default;
};

// Boundary search on [a, b] (a <= b) for v over ascending keys: ends next to the place where
// the keys pass v; b when every key is <= v, a when every key is > v.
template <class KeyAt>
int BoundarySearch(const KeyAt& key, int a, int b, double v) {
    for (;;) {
        const int m = a + (b - a) / 2;
        if (key(m) <= v) {
            if (m >= b) return b;
            a = m + 1;
        } else {
            if (a >= m) return a;
            b = m - 1;
        }
    }
}

// First and last index of the points whose key lies within [min, max] (boundary points
// included); nullopt for an empty series.
template <class KeyAt>
std::optional<IndexRange> VisibleIndexRange(const KeyAt& key, unsigned count, double min,
                                            double max) {
    if (count == 0) return std::nullopt;
    const int L = static_cast<int>(count) - 1;
    const int m = L / 2;
    int first;
    if (key(m) > min)
        first = L < 2 ? 0 : BoundarySearch(key, 0, m - 1, min);
    else
        first = m == L ? L : BoundarySearch(key, m + 1, L, min);
    const int m2 = first + (L - first) / 2;
    int last;
    if (key(m2) > max)
        last = first < m2 ? BoundarySearch(key, first, m2 - 1, max) : first;
    else
        last = m2 == L ? L : BoundarySearch(key, m2 + 1, L, max);
    return IndexRange{static_cast<unsigned>(first), static_cast<unsigned>(last)};
}

// Widens a visible range by one point on each side so that segments crossing the range
// edges are drawn.
inline IndexRange WidenByOne(IndexRange r, unsigned count) {
    if (r.first > 0) --r.first;
    if (r.last + 1 < count) ++r.last;
    return r;
}

}  // namespace chart
