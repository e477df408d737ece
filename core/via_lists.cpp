#include "core/via_lists.hpp"

#include "core/marker_search.hpp"

namespace rz {

namespace {

bool EndsViaKeyword(const std::string& all, size_t after) {
    if (after == all.size()) {
        return true;
    }
    const char next = all[after];
    return next == ' ' || next == '\t' || next == '(' || next == ')' || next == '\r' ||
           next == '\n';
}

// Whether position `at` lies inside a string, reading its line from the start.
bool InString(const std::string& all, size_t at) {
    size_t start = at;
    while (start > 0 && all[start - 1] != '\n') {
        --start;
    }
    bool inString = false;
    for (size_t k = start; k < at; ++k) {
        if (inString && all[k] == '\\') {
            ++k; // the escaped character
        } else if (all[k] == '"') {
            inString = !inString;
        }
    }
    return inString;
}

// The position of the ")" that closes the list opened at `open`.
size_t CloseOf(const std::string& all, size_t open) {
    int64_t level = 0;
    bool inString = false;
    for (size_t k = open; k < all.size(); ++k) {
        const char c = all[k];
        if (c == '\n') {
            inString = false;
        } else if (inString) {
            if (c == '\\' && k + 1 < all.size() && all[k + 1] != '\n') {
                ++k;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '(') {
            ++level;
        } else if (c == ')' && --level == 0) {
            return k;
        }
    }
    return all.empty() ? 0 : all.size() - 1;
}

} // namespace

void ViaListFinder::Meet(size_t at) {
    if (at < from_ || !EndsViaKeyword(all_, at + 4) || InString(all_, at)) {
        return;
    }
    const size_t close = CloseOf(all_, at);
    lists_.push_back({at, close});
    from_ = close + 1;
}

std::vector<ViaList> FindViaLists(const std::string& all) {
    ViaListFinder finder(all);
    for (size_t at = FindMarker(all, 0, "(via"); at < all.size();
         at = FindMarker(all, at + 1, "(via")) {
        finder.Meet(at);
    }
    return finder.Lists();
}

} // namespace rz
