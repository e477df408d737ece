// Fuzz target: the whole run on a real file, applied twice. A file that cannot be written
// back faithfully is refused and left as it was; otherwise the rewritten file reads back
// as the same lines, changed only inside drill tokens, and a second apply changes nothing.
#include "support.hpp"

#include <cstdint>

using namespace rzsafe;

namespace {

// Each "(drill " up to its first ")" (or the line's end) masked.
rz::Text Skeleton(const rz::Text& line) {
    rz::Text out;
    size_t at = 0;
    for (size_t hit; (hit = line.find(u"(drill ", at)) != rz::Text::npos;) {
        out.append(line, at, hit - at) += u'#';
        at = std::min(line.find(u')', hit), line.size() - 1) + 1;
    }
    return out.append(line, at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const ScratchDir dir;
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, input);
    Session first(board);
    const rz::ApplyOutcome outcome = first.Apply();
    const std::string once = ReadBytes(board);
    Require(dir.Names() == Names{"board.kicad_pcb"}, "more than the board left in the folder");
    if (first.State.Flaw != rz::LoadFlaw::None) {
        Require(outcome == rz::ApplyOutcome::Refused && once == input,
                "an unfaithful file touched");
        Require(!first.Dialogs.Messages.empty(), "a refusal not told");
        return 0;
    }
    Require(outcome == rz::ApplyOutcome::Written, "a well-formed file was not written");
    Require(first.Dialogs.Messages.empty(), "a message on success");
    size_t lineEnds = 0;
    for (size_t k = 0; k < once.size(); ++k) {
        const bool crlf = once[k] == '\r' && once[k + 1] == '\n';
        Require(crlf || (once[k] != '\r' && once[k] != '\n'), "a line end other than CR LF");
        lineEnds += crlf;
        k += crlf;
    }
    Require(once.empty() || once.back() == '\n', "the written file does not end with a line end");

    Session second(board);
    const rz::LineStore &before = first.State.BoardLines, &after = second.State.BoardLines;
    Require(second.State.Flaw == rz::LoadFlaw::None, "the written file does not read back");
    Require(after.size() == before.size() && after.size() == lineEnds, "the line count changed");
    for (size_t i = 0; i < before.size(); ++i) {
        Require(Skeleton(before[i]) == Skeleton(after[i]), "a line changed outside its drills",
                before[i]);
    }
    Require(second.Apply() == rz::ApplyOutcome::Written && ReadBytes(board) == once,
            "applying twice differs from applying once");
    return 0;
}
