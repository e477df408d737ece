// Collecting the distinct pad drill tokens.
#include "core/marker_search.hpp"
#include "core/pipeline.hpp"
#include "core/via_lists.hpp"

#include <algorithm>

namespace rz {

namespace {

constexpr std::string_view kDrillMarker = "(drill ";
constexpr std::string_view kViaMarker = "(via ";
constexpr std::string_view kViaOpen = "(via";

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
    // the marker as a whole, in the same pass as for the via lists. A line's first
    // marker is judged once the pass is beyond the line, when every via list that
    // opens on it is known.
    ViaListFinder vias(all);
    size_t via = 0;
    size_t i = 0;
    std::string_view previous; // the token of the last line judged, when cut from bytes
    bool repeatable = false;
    const auto judge = [&](size_t p) {
        const size_t begin = lines.BeginOf(i);
        const size_t end = lines.EndOf(i);
        // A line with any part inside a via list is a via's line: one the list
        // opened on an earlier line and not yet closed, or one that opens it.
        const std::vector<ViaList>& lists = vias.Lists();
        while (via < lists.size() && lists[via].Close < begin) {
            ++via;
        }
        const bool inVia = via < lists.size() && lists[via].Open < end;
        const std::string_view line = lines.Bytes(i);
        if (inVia || line.find(kViaMarker) != std::string_view::npos) {
            return;
        }
        if (IsAscii(line)) {
            const size_t e = line.find(')', p - begin);
            const std::string_view token = e == std::string_view::npos
                                               ? std::string_view()
                                               : line.substr(p - begin, e - (p - begin) + 1);
            // The pads of a footprint mostly share one drill: the same token as the
            // line before is already the current one and already stored.
            if (repeatable && token == previous) {
                return;
            }
            previous = token;
            repeatable = true;
            state.CurrentDrillToken.assign(token.begin(), token.end());
        } else {
            repeatable = false;
            // Cut from the text itself, which is what the lists show.
            const Text text = Utf8ToText(line);
            const size_t tp = text.find(u"(drill ");
            const size_t te = text.find(u')', tp);
            state.CurrentDrillToken = te == Text::npos ? Text() : text.substr(tp, te - tp + 1);
        }
        AddDistinctDrill(state);
    };
    size_t pending = all.size(); // a line's first drill marker, not judged yet
    size_t nextLine = 0;         // a drill marker before this is not its line's first
    for (size_t p = FindEitherMarker(all, 0, kDrillMarker, kViaOpen);;
         p = FindEitherMarker(all, p + 1, kDrillMarker, kViaOpen)) {
        if (pending < all.size() && p > lines.EndOf(i)) {
            judge(pending);
            pending = all.size();
        }
        if (p >= all.size()) {
            break;
        }
        if (all.compare(p, kViaOpen.size(), kViaOpen) == 0) {
            vias.Meet(p);
            continue;
        }
        if (p < nextLine) {
            continue;
        }
        while (lines.EndOf(i) < p) {
            ++i;
        }
        if (i >= count) {
            break;
        }
        pending = p;
        nextLine = lines.EndOf(i) + 1;
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
