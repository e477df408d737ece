// Collecting the distinct pad drill tokens.
#include "core/marker_search.hpp"
#include "core/pipeline.hpp"
#include "core/via_lists.hpp"

#include <algorithm>

namespace rz {

namespace {

constexpr std::string_view kDrillMarker = "(drill ";
constexpr std::string_view kViaMarker = "(via ";

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char b) { return static_cast<unsigned char>(b) < 0x80; });
}

} // namespace

void CollectPadDrills(BoardState& state) {
    const LineStore& lines = state.BoardLines;
    const size_t count =
        std::min(lines.size(), static_cast<size_t>(std::max<int32_t>(state.LastLineIndex + 1, 0)));
    const std::string& all = lines.All();

    // Only lines with a drill marker can give a token, so the store is searched for
    // the marker as a whole; the via lists are known beforehand.
    const std::vector<ViaList> vias = FindViaLists(all);
    size_t via = 0;
    size_t i = 0;
    for (size_t p = FindMarker(all, 0, kDrillMarker); p < all.size();
         p = FindMarker(all, lines.EndOf(i) + 1, kDrillMarker)) {
        while (lines.EndOf(i) < p) {
            ++i;
        }
        if (i >= count) {
            break;
        }
        const size_t begin = lines.BeginOf(i);
        const size_t end = lines.EndOf(i);
        // A line with any part inside a via list is a via's line: one the list
        // opened on an earlier line and not yet closed, or one that opens it.
        while (via < vias.size() && vias[via].Close < begin) {
            ++via;
        }
        const bool inVia = via < vias.size() && vias[via].Open < end;
        const std::string_view line = lines.Bytes(i);
        if (inVia || line.find(kViaMarker) != std::string_view::npos) {
            continue;
        }
        if (IsAscii(line)) {
            const size_t e = line.find(')', p - begin);
            const std::string_view token = e == std::string_view::npos
                                               ? std::string_view()
                                               : line.substr(p - begin, e - (p - begin) + 1);
            state.CurrentDrillToken.assign(token.begin(), token.end());
        } else {
            // Cut from the text itself, which is what the lists show.
            const Text text = Utf8ToText(line);
            const size_t tp = text.find(u"(drill ");
            const size_t te = text.find(u')', tp);
            state.CurrentDrillToken = te == Text::npos ? Text() : text.substr(tp, te - tp + 1);
        }
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
