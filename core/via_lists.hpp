// Where the via lists of a board are.
//
// Since KiCad 8 a via is a block of lines: "(via" alone on a line, then its fields,
// then ")"; before, a via stood on one line. A via list opens with "(via" followed by
// a blank, a parenthesis or the line's end ("(via_drill" and "(vias" are other lists)
// and closes with the ")" that balances it. Parentheses inside double-quoted strings
// do not count; in a string a backslash escapes the next character, and a string ends
// at the end of its line at the latest (KiCad writes a line break in a string as "\n",
// so an unbalanced quote cannot hide the rest of the file).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rz {

struct ViaList {
    size_t Open;  // position of its "("
    size_t Close; // position of its ")", or the last position when it never closes
};

// The via lists in `all` (lines separated by "\n"), in order; a "(via" inside a via
// list opens nothing of its own.
std::vector<ViaList> FindViaLists(const std::string& all);

// The same lists, found while a search that meets every "(via" in `all` in order
// passes by (so that one pass over a board can look for other markers too).
class ViaListFinder {
public:
    explicit ViaListFinder(const std::string& all) : all_(all) {}
    // A "(via" at `at`; every earlier one has been met.
    void Meet(size_t at);
    const std::vector<ViaList>& Lists() const { return lists_; }

private:
    const std::string& all_;
    std::vector<ViaList> lists_;
    size_t from_ = 0; // a "(via" before this lies inside a list found
};

} // namespace rz
