// Fuzz target: the board reader, the decisions under options taken from the input's
// first byte, and the edits. Whatever the input: every recorded position lies inside
// the bytes, the edits replace numbers inside single lines with numbers, writing keeps
// the line count, and deciding again on the written board changes nothing more.
#include "core/board_reader.hpp"
#include "core/board_syntax.hpp"
#include "core/drill_decisions.hpp"
#include "support.hpp"

#include <cstdint>
#include <string_view>

using rztest::Require;

namespace {

rz::DrillOptions OptionsFrom(uint8_t bits) {
    rz::DrillOptions o;
    const auto step = [](const char* text) { return rz::Decimal::Parse(text).value(); };
    o.Rounding.Mode = static_cast<rz::RoundMode>(bits % 3);
    if (bits & 4) {
        o.Rounding.Grid = step("0.05");
    }
    if (bits & 8) {
        o.Rounding.Table = {step("0.3"), step("0.8"), step("1.0"), step("3.2")};
    }
    if (bits & 16) {
        o.Keep = {"H*", "*:Mounting*"};
    }
    o.PlatedOnly = (bits & 32) != 0;
    o.KeepLocked = (bits & 64) != 0;
    o.ViasFollow = (bits & 128) == 0;
    if (bits & 2 && bits & 1) {
        o.MaxChange = step("0.05");
    }
    return o;
}

rz::LineStore LinesOf(std::string_view data) {
    rz::LineStore lines;
    for (size_t at = 0; at < data.size();) {
        const size_t end = std::min(data.find('\n', at), data.size());
        std::string_view line = data.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1); // the written board's line ends
        }
        lines.Open().append(line);
        lines.EndLine();
        at = end + 1;
    }
    return lines;
}

std::string Written(const rz::LineStore& lines, const rz::DrillReport& report) {
    std::string out;
    Require(rz::WriteEditedLines(lines, lines.size(), report.Edits,
                                 [&](std::string_view piece) { return out.append(piece), true; }),
            "the decisions gave edits that do not fit");
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) {
        return 0;
    }
    const rz::DrillOptions options = OptionsFrom(bytes[0]);
    const rz::LineStore lines =
        LinesOf(std::string_view(reinterpret_cast<const char*>(bytes), size));
    const std::string_view all = lines.All();
    const rz::BoardRecords records = rz::ReadBoard(all);
    for (const rz::HoleRecord& hole : records.Holes) {
        Require(hole.Open < all.size() && all[hole.Open] == '(', "a drill not at its list");
        Require(hole.SizeCount >= 1 && hole.SizeCount <= 2, "a hole without a size");
        const std::string_view token = records.TokenOf(all, hole);
        Require(token.empty() || (token.rfind("(drill ", 0) == 0 && token.back() == ')'),
                "a token not from \"(drill \" to \")\"");
        // A token joined from several lines ends where the shared list tracking ends it.
        const size_t close = rz::CloseOfList(all, hole.Open);
        Require(hole.JoinedToken < 0 || (all[close] == ')' && all.find('\n', hole.Open) < close),
                "a joined token whose list does not close on a later line");
    }
    const rz::DrillReport report = rz::DecideDrills(all, records, options);
    for (const rz::ByteEdit& edit : report.Edits) {
        const std::string_view before = all.substr(edit.At, edit.Length);
        Require(before.find_first_not_of("+-.0123456789eE") == std::string_view::npos &&
                    edit.Replacement.find_first_not_of("-.0123456789") == std::string::npos,
                "an edit of something else than a number");
    }
    const std::string once = Written(lines, report);
    Require(static_cast<size_t>(std::count(once.begin(), once.end(), '\n')) == lines.size(),
            "the lines are not kept");

    // The written board, decided again under the same options, is already on target.
    const rz::LineStore again = LinesOf(once);
    const rz::DrillReport second =
        rz::DecideDrills(again.All(), rz::ReadBoard(again.All()), options);
    Require(second.Edits.empty(), "a second run changes more");
    return 0;
}
