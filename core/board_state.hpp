// The working tables of one run. The run sequence owns one BoardState and hands it
// to each step; nothing else keeps board data.
#pragma once

#include "core/line_store.hpp"
#include "text/text.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace rz {

// Why the loaded lines may not be written back over the board.
enum class LoadFlaw {
    None,
    NotLoaded, // the file could not be opened (or the dialog was cancelled)
    NotUtf8,   // a NUL byte, or bytes that are not well-formed UTF-8
    ReadError, // a read failed, so only part of the file is known
};

struct BoardState {
    // Lines of the board file in file order; slots 0..LastLineIndex are in use.
    // Grows with the file: there is no line limit.
    LineStore BoardLines;
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
    // Collection stores at the next free slot, while the rows and the rewrite walk the
    // slots up to the last one, so each step keeps the bound it counts with and the one
    // change of meaning happens in PrepareDrillRows, which is why the window prepares
    // the rows exactly once: a second call would drop the last token.
    int32_t DrillCount = 0;
    // The token being stored: collection cuts it from a line, AddDistinctDrill stores it.
    Text CurrentDrillToken;

    // What loading learnt about the file, for the rewrite's checks: whether the
    // lines can stand for the file, and the size and hash of the bytes read, which
    // the board on disk must still have when it is replaced.
    LoadFlaw Flaw = LoadFlaw::NotLoaded;
    uint64_t LoadedSize = 0;
    uint64_t LoadedHash = 0;

    // The tokens of DrillTokens slots 1..DrillCount-1 while collecting, so the
    // distinct test does not scan the whole table for every pad line.
    std::unordered_set<Text> DrillTokenIndex;
};

// How many of the loaded lines are in use: slots 0..LastLineIndex, as far as they exist.
inline size_t LinesInUse(const BoardState& state) {
    return std::min(state.BoardLines.size(),
                    static_cast<size_t>(std::max<int32_t>(state.LastLineIndex + 1, 0)));
}

} // namespace rz
