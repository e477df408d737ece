// Loading: how bytes become lines; collection of pad drill tokens; rounding.
#include "core/content_hash.hpp"
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using rztest::PathText;
using rztest::ScratchDir;
using rztest::WriteBytes;
using Lines = std::vector<rz::Text>;

struct ReadCase {
    const char* Name;
    std::string Bytes;
    Lines Expected;
    bool Faithful = true;
};

const auto A = [](size_t n) { return std::string(n, 'a'); };
const auto UA = [](size_t n) { return rz::Text(n, u'a'); };

std::vector<ReadCase> ReadCases() {
    std::vector<ReadCase> cases = {
        {"empty file", "", {}},
        {"LF, CR LF, lone CR, none", "A\nB\r\nC\rD", {u"A", u"B", u"C", u"D"}},
        {"lone CR last", "A\r", {u"A"}},
        {"LF LF", "A\n\n", {u"A", u""}},
        {"CR CR LF, LF CR", "A\r\r\nB\n\rC", {u"A", u"", u"B", u"", u"C"}},
        {"lone CR after CR LF", "A\rB\r\n\r", {u"A", u"B", u""}},
        {"NUL ends a line", "A\0B\n"s, {u"A", u"B"}, false},
        {"byte-order mark kept", "\xEF\xBB\xBFx\nB", {u"\uFEFFx", u"B"}},
        {"stray continuation byte", "\x80x\n", {u"?x"}, false},
        {"byte never used in UTF-8", "x\xF8y\xFF", {u"x?y?"}, false},
        {"sequence cut by the end", "A\xE2\x82", {u"A"}, false},
        {"well-formed", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\n", {u"\u00E4\u20AC\U0001F600"}},
        {"U+FFFD itself", "\xEF\xBF\xBD", {u"\uFFFD"}},
        // A Latin-1 byte takes the LF after it: the two lines become one.
        {"Latin-1 before LF", "\xE4\nB\nC", {rz::Utf8ToText("\xE4\nB"), u"C"}, false},
        {"NUL inside a character", "\xC3\0AB\nC"s, {u"\uFFFD", u"C"}, false},
        {"overlong form", "\xC0\xAF\n", {rz::Utf8ToText("\xC0\xAF")}, false},
        {"encoded surrogate", "\xED\xA0\x80\n", {rz::Utf8ToText("\xED\xA0\x80")}, false},
        {"beyond U+10FFFF", "\xF5\x80\x80\x80", {rz::Utf8ToText("\xF5\x80\x80\x80")}, false},
    };
    // At a refill boundary after byte b: the transfer buffer's, and a system's 4096.
    for (const size_t b : {size_t(4096), size_t(rz::kFileBufferSize)}) {
        cases.insert(
            cases.end(),
            {{"CR|LF split", A(b - 1) + "\r\nB", {UA(b - 1), u"B"}},
             {"CR last in refill, then text", A(b - 1) + "\rB", {UA(b - 1), u"B"}},
             {"CR last in refill and file", A(b - 1) + "\r", {UA(b - 1)}},
             {"LF last in refill", A(b - 1) + "\nB", {UA(b - 1), u"B"}},
             {"character split", A(b - 1) + "\xC3\xA4\n", {UA(b - 1) + u"\u00E4"}},
             {"NUL last in refill", A(b - 1) + "\0B"s, {UA(b - 1), u"B"}, false},
             {"line over two refills", A(2 * b + 10) + "\n" + A(3), {UA(2 * b + 10), UA(3)}},
             {"many short lines", std::string(b + 7, '\n'), Lines(b + 7)}});
    }
    return cases;
}

// In whole refills and in the pieces a pipe or network share may hand out, so that
// every rule meets a refill boundary somewhere.
TEST(LineReading, EveryRuleOnLineEndsAndCharacters) {
    ScratchDir dir;
    for (const int32_t piece : {0, 1, 2, 3, 7, 4096}) {
        for (const ReadCase& c : ReadCases()) {
            if (piece != 0 && piece != 4096 && c.Bytes.size() > 1000) {
                continue;
            }
            SCOPED_TRACE(std::string(c.Name) + " in pieces of " + std::to_string(piece));
            WriteBytes(dir / "board", c.Bytes);
            rz::BoardState state;
            rztest::FakeDialogs dialogs(PathText(dir / "board"));
            rztest::FaultyFiles os(rz::SystemFiles());
            os.ReadPiece = piece;
            EXPECT_EQ(rz::LoadBoardFile(state, dialogs, os),
                      static_cast<int32_t>(c.Expected.size()) - 1);
            Lines lines;
            for (size_t i = 0; i < state.BoardLines.size(); ++i) {
                lines.push_back(state.BoardLines[i]);
            }
            EXPECT_EQ(lines, c.Expected);
            EXPECT_EQ(state.Flaw, c.Faithful ? rz::LoadFlaw::None : rz::LoadFlaw::NotUtf8);
            EXPECT_TRUE(dialogs.Messages.empty());
            rz::ContentHash hash; // what the rewrite compares the board on disk with
            hash.Update(c.Bytes.data(), c.Bytes.size());
            EXPECT_EQ(state.LoadedSize, c.Bytes.size());
            EXPECT_EQ(state.LoadedHash, hash.Digest());

            // One line at a time, as the file layer also offers: the same lines and verdict.
            rz::NumberedFiles files(os);
            ASSERT_NE(files.OpenFileForReading(0, PathText(dir / "board")), 0);
            lines.clear();
            while (!files.FileAtEnd(0)) {
                lines.push_back(files.ReadTextLine(0));
            }
            EXPECT_EQ(lines, c.Expected);
            EXPECT_EQ(files.Slot(0)->Faithful, c.Faithful);
            EXPECT_EQ(files.Slot(0)->Received.Digest(), hash.Digest());
        }
    }
}

// Lines go out as UTF-8 and CR LF, and only into a new file: the rewrite's temporary
// file is never one that exists.
TEST(LineWriting, Utf8AndCrLfIntoANewFileOnly) {
    ScratchDir dir;
    WriteBytes(dir / "taken", "old");
    rz::NumberedFiles files(rz::SystemFiles());
    EXPECT_EQ(files.CreateFileForWriting(0, PathText(dir / "taken")), 0);
    EXPECT_EQ(files.LastOpenResult(), rz::OsResult::AlreadyExists);
    EXPECT_EQ(files.WriteTextLine(0, u"x"), 0);
    EXPECT_EQ(rztest::ReadBytes(dir / "taken"), "old");

    // A fresh file takes each line as UTF-8 and CR LF.
    ASSERT_NE(files.CreateFileForWriting(0, PathText(dir / "new")), 0);
    EXPECT_EQ(files.WriteTextLine(0, u"(drill 1.0)"), 13);
    EXPECT_EQ(files.WriteTextLine(0, u""), 2);
    EXPECT_EQ(files.WriteTextLine(0, u"\u00E4\U0001F600"), 8);
    EXPECT_EQ(files.CloseNumberedFile(0), rz::OsResult::Ok);
    EXPECT_EQ(rztest::ReadBytes(dir / "new"), "(drill 1.0)\r\n\r\n\xC3\xA4\xF0\x9F\x98\x80\r\n");
}

TEST(Collection, WhichTokensAreListedInWhatOrder) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"(kicad_pcb\n(Drill 1.0)\n( drill 1.0)\n)", {}},
        {"(pad 1 thru_hole (drill 0.762) (layers *.Cu))", {u"0.762"}},
        {"(drill 0.8)\n(drill 0.8)\nx (drill 0.8) y", {u"0.8"}},
        {"(drill 2)\n(drill 10)\n(drill 1.0)\n(drill 1)\n(drill 0.8)", // text order
         {u"0.8", u"1", u"1.0", u"10", u"2"}},
        {"(drill 0.5) (drill 0.6)", {u"0.5"}}, // the first marker of a line only
        {"(pad (drill \n(drill 0.4\n(pad (drill 0.9))", {u"0.9"}}, // empty tokens
        // Via lines, and since KiCad 8 via blocks, are left out.
        {"(via (at 1 1) (drill 0.4))\n(drill 0.3) (via )\n(pad (drill 0.8))", {u"0.8"}},
        {"\t(via\n\t\t(at 1 2)\n\t\t(drill 0.4)\n\t)\n\t(pad \"1\"\n\t\t(drill 1.152)\n\t)",
         {u"1.152"}},
        {"(via (at 1 2)\n  (drill 0.45)\n)\n(drill 0.9)", {u"0.9"}},
        {"(via\n  (net 3 \"a)b\\\")c)\")\n  (drill 0.3)\n)\n(drill 0.7)", {u"0.7"}},
        {"(via\n  (layers (a) (b))\n  (drill 0.4)\n)\n(drill 1.0)", {u"1.0"}},
        {"(gr_text \"(via\" (at 0 0))\n(via)\n(vias\n  (drill 0.6)\n)", {u"0.6"}}, // no via open
        {"(gr_text \"oops)\n(via\n  (drill 0.4)\n)\n(drill 0.9)", {u"0.9"}},
        {"(pad \"\xC3\xA4\" (drill 0.8))\n(via \"\xC3\xB6\" (drill 0.3))", {u"0.8"}},
    };
    ScratchDir dir;
    for (const auto& [board, expected] : cases) {
        WriteBytes(dir / "b", board);
        rztest::Loaded run;
        Lines listed;
        for (const rz::DrillRow& row : rztest::LoadAndPrepare(run, dir / "b", rz::SystemFiles())) {
            listed.push_back(row.Before);
        }
        EXPECT_EQ(listed, expected) << board;
    }
}

// While collecting, DrillCount is the next free slot; once the rows are prepared, the
// last one used. Slot 0 stays empty.
TEST(Collection, DrillCountAndSlots) {
    ScratchDir dir;
    WriteBytes(dir / "b", "(drill 2)\n(drill 1)\n(drill 2)");
    rz::BoardState two;
    rztest::FakeDialogs dialogs(PathText(dir / "b"));
    rz::LoadBoardFile(two, dialogs);
    rz::CollectPadDrills(two);
    EXPECT_EQ(two.DrillCount, 3);
    EXPECT_EQ(two.DrillTokens, (Lines{u"", u"(drill 2)", u"(drill 1)"}));
    rz::SortDrillTokens(two);
    rz::PrepareDrillRows(two);
    EXPECT_EQ(two.DrillCount, 2);
    EXPECT_EQ(two.NewDrillTokens, (Lines{u"", u"(drill 1.0)", u"(drill 2.0)"}));
}

TEST(Rounding, ValueTextAndRoundedText) {
    // clang-format off
    const std::vector<std::pair<rz::Text, rz::Text>> values = {
        {u"0.762", u"0.8"}, {u"0.8", u"0.8"}, {u"1.016", u"1.0"}, {u"1", u"1.0"}, {u"0.35", u"0.4"},
        {u"0.45", u"0.5"}, {u"0.85", u"0.9"}, {u"0.04", u"0.0"}, {u"2.54", u"2.5"},
        {u"12.345", u"12.3"}, {u"10", u"10.0"}, {u"0", u"0.0"}, {u"-0.8", u"-.8"}, {u"3.2", u"3.2"},
        {u"0.05", u"0.1"}, {u"-0.04", u"0.0"}, {u"-0.05", u"-.1"}, {u"NaN", u"Na.N"},
        {u"+Infinity", u"+Infinit.y"}, {u"oval 1.2 2.0", u"0.0"}, {u"", u"0.0"}};
    // clang-format on
    for (const auto& [value, rounded] : values) {
        EXPECT_EQ(rz::RoundedDrillText(value), rounded) << rz::TextToUtf8(value);
        EXPECT_EQ(rz::DrillValueText(u"(drill " + value + u")"), value);
    }
    EXPECT_EQ(rz::DrillValueText(u"(drill 1.0 (offset 0.1 0)"), u"1.0 (offset 0.1 0");
    EXPECT_EQ(rz::DrillValueText(u"(drill"), u"");
}

// One number: the rounded text. Oval and offset: only the size numbers change. Anything
// else stays as it is.
TEST(Rounding, WhatIsListedAndWrittenForEachForm) {
    // clang-format off
    const std::vector<std::pair<rz::Text, rz::Text>> forms = {
        {u"0.762", u"0.8"}, {u"1", u"1.0"}, {u"1e-3", u"0.0"}, {u"-0.8", u"-.8"},
        {u"0.75 (offset 0 0.4", u"0.8 (offset 0 0.4"}, {u"oval 1.02 2.03", u"oval 1.0 2.0"},
        {u"oval 1.02 2.03 (offset 0.1 -0.25", u"oval 1.0 2.0 (offset 0.1 -0.25"},
        {u"oval  1.02\t2.03", u"oval  1.0\t2.0"},
        {u"NaN", u"NaN"}, {u"+Infinity", u"+Infinity"}, {u"", u""}, {u"oval 1.2", u"oval 1.2"},
        {u"oval 1.2 2.0 3.0", u"oval 1.2 2.0 3.0"}, {u"1.0 2.0", u"1.0 2.0"},
        {u"(offset 0 0.4", u"(offset 0 0.4"}, {u"0.8mm", u"0.8mm"}, {u" 0.8", u" 0.8"},
        {u"0.8 ", u"0.8 "}, {u"0.8 (offsetx 1", u"0.8 (offsetx 1"}, {u"oval NaN 1", u"oval NaN 1"},
        {u"1e39", u"1e39"}, {u"3.5e38", u"3.5e38"}, // beyond the float range, or its tenfold
        {u"oval 1.02 -3.5e38", u"oval 1.02 -3.5e38"}, {u"Oval 1.02 2.03", u"Oval 1.02 2.03"}};
    // clang-format on
    for (const auto& [value, listed] : forms) {
        EXPECT_EQ(rz::ListedDrillText(value), listed) << rz::TextToUtf8(value);
    }
}

} // namespace
