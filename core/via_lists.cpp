#include "core/via_lists.hpp"

#include "core/board_syntax.hpp"

namespace rz {

namespace {

bool EndsViaKeyword(std::string_view all, size_t after) {
    if (after == all.size()) {
        return true;
    }
    const char next = all[after];
    return next == ' ' || next == '\t' || next == '(' || next == ')' || next == '\r' ||
           next == '\n';
}

} // namespace

// Positions are asked for in increasing order, so the reading for strings picks up
// where it stopped instead of starting again at the line's beginning; and since a string
// ends at its line's end at the latest, it skips the lines before the one of `at`.
bool ViaListFinder::InString(size_t at) {
    if (at < stringEnd_) {
        return true;
    }
    const size_t lineEnd = all_.substr(outside_, at - outside_).rfind('\n');
    if (lineEnd != std::string_view::npos) {
        outside_ += lineEnd + 1;
    }
    while (outside_ < at) {
        // Only up to `at`: looking further for every via would read a long line again
        // and again.
        const size_t quote = all_.substr(0, at).find('"', outside_);
        if (quote == std::string_view::npos) {
            outside_ = at;
            break;
        }
        outside_ = SkipString(all_, quote);
        if (outside_ > at) {
            stringEnd_ = outside_;
            return true;
        }
    }
    return false;
}

void ViaListFinder::Meet(size_t at) {
    if (at < from_ || !EndsViaKeyword(all_, at + 4) || InString(at)) {
        return;
    }
    const size_t close = CloseOfList(all_, at);
    lists_.push_back({at, close});
    // A list closes outside any string, so reading for strings may go on behind it.
    from_ = close + 1;
    outside_ = from_;
}

} // namespace rz
