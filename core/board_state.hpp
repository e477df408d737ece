// The working tables of one run. The run sequence owns one BoardState and hands it
// to each step; nothing else keeps board data.
#pragma once

#include "text/text.hpp"

#include <cstdint>
#include <vector>

namespace rz {

struct BoardState {
    // Lines of the board file in file order; slots 0..LastLineIndex are in use.
    // Grows with the file: there is no line limit.
    std::vector<Text> BoardLines;
    // Index of the last line read; -1 when the file could not be opened or is empty.
    int32_t LastLineIndex = -1;
    // The chosen path (empty after a cancelled dialog).
    Text BoardFileName;
    // Distinct pad drill tokens; slot 0 always holds the empty text.
    std::vector<Text> DrillTokens{Text()};
    // Parallel to DrillTokens: the replacement for each slot.
    std::vector<Text> NewDrillTokens{Text()};
    // While collecting: the next free slot of DrillTokens (0 before the first token).
    // Once the rows are prepared: the index of the last stored token (-1 for none).
    int32_t DrillCount = 0;
    Text CurrentDrillToken;
};

} // namespace rz
