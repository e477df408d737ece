// The window's rewrite as byte edits: in each line whose first drill token is a collected
// one, every occurrence of that token replaced by its new token. A token written over
// several lines keeps its line ends and indentation, and only its size numbers change.
// The edits are written by WriteEditedLines (core/drill_edits.hpp), the one writer of
// edited lines, so the window and the command line cannot write a line differently.
#pragma once

#include "core/board_state.hpp"
#include "core/drill_edits.hpp"

#include <vector>

namespace rz {

// The edits for the loaded lines in use, ascending and apart, each inside one line.
std::vector<ByteEdit> WindowEdits(const BoardState& state);

} // namespace rz
