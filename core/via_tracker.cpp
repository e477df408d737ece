#include "core/via_tracker.hpp"

namespace rz {

namespace {

// "(via" opens a via list when the keyword ends there: "(via_drill" and "(vias" are
// other lists.
bool ViaKeywordAt(std::u16string_view line, size_t open) {
    if (line.substr(open + 1, 3) != u"via") {
        return false;
    }
    if (open + 4 == line.size()) {
        return true;
    }
    const char16_t next = line[open + 4];
    return next == u' ' || next == u'\t' || next == u'(' || next == u')' || next == u'\r' ||
           next == u'\n';
}

} // namespace

bool ViaTracker::FeedLine(std::u16string_view line) {
    bool inside = viaDepth_ >= 0;
    for (size_t k = 0; k < line.size(); ++k) {
        const char16_t c = line[k];
        if (inString_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == u'\\') {
                escaped_ = true;
            } else if (c == u'"') {
                inString_ = false;
            }
            continue;
        }
        if (c == u'"') {
            inString_ = true;
        } else if (c == u'(') {
            ++depth_;
            if (viaDepth_ < 0 && ViaKeywordAt(line, k)) {
                viaDepth_ = depth_;
                inside = true;
            }
        } else if (c == u')') {
            if (depth_ == viaDepth_) {
                viaDepth_ = -1;
            }
            --depth_;
        }
    }
    return inside;
}

} // namespace rz
