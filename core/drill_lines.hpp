// The drill token of each line of a board, found in one pass for collection and for the
// rewrite alike, so that what is listed and what is replaced cannot disagree.
//
// A line's token begins at its first "(drill " and ends with the first ")" after it on
// the line. KiCad 8 and later write a drill with an offset over several lines:
//         (drill 0.45
//             (offset -0.5 0)
//         )
// When the line holds no ")" after the marker, the marker lies in no via list and its
// drill list closes on a later line, the token is the bytes from the marker to the first
// ")" after it with each line end and the indentation behind it read as one blank:
// "(drill 0.45 (offset -0.5 0)", the text the one-line form gives. A drill list that
// never closes (a file cut short) gives no token, as it does on one line; so does one
// whose text would run into another "(drill ": no drill holds one, and the lists of a
// damaged file nested that way would make tokens that grow with the square of its size.
// "(drill (offset X Y))", which KiCad writes for a pad without a hole, gives no token.
#pragma once

#include "core/line_store.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace rz {

struct LineDrill {
    size_t Line = 0;      // the line's index
    size_t Marker = 0;    // where its first "(drill " is in the store's bytes
    bool ViaLine = false; // the line opens or lies in a via list, or holds "(via "
    // The token, empty when the line has none; valid only during the call.
    std::string_view Token;
    // Where the token's bytes end in the store (behind its ")"); beyond the end of the
    // line for a token over several lines.
    size_t TokenEnd = 0;
};

// Calls `visit` for each line below `count` that holds "(drill ", in order, until it
// gives false. One pass over the store's bytes, however long its lines.
void ForEachLineDrill(const LineStore& lines, size_t count,
                      const std::function<bool(const LineDrill&)>& visit);

// Where the text of a token that goes on past its line ends: behind the first ")" after
// the marker at `marker`, or npos when another "(drill " comes first or no ")" follows.
// Reading stops at the next marker, so no byte is read for two markers.
size_t JoinedTokenEnd(std::string_view all, size_t marker);

// Bytes over several lines read as one line: each line end ("\n") and the blanks and
// tabs after it become one blank.
std::string JoinLines(std::string_view bytes);

} // namespace rz
