// Where the via lists of a board are.
//
// Since KiCad 8 a via is a block of lines: "(via" alone on a line, then its fields,
// then ")"; before, a via stood on one line. A via list opens with "(via" outside a
// string, followed by a blank, a parenthesis or the line's end ("(via_drill" and
// "(vias" are other lists), and closes with the ")" that balances it (CloseOfList).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace rz {

struct ViaList {
    size_t Open;  // position of its "("
    size_t Close; // position of its ")", or the last position when it never closes
};

// The via lists of `all` (lines separated by "\n"), found while a search that meets
// every "(via" in order passes by, so that one pass over a board can look for other
// markers too. A "(via" inside a via list opens nothing of its own. Each byte is read
// a bounded number of times, however long the lines: a board written on one line
// costs what the same board with line breaks costs.
class ViaListFinder {
public:
    explicit ViaListFinder(std::string_view all) : all_(all) {}
    // A "(via" at `at`; every earlier one has been met.
    void Meet(size_t at);
    const std::vector<ViaList>& Lists() const { return lists_; }

private:
    bool InString(size_t at);

    std::string_view all_;
    std::vector<ViaList> lists_;
    size_t from_ = 0; // a "(via" before this lies inside a list found
    // Reading for strings has got to `outside_`, a position outside every string, or
    // found that everything before `stringEnd_` lies in one.
    size_t outside_ = 0;
    size_t stringEnd_ = 0;
};

} // namespace rz
