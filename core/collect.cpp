// Collecting the distinct pad drill tokens.
#include "core/drill_lines.hpp"
#include "core/pipeline.hpp"

#include <string>

namespace rz {

void CollectPadDrills(BoardState& state) {
    std::string previous; // the token of the last pad line
    bool repeatable = false;
    ForEachLineDrill(state.BoardLines, LinesInUse(state), [&](const LineDrill& drill) {
        if (drill.ViaLine) {
            return true;
        }
        // The pads of a footprint mostly share one drill: the same token as the pad line
        // before is already stored.
        if (repeatable && drill.Token == previous) {
            return true;
        }
        previous.assign(drill.Token);
        repeatable = true;
        // The bytes of a token begin and end with ASCII, so they decode to exactly the
        // text that cutting the line's text would give.
        state.CurrentDrillToken = Utf8ToText(drill.Token);
        AddDistinctDrill(state);
        return true;
    });
}

void AddDistinctDrill(BoardState& state) {
    // An empty token ("(drill " with no ")" after it) has no value to round and is
    // never listed; its line is written back as it was.
    if (state.CurrentDrillToken.empty()) {
        return;
    }
    if (state.DrillCount < 1) {
        state.DrillCount = 1; // slot 0 stays the empty text
        state.DrillTokens.resize(1);
        state.DrillTokenIndex.clear();
    }
    if (!state.DrillTokenIndex.insert(state.CurrentDrillToken).second) {
        return;
    }
    state.DrillTokens.push_back(state.CurrentDrillToken);
    ++state.DrillCount;
}

void SortDrillTokens(BoardState& state) {
    SortTextRange(state.DrillTokens, 0, state.DrillCount - 1);
}

} // namespace rz
