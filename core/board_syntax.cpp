#include "core/board_syntax.hpp"

#include "text/byte_block.hpp"

#include <bit>
#include <cstdint>

namespace rz {

size_t SkipString(std::string_view all, size_t quote) {
    const size_t n = all.size();
    size_t k = quote + 1;
    while (k < n) {
        // Names and uuids fill most strings: sixteen bytes at a time to the next quote,
        // backslash or line end.
        if (k + ByteBlock::kSize <= n) {
            const ByteBlock block(all.data() + k);
            const uint32_t stops = block.Equal('"') | block.Equal('\\') | block.Equal('\n');
            if (stops == 0) {
                k += ByteBlock::kSize;
                continue;
            }
            k += static_cast<size_t>(std::countr_zero(stops));
        }
        const char c = all[k];
        if (c == '\n') {
            return k;
        }
        if (c == '"') {
            return k + 1;
        }
        k += c == '\\' && k + 1 < n && all[k + 1] != '\n' ? 2 : 1;
    }
    return n;
}

namespace {

// The closing ")", or the size of `all` when the list never closes.
size_t CloseOrEnd(std::string_view all, size_t open) {
    int64_t level = 0;
    for (size_t k = open; k < all.size(); ++k) {
        const char c = all[k];
        if (c == '"') {
            k = SkipString(all, k) - 1; // the loop steps onto what follows the string
        } else if (c == '(') {
            ++level;
        } else if (c == ')' && --level == 0) {
            return k;
        }
    }
    return all.size();
}

} // namespace

size_t CloseOfList(std::string_view all, size_t open) {
    const size_t close = CloseOrEnd(all, open);
    return close < all.size() || all.empty() ? close : all.size() - 1;
}

bool ListCloses(std::string_view all, size_t open) {
    return CloseOrEnd(all, open) < all.size();
}

} // namespace rz
