#include "core/drill_lines.hpp"

#include "core/drill_list_closer.hpp"
#include "core/marker_search.hpp"
#include "core/via_lists.hpp"

#include <vector>

namespace rz {

namespace {

constexpr std::string_view kDrillMarker = "(drill ";
constexpr std::string_view kViaMarker = "(via ";
constexpr std::string_view kViaOpen = "(via";
constexpr std::string_view kHoleless = "(drill (offset";

// Judges the first drill marker of each line once the search has passed the line, when
// every via list that opens on it is known.
class Judge {
public:
    Judge(const LineStore& lines, const ViaListFinder& vias)
        : lines_(lines), all_(lines.All()), vias_(vias), closer_(all_) {}

    const LineDrill& Line(size_t i, size_t marker) {
        const size_t begin = lines_.BeginOf(i);
        const size_t end = lines_.EndOf(i);
        const std::vector<ViaList>& lists = vias_.Lists();
        while (via_ < lists.size() && lists[via_].Close < begin) {
            ++via_;
        }
        size_t around = via_; // the first list that does not end before the marker
        while (around < lists.size() && lists[around].Close < marker) {
            ++around;
        }
        const std::string_view line = all_.substr(begin, end - begin);
        drill_.Line = i;
        drill_.Marker = marker;
        // A line with any part inside a via list is a via's line: one the list opened on
        // an earlier line and not yet closed, or one that opens it.
        drill_.ViaLine = (via_ < lists.size() && lists[via_].Open < end) ||
                         line.find(kViaMarker) != std::string_view::npos;
        const bool inVia = around < lists.size() && lists[around].Open < marker;
        drill_.Token = {};
        drill_.TokenEnd = marker;
        const size_t close = line.find(')', marker - begin);
        if (close != std::string_view::npos) {
            drill_.TokenEnd = begin + close + 1;
            drill_.Token = all_.substr(marker, drill_.TokenEnd - marker);
        } else if (!inVia) {
            const size_t tokenEnd = JoinedTokenEnd(all_, marker);
            if (tokenEnd != std::string_view::npos && all_[closer_.CloseOf(marker)] == ')') {
                joined_ = JoinLines(all_.substr(marker, tokenEnd - marker));
                drill_.Token = joined_;
                drill_.TokenEnd = tokenEnd;
            }
        }
        if (drill_.Token.starts_with(kHoleless)) {
            drill_.Token = {};
        }
        return drill_;
    }

private:
    const LineStore& lines_;
    std::string_view all_;
    const ViaListFinder& vias_;
    DrillListCloser closer_;
    size_t via_ = 0; // the first via list that does not end before the line judged
    std::string joined_;
    LineDrill drill_;
};

} // namespace

size_t JoinedTokenEnd(std::string_view all, size_t marker) {
    for (size_t k = marker + kDrillMarker.size();; ++k) {
        k = all.find_first_of("()", k);
        if (k == std::string_view::npos || all.compare(k, kDrillMarker.size(), kDrillMarker) == 0) {
            return std::string_view::npos;
        }
        if (all[k] == ')') {
            return k + 1;
        }
    }
}

std::string JoinLines(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t k = 0; k < bytes.size(); ++k) {
        if (bytes[k] != '\n') {
            out.push_back(bytes[k]);
            continue;
        }
        while (k + 1 < bytes.size() && (bytes[k + 1] == ' ' || bytes[k + 1] == '\t')) {
            ++k;
        }
        out.push_back(' ');
    }
    return out;
}

void ForEachLineDrill(const LineStore& lines, size_t count,
                      const std::function<bool(const LineDrill&)>& visit) {
    const std::string_view all = lines.All();
    ViaListFinder vias(all);
    Judge judge(lines, vias);
    // Only lines with a drill marker can give a token, so the store is searched for the
    // marker as a whole, in the same pass as for the via lists.
    size_t i = 0;
    size_t pending = all.size(); // a line's first drill marker, not judged yet
    size_t nextLine = 0;         // a drill marker before this is not its line's first
    for (size_t p = FindEitherMarker(all, 0, kDrillMarker, kViaOpen);;
         p = FindEitherMarker(all, p + 1, kDrillMarker, kViaOpen)) {
        if (pending < all.size() && p > lines.EndOf(i)) {
            if (!visit(judge.Line(i, pending))) {
                return;
            }
            pending = all.size();
        }
        if (p >= all.size()) {
            return;
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
            return;
        }
        pending = p;
        nextLine = lines.EndOf(i) + 1;
    }
}

} // namespace rz
