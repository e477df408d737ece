// Quicksort of a range of texts. Texts that compare equal are identical, so the sorted
// range never depends on the pivot; the pivot rule still matters for the time taken.
// A table that arrives sorted or reversed (a board saved with its pads in order of
// size) would make a first-slot pivot quadratic; the median of the first, middle and
// last slot splits it evenly. The rule is fixed, not random, so that a board always
// costs the same comparisons and a slow case, once seen, can be replayed.
#include "text/text.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace rz {

namespace {

bool Less(const Text& a, const Text& b) {
    return CompareTexts(a, b) < 0;
}

// Median-of-three style choice between the first, middle and last slot.
std::size_t PivotSlot(const std::vector<Text>& table, std::size_t first, std::size_t last) {
    const std::size_t mid = first + (last - first) / 2;
    if (CompareTexts(table[first], table[last]) <= 0) {
        if (CompareTexts(table[mid], table[first]) <= 0) {
            return first;
        }
        if (Less(table[mid], table[last])) {
            return mid;
        }
        return last;
    }
    return mid;
}

// Hoare partition around the text moved to slot first; returns j with first <= j < last.
// Slots exchange their strings (no text is copied); the pivot text is followed as it
// moves, so it never needs a copy of its own either.
std::size_t Partition(std::vector<Text>& table, std::size_t first, std::size_t last) {
    std::swap(table[PivotSlot(table, first, last)], table[first]);
    std::size_t pivot = first;
    // i and j start one outside the range; kept as offsets by one to stay unsigned.
    std::size_t i = first;    // i - 1 is the real index
    std::size_t j = last + 2; // j - 1 is the real index
    for (;;) {
        do {
            --j;
        } while (Less(table[pivot], table[j - 1]));
        do {
            ++i;
        } while (Less(table[i - 1], table[pivot]));
        if (i >= j) {
            return j - 1;
        }
        std::swap(table[i - 1], table[j - 1]);
        if (pivot == i - 1) {
            pivot = j - 1;
        } else if (pivot == j - 1) {
            pivot = i - 1;
        }
    }
}

} // namespace

void SortTextRange(std::vector<Text>& table, int32_t first, int32_t last) {
    // Indices outside the table would be undefined behaviour; keep to the table instead.
    if (first < 0) {
        first = 0;
    }
    if (table.empty() || last < 1) {
        return;
    }
    std::size_t lo = static_cast<std::size_t>(first);
    std::size_t hi = std::min(static_cast<std::size_t>(last), table.size() - 1);
    // Recurse into the smaller part and loop on the larger one: the order that results
    // is the same, and the stack stays logarithmic even on adversarial tables.
    while (lo < hi) {
        const std::size_t j = Partition(table, lo, hi);
        if (j - lo < hi - (j + 1)) {
            if (lo < j) {
                SortTextRange(table, static_cast<int32_t>(lo), static_cast<int32_t>(j));
            }
            lo = j + 1;
        } else {
            if (j + 1 < hi) {
                SortTextRange(table, static_cast<int32_t>(j + 1), static_cast<int32_t>(hi));
            }
            hi = j;
        }
    }
}

} // namespace rz
