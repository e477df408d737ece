#include "core/board_syntax.hpp"

#include <cstdint>

namespace rz {

size_t SkipString(std::string_view all, size_t quote) {
    for (size_t k = quote + 1; k < all.size(); ++k) {
        const char c = all[k];
        if (c == '\n') {
            return k;
        }
        if (c == '"') {
            return k + 1;
        }
        if (c == '\\' && k + 1 < all.size() && all[k + 1] != '\n') {
            ++k;
        }
    }
    return all.size();
}

size_t CloseOfList(std::string_view all, size_t open) {
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
    return all.empty() ? 0 : all.size() - 1;
}

} // namespace rz
