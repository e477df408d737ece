// Measuring, cutting, searching, comparing and replacing texts. Counts and positions
// out of range are clamped rather than rejected, so none of these can fail.
#include "text/text.hpp"

#include <algorithm>
#include <cstddef>

namespace rz {

namespace {

// A count clamped to 0 .. length of t.
std::size_t ClampCount(const Text& t, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(count), t.size());
}

} // namespace

int32_t TextLength(const Text& t) {
    return static_cast<int32_t>(t.size());
}

Text LeftText(const Text& t, int32_t count) {
    return t.substr(0, ClampCount(t, count));
}

Text RightText(const Text& t, int32_t count) {
    return t.substr(t.size() - ClampCount(t, count));
}

Text MidText(const Text& t, int32_t start, int32_t count) {
    // A negative count means nothing, not "to the end".
    const std::size_t k = count < 0 ? 0 : static_cast<std::size_t>(count);
    const std::size_t s = start < 1 ? 1 : static_cast<std::size_t>(start);
    if (s > t.size()) {
        return Text();
    }
    return t.substr(s - 1, k);
}

int32_t FindSubstring(const Text& t, const Text& needle) {
    return FindSubstring(t, needle, 1);
}

int32_t FindSubstring(const Text& t, const Text& needle, int32_t start) {
    if (t.empty() || needle.empty()) {
        return 0;
    }
    // Positions count from the start of t whatever the start; a start past the end
    // (length + 1 after clamping) simply finds nothing.
    const std::size_t s = start < 1 ? 1 : std::min(static_cast<std::size_t>(start), t.size() + 1);
    const std::size_t at = t.find(needle, s - 1);
    return at == Text::npos ? 0 : static_cast<int32_t>(at + 1);
}

bool TextEquals(const Text& a, const Text& b) {
    return a == b;
}

Text ReplaceAllText(const Text& t, const Text& needle, const Text& replacement) {
    if (needle.empty() || t.empty()) {
        return t;
    }
    // Resuming each search right behind the previous occurrence gives exactly the
    // leftmost, non-overlapping scan; the replacement is never searched.
    std::size_t n = 0;
    for (std::size_t at = t.find(needle); at != Text::npos;
         at = t.find(needle, at + needle.size())) {
        ++n;
    }
    if (n == 0) {
        return t;
    }
    Text out;
    out.reserve(t.size() - n * needle.size() + n * replacement.size());
    std::size_t from = 0;
    for (std::size_t at = t.find(needle); at != Text::npos; at = t.find(needle, from)) {
        out.append(t, from, at - from);
        out.append(replacement);
        from = at + needle.size();
    }
    out.append(t, from, Text::npos);
    return out;
}

int CompareTexts(const Text& a, const Text& b) {
    // char16_t is unsigned, so this compares code units as unsigned 16-bit numbers,
    // with a proper prefix first.
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

} // namespace rz
