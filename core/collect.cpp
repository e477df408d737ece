// Collecting the distinct pad drill tokens.
#include "core/pipeline.hpp"
#include "core/via_tracker.hpp"

#include <algorithm>

namespace rz {

namespace {

constexpr std::u16string_view kDrillMarker = u"(drill ";
constexpr std::u16string_view kViaMarker = u"(via ";

} // namespace

void CollectPadDrills(BoardState& state) {
    ViaTracker vias;
    const size_t lines =
        std::min(state.BoardLines.size(),
                 static_cast<size_t>(std::max<int32_t>(state.LastLineIndex + 1, 0)));
    for (size_t i = 0; i < lines; ++i) {
        const std::u16string_view line = state.BoardLines[i];
        // Every line goes through the tracker, via lines too, so that it keeps count.
        const bool inVia = vias.FeedLine(line);
        if (inVia || line.find(kViaMarker) != std::u16string_view::npos) {
            continue;
        }
        const size_t p = line.find(kDrillMarker);
        if (p == std::u16string_view::npos) {
            continue;
        }
        const size_t e = line.find(u')', p);
        state.CurrentDrillToken =
            e == std::u16string_view::npos ? Text() : Text(line.substr(p, e - p + 1));
        AddDistinctDrill(state);
    }
}

void AddDistinctDrill(BoardState& state) {
    // An empty token ("(drill " with no ")" after it) has no value to round and is
    // never listed; its line is written back as it was.
    if (state.CurrentDrillToken.empty()) {
        return;
    }
    if (state.DrillCount < 1) {
        state.DrillCount = 1; // slot 0 stays the empty text
        state.DrillTokenIndex.clear();
    }
    const size_t used = static_cast<size_t>(state.DrillCount);
    if (state.DrillTokens.size() < used) {
        state.DrillTokens.resize(used);
    }
    // The index covers slots 1..DrillCount-1; rebuilt when the table was changed
    // without it (only tests do that).
    if (state.DrillTokenIndex.size() != used - 1) {
        state.DrillTokenIndex.clear();
        state.DrillTokenIndex.insert(state.DrillTokens.begin() + 1,
                                     state.DrillTokens.begin() + static_cast<ptrdiff_t>(used));
    }
    if (!state.DrillTokenIndex.insert(state.CurrentDrillToken).second) {
        return;
    }
    if (state.DrillTokens.size() == used) {
        state.DrillTokens.push_back(state.CurrentDrillToken);
    } else {
        state.DrillTokens[used] = state.CurrentDrillToken;
    }
    ++state.DrillCount;
}

void SortDrillTokens(BoardState& state) {
    SortTextRange(state.DrillTokens, 0, state.DrillCount - 1);
}

} // namespace rz
