// Fuzz target: the whole run on a real file, applied twice. What is listed is well-formed;
// a file that cannot be written back faithfully is refused and left as it was; otherwise
// it reads back as the same lines, changed only inside drill tokens, and stays so.
#include "core/board_syntax.hpp"
#include "core/drill_list_closer.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstdint>
#include <regex>
#include <set>

using namespace rztest;

namespace {

size_t Count(const rz::Text& t, char16_t c) {
    return static_cast<size_t>(std::count(t.begin(), t.end(), c));
}

// Collection, sorting and the rows for any input; for one without a via or a drill over
// several lines, exactly the first tokens of the lines, a pad without a hole left out. Where
// a drill list closes, found in one pass for all lines, is where CloseOfList finds it.
void CheckListing(const Session& s) {
    const rz::LineStore& lines = s.State.BoardLines;
    rz::DrillListCloser closer(lines.All());
    std::set<rz::Text> firstTokens;
    bool plain = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines.Bytes(i);
        const size_t p = line.find("(drill "), e = p == line.npos ? p : line.find(')', p);
        plain = plain && line.find("(via") == line.npos && (p == line.npos || e != line.npos);
        if (e != line.npos && line.compare(p, 14, "(drill (offset") != 0) {
            firstTokens.insert(rz::Utf8ToText(line.substr(p, e - p + 1)));
        }
        const size_t at = lines.BeginOf(i) + p;
        Require(p == line.npos || e != line.npos ||
                    closer.CloseOf(at) == rz::CloseOfList(lines.All(), at),
                "a drill list closes elsewhere");
    }
    const size_t stored = s.Rows.size();
    Require(s.State.DrillCount == (stored ? static_cast<int32_t>(stored) : -1),
            "the row count differs from the token count");
    const auto tokens = s.State.DrillTokens.begin() + 1;
    Require(!plain || std::set<rz::Text>(tokens, tokens + static_cast<long>(stored)) == firstTokens,
            "the tokens are not those of the pad lines");
    for (size_t k = 0; k < stored; ++k) {
        const rz::Text& token = tokens[static_cast<long>(k)];
        const rz::DrillRow& row = s.Rows[k];
        Require(token.starts_with(u"(drill ") && token.back() == u')' && Count(token, u')') == 1 &&
                    (Count(token, u'\n') == 0 || s.State.Flaw != rz::LoadFlaw::None) &&
                    !token.starts_with(u"(drill (offset") &&
                    (k == 0 || rz::CompareTexts(tokens[static_cast<long>(k) - 1], token) < 0),
                "not a drill token, unsorted or twice", token);
        Require(u"(drill " + row.Before + u")" == token &&
                    s.State.NewDrillTokens[k + 1] == u"(drill " + row.After + u")",
                "the row does not match its tokens", token);
        // The replacement keeps the line's structure: no ")" to end the token early.
        Require(Count(row.After, u')') == 0 && Count(row.After, u'(') == Count(row.Before, u'('),
                "the after text changes the parentheses", token);
        // "Na.N" and "+Infinit.y" are what rounding makes of a size that is no number.
        Require(row.After == row.Before || (rz::ListedDrillText(row.After) == row.After &&
                                            row.After.find(u"Na.N") == rz::Text::npos &&
                                            row.After.find(u"nit.y") == rz::Text::npos),
                "rounding twice changes it, or a size turned into no number", token);
    }
}

// The lines as one text, each "(drill " up to the first ")" after it masked (a drill
// over several lines changes only inside that stretch).
rz::Text Skeleton(const rz::LineStore& lines) {
    rz::Text all, out;
    for (size_t i = 0; i < lines.size(); ++i) {
        all += lines[i] + u'\n';
    }
    size_t at = 0;
    for (size_t hit; (hit = all.find(u"(drill ", at)) != rz::Text::npos;) {
        out.append(all, at, hit - at) += u'#';
        at = std::min(all.find(u')', hit), all.size() - 1) + 1;
    }
    return out.append(all, at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const ScratchDir dir;
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, input);
    Session first(board);
    CheckListing(first);
    const rz::ApplyOutcome outcome = first.Apply();
    const std::string once = ReadBytes(board);
    Require(dir.Names() == Names{"board.kicad_pcb"}, "more than the board left in the folder");
    if (first.State.Flaw != rz::LoadFlaw::None) {
        Require(outcome == rz::ApplyOutcome::Refused && once == input && first.Dialogs.Told(u""),
                "an unfaithful file touched, or the refusal not told");
        return 0;
    }
    Require(outcome == rz::ApplyOutcome::Written && first.Dialogs.Messages.empty(),
            "a well-formed file not written, or a message on success");
    const std::string bare = std::regex_replace(once, std::regex("\r\n"), "");
    Require(bare.find_first_of("\r\n") == std::string::npos &&
                (once.empty() || once.back() == '\n'),
            "a line end other than CR LF, or none at the end");
    const size_t lineEnds = (once.size() - bare.size()) / 2;

    Session second(board);
    const rz::LineStore &before = first.State.BoardLines, &after = second.State.BoardLines;
    Require(second.State.Flaw == rz::LoadFlaw::None, "the written file does not read back");
    Require(after.size() == before.size() && after.size() == lineEnds, "the line count changed");
    Require(Skeleton(before) == Skeleton(after), "a line changed outside its drills");
    Require(second.Apply() == rz::ApplyOutcome::Written && ReadBytes(board) == once,
            "applying twice differs from applying once");
    return 0;
}
