// Tells which lines of a board lie inside a via list.
//
// Since KiCad 8 a via is a block of lines: "(via" alone on a line, then its fields,
// then ")". The tracker follows the parentheses across lines, outside of double-quoted
// strings (in which a backslash escapes the next character), and remembers where a
// "(via" list opened.
#pragma once

#include <cstdint>
#include <string_view>

namespace rz {

class ViaTracker {
public:
    // Feeds the next line. True when any part of it lies inside a via list: one
    // opened on an earlier line and not yet closed, or one that opens on this line.
    bool FeedLine(std::u16string_view line);

    // Nesting depth after the lines fed so far (0 when balanced).
    int64_t Depth() const { return depth_; }

private:
    int64_t depth_ = 0;
    int64_t viaDepth_ = -1; // depth of the open via list, -1 outside one
    bool inString_ = false;
    bool escaped_ = false;
};

} // namespace rz
