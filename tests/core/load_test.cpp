// Loading: how bytes become lines; collection of pad drill tokens; rounding.
#include "core/content_hash.hpp"
#include "core/drill_edits.hpp"
#include "core/numbered_file.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using rztest::ScratchDir;
using rztest::Session;
using rztest::WriteBytes;
using Lines = std::vector<rz::Text>;

struct ReadCase {
    const char* Name;
    std::string Bytes;
    Lines Expected;
    bool Faithful = true;
};

std::vector<ReadCase> ReadCases() {
    const auto A = [](size_t n) { return std::string(n, 'a'); };
    const auto UA = [](size_t n) { return rz::Text(n, u'a'); };
    std::vector<ReadCase> cases = {
        {"empty file", "", {}},
        {"LF, CR LF, lone CR, none", "A\nB\r\nC\rD", {u"A", u"B", u"C", u"D"}},
        {"CR CR LF, LF CR", "A\r\r\nB\n\rC", {u"A", u"", u"B", u"", u"C"}},
        {"NUL ends a line", "A\0B\n"s, {u"A", u"B"}, false},
        {"byte-order mark kept", "\xEF\xBB\xBFx\nB", {u"\uFEFFx", u"B"}},
        {"stray continuation byte", "\x80x\n", {u"?x"}, false},
        {"byte never used in UTF-8", "x\xF8y\xFF", {u"x?y?"}, false},
        {"sequence cut by the end", "A\xE2\x82", {u"A"}, false},
        {"well-formed", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\n", {u"\u00E4\u20AC\U0001F600"}},
        // A Latin-1 byte takes the LF after it: the two lines become one.
        {"Latin-1 before LF", "\xE4\nB\nC", {rz::Utf8ToText("\xE4\nB"), u"C"}, false},
        {"NUL inside a character", "\xC3\0AB\nC"s, {u"\uFFFD", u"C"}, false},
        {"encoded surrogate", "\xED\xA0\x80\n", {rz::Utf8ToText("\xED\xA0\x80")}, false},
    };
    // At a refill boundary after byte b: the transfer buffer's, and a system's 4096.
    for (const size_t b : {size_t(4096), size_t(rz::kFileBufferSize)}) {
        cases.insert(
            cases.end(),
            {{"CR|LF split", A(b - 1) + "\r\nB", {UA(b - 1), u"B"}},
             {"CR last in refill, then text", A(b - 1) + "\rB", {UA(b - 1), u"B"}},
             {"CR last in refill and file", A(b - 1) + "\r", {UA(b - 1)}},
             {"character split", A(b - 1) + "\xC3\xA4\n", {UA(b - 1) + u"\u00E4"}},
             {"NUL last in refill", A(b - 1) + "\0B"s, {UA(b - 1), u"B"}, false},
             {"line over two refills", A(2 * b + 10) + "\n" + A(3), {UA(2 * b + 10), UA(3)}},
             {"many short lines", std::string(b + 7, '\n'), Lines(b + 7)}});
    }
    return cases;
}

// In whole refills and in the pieces a pipe or share may hand out, so that every rule meets
// a refill boundary somewhere.
TEST(LineReading, EveryRuleOnLineEndsAndCharacters) {
    ScratchDir dir;
    for (const int32_t piece : {0, 1, 2, 3, 7, 4096}) {
        for (const ReadCase& c : ReadCases()) {
            if (piece != 0 && piece != 4096 && c.Bytes.size() > 1000) {
                continue;
            }
            SCOPED_TRACE(std::string(c.Name) + " in pieces of " + std::to_string(piece));
            WriteBytes(dir / "board", c.Bytes);
            rztest::FaultyFiles os(rz::SystemFiles());
            os.ReadPiece = piece;
            const Session s(dir / "board", os);
            Lines lines;
            for (size_t i = 0; i < s.State.BoardLines.size(); ++i) {
                lines.push_back(s.State.BoardLines[i]);
            }
            EXPECT_EQ(lines, c.Expected);
            EXPECT_EQ(s.State.Flaw, c.Faithful ? rz::LoadFlaw::None : rz::LoadFlaw::NotUtf8);
            rz::ContentHash hash; // what the rewrite compares the board on disk with
            hash.Update(c.Bytes.data(), c.Bytes.size());
            EXPECT_EQ(s.State.LoadedSize, c.Bytes.size());
            EXPECT_EQ(s.State.LoadedHash, hash.Digest());
            // Written back with the ends the lines had, a faithful file is its own bytes.
            std::string kept;
            const rz::LineStore& store = s.State.BoardLines;
            rz::WriteEditedLines(
                store, store.size(), {}, [&](std::string_view p) { return kept += p, true; },
                rz::LineEnds::Keep);
            EXPECT_TRUE(!c.Faithful || kept == c.Bytes);
        }
    }
}

TEST(Collection, WhichTokensAreListedInWhatOrder) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"(kicad_pcb\n(Drill 1.0)\n( drill 1.0)\n)", {}},
        {"(drill 2)\n(drill 10)\n(drill 1.0)\n(drill 1)\n(drill 0.8)\n(drill 0.8)", // text order
         {u"0.8", u"1", u"1.0", u"10", u"2"}},
        {"(drill 0.5) (drill 0.6)", {u"0.5"}}, // the first marker of a line only
        {"(pad (drill (offset 0 0.075)))\n(pad\n(drill\n(offset 0 1)\n)\n)", {}}, // no hole
        // Via lines, and since KiCad 8 via blocks, are left out.
        {"(via (at 1 1) (drill 0.4))\n(drill 0.3) (via )\n(pad (drill 0.8))", {u"0.8"}},
        {"\t(via\n\t\t(at 1 2)\n\t\t(drill 0.4)\n\t)\n\t(pad \"1\"\n\t\t(drill 1.152)\n\t)",
         {u"1.152"}},
        {"(via\n  (net 3 \"a)b\\\")c)\")\n  (drill 0.3)\n)\n(drill 0.7)", {u"0.7"}},
        {"(gr_text \"(via \" (at 0 0))\n(via)\n(vias\n  (drill 0.6)\n)", {u"0.6"}}, // no via open
        {"(gr_text \"oops)\n(via\n  (drill 0.4)\n)\n(drill 0.9)", {u"0.9"}},
        // KiCad 8 to 10 write an offset drill over several lines: the one-line form's token.
        {"\t\t(pad \"1\"\n\t\t\t(drill 0.45\n\t\t\t\t(offset -0.5 0)\n\t\t\t)\n\t\t)\n"
         "(pad (drill 0.45 (offset -0.5 0)))\n(pad\n  (drill 0.45\n  (offset -0.5 0)))",
         {u"0.45 (offset -0.5 0"}},
        {"(drill oval 1.02 2.03\n (offset 0.1 0) \"(\"\n)", {u"oval 1.02 2.03 (offset 0.1 0"}},
        {"(pad (drill 0.45\n  (offset 1 2)\n", {}},               // never closes: cut short
        {"(pad (drill 0.45 \"a\n(drill 0.33) 1))\n)", {u"0.33"}}, // another drill inside
        {"(pad \"(\" (drill 0.45 \"(\"\n(offset 1 2)))", {u"0.45 \"(\" (offset 1 2"}}, // strings
    };
    ScratchDir dir;
    for (const auto& [board, expected] : cases) {
        WriteBytes(dir / "b", board);
        Lines listed;
        for (const rz::DrillRow& row : Session(dir / "b").Rows) {
            listed.push_back(row.Before);
        }
        EXPECT_EQ(listed, expected) << board;
    }
}

// What is listed and written for each form of a value: one number gives its rounded
// text; oval and offset forms only their size numbers rounded; anything else stays as it is.
TEST(Rounding, WhatIsListedForEachForm) {
    // clang-format off
    const std::vector<std::pair<rz::Text, rz::Text>> listed = {
        {u"0.762", u"0.8"}, {u"1", u"1.0"}, {u"0.35", u"0.4"}, {u"0.45", u"0.5"}, {u"0.04", u"0.0"},
        {u"12.345", u"12.3"}, {u"0", u"0.0"}, {u"-0.8", u"-.8"}, {u"-0.05", u"-.1"},
        {u"1e-3", u"0.0"}, {u"0.75 (offset 0 0.4", u"0.8 (offset 0 0.4"},
        {u"oval 1.02 2.03 (offset 0.1 -0.25", u"oval 1.0 2.0 (offset 0.1 -0.25"},
        {u"oval  1.02\t2.03", u"oval  1.0\t2.0"}, {u"NaN", u"NaN"}, {u"+Infinity", u"+Infinity"},
        {u"", u""}, {u"oval 1.2", u"oval 1.2"}, {u"oval 1.2 2.0 3.0", u"oval 1.2 2.0 3.0"},
        {u"1.0 2.0", u"1.0 2.0"}, {u"(offset 0 0.4", u"(offset 0 0.4"}, {u"0.8mm", u"0.8mm"},
        {u" 0.8", u" 0.8"}, {u"0.8 ", u"0.8 "}, {u"0.8 (offsetx 1", u"0.8 (offsetx 1"},
        {u"oval NaN 1", u"oval NaN 1"}, {u"Oval 1.02 2.03", u"Oval 1.02 2.03"},
        // A size whose tenfold overflows 32 bits came out as "+Infinit.y" once; KiCad cannot
        // read that, so such a size stays as it is.
        {u"1e39", u"1e39"}, {u"3.5e38", u"3.5e38"}, {u"oval 1.02 -3.5e38", u"oval 1.02 -3.5e38"},
        {u"1e-45", u"0.0"}, {u"-0", u"0.0"}, {u"+0.8", u"0.8"}};
    // clang-format on
    for (const auto& [value, want] : listed) {
        EXPECT_EQ(rz::ListedDrillText(value), want) << rz::TextToUtf8(value);
    }
    EXPECT_EQ(rz::DrillValueText(u"(drill"), u"");
}

} // namespace
