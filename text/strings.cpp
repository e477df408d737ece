// Measuring, cutting, searching and comparing texts. Counts out of range are clamped
// rather than rejected, so none of these can fail.
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

int32_t FindSubstring(const Text& t, const Text& needle) {
    if (t.empty() || needle.empty()) {
        return 0;
    }
    const std::size_t at = t.find(needle);
    return at == Text::npos ? 0 : static_cast<int32_t>(at + 1);
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
