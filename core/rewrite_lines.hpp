// The new content of the board: its loaded lines, each followed by CR LF, with every
// collected drill token replaced by its new token. A line whose first token is not a
// collected one goes out as the bytes it was read as, which for a file without flaws
// are the file's own; a token written over several lines keeps its line ends and
// indentation, and only its size numbers change.
#pragma once

#include "core/board_state.hpp"
#include "core/numbered_file.hpp"

namespace rz {

// Puts the new content into the file `number` of `files`, which is open for writing;
// gives the first failure of a write. The loaded lines stay as they are, so a failed
// rewrite leaves the state intact.
OsResult WriteNewLines(const BoardState& state, NumberedFiles& files, int32_t number);

} // namespace rz
