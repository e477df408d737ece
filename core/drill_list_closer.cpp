#include "core/drill_list_closer.hpp"

#include "core/board_syntax.hpp"

#include <algorithm>

namespace rz {

namespace {

// The depth at `end` of the lists opened from `open` on, strings seen from `open`.
int64_t OpenedUpTo(std::string_view all, size_t open, size_t end) {
    int64_t depth = 0;
    for (size_t k = open; k < end; ++k) {
        if (all[k] == '"') {
            k = SkipString(all, k) - 1;
        } else if (all[k] == '(') {
            ++depth;
        }
    }
    return depth;
}

} // namespace

size_t DrillListCloser::CloseOf(size_t open) {
    if (open >= read_) {
        if (waiting_.empty()) {
            // No list read so far is still open: what lies before `open` cannot matter.
            read_ = open;
            depth_ = 0;
        }
        while (read_ <= open) {
            ReadLine();
        }
    }
    while (asked_ < met_.size() && met_[asked_].At < open) {
        ++asked_;
    }
    if (asked_ == met_.size() || met_[asked_].At != open) {
        return CloseOfList(all_, open); // not a marker this pass notes
    }
    while (met_[asked_].Close == kOpen && read_ < all_.size()) {
        ReadLine();
    }
    const size_t close = met_[asked_].Close;
    return close != kOpen ? close : all_.size() - 1;
}

// Reads from read_ to the end of its line. Since a string ends at a line end at the
// latest, every line after the first is read as CloseOfList from any earlier "(" would
// read it, whatever that "(" is.
void DrillListCloser::ReadLine() {
    const size_t start = read_;
    const size_t end = std::min(all_.find('\n', start), all_.size());
    const auto deeper = [](const auto& a, const auto& b) { return a.first < b.first; };
    for (size_t k = start; k < end; ++k) {
        const char c = all_[k];
        if (c == '"') {
            k = SkipString(all_, k) - 1;
        } else if (c == '(') {
            ++depth_;
        } else if (c == ')') {
            --depth_;
            while (!waiting_.empty() && waiting_.front().first >= depth_) {
                met_[waiting_.front().second].Close = k;
                std::pop_heap(waiting_.begin(), waiting_.end(), deeper);
                waiting_.pop_back();
            }
        }
    }
    const std::string_view line = all_.substr(start, end - start);
    const size_t marker = line.find("(drill ");
    if (marker != std::string_view::npos && line.find(')', marker) == std::string_view::npos) {
        // Its list is as deep after the line as before its "(" plus what it opened, seen
        // from the marker itself (a quote before it on the line does not count for it).
        const int64_t opened = OpenedUpTo(all_, start + marker, end);
        met_.push_back({start + marker, kOpen});
        waiting_.emplace_back(depth_ - opened, met_.size() - 1);
        std::push_heap(waiting_.begin(), waiting_.end(), deeper);
    }
    read_ = end + 1;
}

} // namespace rz
