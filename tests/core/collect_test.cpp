// Collection of pad drill tokens, rounding, and the rows the window lists.
#include "core/marker_search.hpp"
#include "core/pipeline.hpp"
#include "core/via_lists.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

rz::BoardState StateOf(const std::vector<rz::Text>& lines) {
    rz::BoardState state;
    for (const rz::Text& line : lines) {
        state.BoardLines.push_back(line);
    }
    state.LastLineIndex = static_cast<int32_t>(lines.size()) - 1;
    state.Flaw = rz::LoadFlaw::None;
    return state;
}

// The value texts listed, in list order, after the run's own steps.
std::vector<rz::Text> Listed(const std::vector<rz::Text>& lines) {
    rz::BoardState state = StateOf(lines);
    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);
    std::vector<rz::Text> values;
    for (const rz::DrillRow& row : rz::PrepareDrillRows(state)) {
        values.push_back(row.Before);
    }
    return values;
}

using Lines = std::vector<rz::Text>;

struct CollectCase {
    const char* Name;
    Lines Board;
    Lines Expected;
};

TEST(Collection, WhichTokensAreListed) {
    const std::vector<CollectCase> cases = {
        {"no drill at all", {u"(kicad_pcb", u")"}, {}},
        {"one pad", {u"(pad 1 thru_hole (drill 0.762) (layers *.Cu))"}, {u"0.762"}},
        {"two pads, first tokens differ",
         {u"(pad (drill 1.016))", u"(pad (drill 0.762))"},
         {u"0.762", u"1.016"}},
        {"same token many times", {u"(drill 0.8)", u"(drill 0.8)", u"x (drill 0.8) y"}, {u"0.8"}},
        {"via line skipped, marker after the drill too",
         {u"(via (at 1 1) (drill 0.4))", u"(drill 0.3) (via )", u"(pad (drill 0.8))"},
         {u"0.8"}},
        {"capital D and a blank after the parenthesis", {u"(Drill 1.0)", u"( drill 1.0)"}, {}},
        {"only the first marker of a line", {u"(drill 0.5) (drill 0.6)"}, {u"0.5"}},
        {"text order, not number order",
         {u"(drill 2)", u"(drill 10)", u"(drill 1.0)", u"(drill 1)", u"(drill 0.8)"},
         {u"0.8", u"1", u"1.0", u"10", u"2"}},
        // An empty token (no ")" after the marker on its line) is never listed, also
        // when it is the first one met.
        {"empty token first", {u"(pad (drill ", u"(pad (drill 0.9))"}, {u"0.9"}},
        {"only empty tokens", {u"(drill ", u"(drill 0.4"}, {}},
        // Since KiCad 8 a via is a block of lines.
        {"via block",
         {u"\t(via", u"\t\t(at 1 2)", u"\t\t(size 0.8)", u"\t\t(drill 0.4)", u"\t)",
          u"\t(pad \"1\" thru_hole", u"\t\t(drill 1.152)", u"\t)"},
         {u"1.152"}},
        {"via block opened with more on its line",
         {u"(via (at 1 2)", u"  (drill 0.45)", u")", u"(drill 0.9)"},
         {u"0.9"}},
        {"parentheses in strings do not count",
         {u"(via", u"  (net 3 \"a)b\\\")c)\")", u"  (drill 0.3)", u")", u"(drill 0.7)"},
         {u"0.7"}},
        {"a via keyword inside a string opens nothing",
         {u"(gr_text \"(via\" (at 0 0))", u"(drill 0.6)"},
         {u"0.6"}},
        {"longer keywords are not vias", {u"(vias", u"  (drill 0.6)", u")"}, {u"0.6"}},
        {"one-line via without blank", {u"(via)", u"(drill 0.6)"}, {u"0.6"}},
        {"an unbalanced quote ends with its line",
         {u"(gr_text \"oops)", u"(via", u"  (drill 0.4)", u")", u"(drill 0.9)"},
         {u"0.9"}},
        {"non-ASCII text on drill lines",
         {u"(pad \"\u00E4\" (drill 0.8))", u"(via \"\u00F6\" (drill 0.3))"},
         {u"0.8"}},
        {"nested lists inside the via block",
         {u"(via", u"  (layers (a) (b))", u"  (drill 0.4)", u")", u"(drill 1.0)"},
         {u"1.0"}},
    };
    for (const CollectCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Listed(c.Board), c.Expected);
    }
}

TEST(Collection, CountsAndSlots) {
    rz::BoardState none = StateOf({u"(drill "});
    rz::CollectPadDrills(none);
    EXPECT_EQ(none.DrillCount, 0);
    rz::SortDrillTokens(none);
    EXPECT_TRUE(rz::PrepareDrillRows(none).empty());
    EXPECT_EQ(none.DrillCount, -1);

    rz::BoardState two = StateOf({u"(drill 2)", u"(drill 1)", u"(drill 2)"});
    rz::CollectPadDrills(two);
    EXPECT_EQ(two.DrillCount, 3);
    EXPECT_EQ(two.DrillTokens[0], u"");
    EXPECT_EQ(two.DrillTokens[1], u"(drill 2)");
    EXPECT_EQ(two.DrillTokens[2], u"(drill 1)");
    rz::SortDrillTokens(two);
    EXPECT_EQ(two.DrillTokens[0], u"");
    EXPECT_EQ(two.DrillTokens[1], u"(drill 1)");
    rz::PrepareDrillRows(two);
    EXPECT_EQ(two.DrillCount, 2);
    EXPECT_EQ(two.NewDrillTokens[0], u"");
    EXPECT_EQ(two.NewDrillTokens[1], u"(drill 1.0)");
    EXPECT_EQ(two.NewDrillTokens[2], u"(drill 2.0)");
}

TEST(Collection, NoLimitOnLinesOrTokens) {
    Lines board;
    for (int k = 0; k < 30000; ++k) {
        board.push_back(u"(pad (drill " + rz::FormatFloat32(static_cast<float>(k % 700)) +
                        u".25))");
    }
    rz::BoardState state = StateOf(board);
    rz::CollectPadDrills(state);
    EXPECT_EQ(state.DrillCount, 701);
    rz::SortDrillTokens(state);
    const std::vector<rz::DrillRow> rows = rz::PrepareDrillRows(state);
    ASSERT_EQ(rows.size(), 700u);
    for (size_t k = 1; k < rows.size(); ++k) {
        EXPECT_LT(rz::CompareTexts(state.DrillTokens[k], state.DrillTokens[k + 1]), 0);
    }
}

TEST(Collection, MarkerSearchFindsWhatAPlainSearchFinds) {
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string all(random() % 80, ' ');
        for (char& c : all) {
            c = "(dril v\n"[random() % 8];
        }
        for (const std::string_view marker : {"(drill ", "(via", "\""}) {
            for (size_t from = 0; from <= all.size() + 1; from += 1 + random() % 7) {
                const size_t expected = all.find(marker, from);
                EXPECT_EQ(rz::FindMarker(all, from, marker),
                          expected == std::string::npos ? all.size() : expected);
            }
        }
        for (size_t from = 0; from <= all.size() + 1; from += 1 + random() % 7) {
            const size_t drill = std::min(all.find("(drill ", from), all.size());
            const size_t via = std::min(all.find("(via", from), all.size());
            EXPECT_EQ(rz::FindEitherMarker(all, from, "(drill ", "(via"), std::min(drill, via));
        }
    }
}

// Collection looks for drills and via lists in one pass; judged line by line, with
// the via lists known beforehand, the same tokens come out in the same order.
TEST(Collection, OnePassFindsWhatLineByLineFinds) {
    std::mt19937 random(5);
    const std::vector<std::string> pieces = {"(pad \"1\" thru_hole (drill 0.8) (layers *.Cu))",
                                             "(drill 1.2)",
                                             "(drill oval 1 2)",
                                             "(via",
                                             "(via (at 1 2) (drill 0.4))",
                                             ")",
                                             "(net 1 \"(via\")",
                                             "\"a\\\"(\"",
                                             "(via_drill 0.3)",
                                             "(drill 0.75 (offset 0 0.4))",
                                             "(drill ",
                                             "\u00e4(drill 0.9)",
                                             "(",
                                             "  "};
    for (int round = 0; round < 300; ++round) {
        Lines board;
        const size_t count = 1 + random() % 40;
        for (size_t k = 0; k < count; ++k) {
            std::string line;
            for (size_t n = random() % 4; n > 0; --n) {
                line += pieces[random() % pieces.size()];
                line += random() % 3 == 0 ? "" : " ";
            }
            board.push_back(rz::Utf8ToText(line));
        }
        SCOPED_TRACE(round);
        rz::BoardState state = StateOf(board);
        if (round % 5 == 0) {
            state.LastLineIndex = static_cast<int32_t>(random() % count); // lines left out
        }
        rz::CollectPadDrills(state);

        const std::string& all = state.BoardLines.All();
        const std::vector<rz::ViaList> vias = rz::FindViaLists(all);
        std::vector<rz::Text> expected{rz::Text()};
        for (size_t i = 0; i <= static_cast<size_t>(state.LastLineIndex); ++i) {
            const size_t begin = state.BoardLines.BeginOf(i);
            const size_t end = state.BoardLines.EndOf(i);
            const rz::Text line = state.BoardLines[i];
            bool inVia = line.find(u"(via ") != rz::Text::npos;
            for (const rz::ViaList& list : vias) {
                inVia = inVia || (list.Open < end && list.Close >= begin);
            }
            const size_t p = line.find(u"(drill ");
            const size_t e = p == rz::Text::npos ? p : line.find(u')', p);
            if (inVia || e == rz::Text::npos) {
                continue;
            }
            const rz::Text token = line.substr(p, e - p + 1);
            if (std::find(expected.begin(), expected.end(), token) == expected.end()) {
                expected.push_back(token);
            }
        }
        EXPECT_EQ(std::vector<rz::Text>(state.DrillTokens.begin(),
                                        state.DrillTokens.begin() +
                                            std::max<int32_t>(state.DrillCount, 1)),
                  expected);
    }
}

TEST(Rounding, ValueTextAndRoundedText) {
    const std::vector<std::pair<rz::Text, rz::Text>> values = {
        {u"0.762", u"0.8"},
        {u"0.8", u"0.8"},
        {u"1.016", u"1.0"},
        {u"1", u"1.0"},
        {u"0.35", u"0.4"},
        {u"0.45", u"0.5"},
        {u"0.85", u"0.9"},
        {u"0.04", u"0.0"},
        {u"2.54", u"2.5"},
        {u"12.345", u"12.3"},
        {u"10", u"10.0"},
        {u"0", u"0.0"},
        {u"-0.8", u"-.8"},
        {u"3.2", u"3.2"},
        {u"0.05", u"0.1"},
        {u"-0.04", u"0.0"},
        {u"-0.05", u"-.1"},
        {u"NaN", u"Na.N"},
        {u"+Infinity", u"+Infinit.y"},
        {u"oval 1.2 2.0", u"0.0"},
        {u"", u"0.0"},
    };
    for (const auto& [value, rounded] : values) {
        SCOPED_TRACE(rz::TextToUtf8(value));
        EXPECT_EQ(rz::RoundedDrillText(value), rounded);
        EXPECT_EQ(rz::DrillValueText(u"(drill " + value + u")"), value);
    }
    EXPECT_EQ(rz::DrillValueText(u"(drill 1.0 (offset 0.1 0)"), u"1.0 (offset 0.1 0");
    EXPECT_EQ(rz::DrillValueText(u""), u"");
    EXPECT_EQ(rz::DrillValueText(u"(drill"), u"");
}

TEST(Rounding, WhatIsListedAndWrittenForEachForm) {
    const std::vector<std::pair<rz::Text, rz::Text>> forms = {
        // One number: the rounded text.
        {u"0.762", u"0.8"},
        {u"1", u"1.0"},
        {u"1e-3", u"0.0"},
        {u"-0.8", u"-.8"},
        // Oval and offset: only the size numbers change.
        {u"0.75 (offset 0 0.4", u"0.8 (offset 0 0.4"},
        {u"oval 1.02 2.03", u"oval 1.0 2.0"},
        {u"oval 1.02 2.03 (offset 0.1 -0.25", u"oval 1.0 2.0 (offset 0.1 -0.25"},
        {u"oval  1.02\t2.03", u"oval  1.0\t2.0"},
        // Anything else stays as it is.
        {u"NaN", u"NaN"},
        {u"+Infinity", u"+Infinity"},
        {u"", u""},
        {u"oval 1.2", u"oval 1.2"},
        {u"oval 1.2 2.0 3.0", u"oval 1.2 2.0 3.0"},
        {u"1.0 2.0", u"1.0 2.0"},
        {u"(offset 0 0.4", u"(offset 0 0.4"},
        {u"0.8mm", u"0.8mm"},
        {u" 0.8", u" 0.8"},
        {u"0.8 ", u"0.8 "},
        {u"0.8 (offsetx 1", u"0.8 (offsetx 1"},
        {u"oval NaN 1", u"oval NaN 1"},
        {u"1e39", u"1e39"},     // beyond the float range
        {u"3.5e38", u"3.5e38"}, // its tenfold is
        {u"oval 1.02 -3.5e38", u"oval 1.02 -3.5e38"},
        {u"Oval 1.02 2.03", u"Oval 1.02 2.03"},
    };
    for (const auto& [value, listed] : forms) {
        SCOPED_TRACE(rz::TextToUtf8(value));
        EXPECT_EQ(rz::ListedDrillText(value), listed);
    }
}

TEST(Rounding, RowsAndReplacementTokensKeepOffsetsAndOvals) {
    rz::BoardState state = StateOf({
        u"(pad \"1\" thru_hole oval (drill oval 1.02 2.03) (layers *.Cu))",
        u"(pad \"2\" thru_hole circle (drill 0.75 (offset 0 0.4)) (layers *.Cu))",
        u"(pad \"3\" thru_hole circle (drill weird) (layers *.Cu))",
    });
    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);
    const std::vector<rz::DrillRow> rows = rz::PrepareDrillRows(state);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Before, u"0.75 (offset 0 0.4");
    EXPECT_EQ(rows[0].After, u"0.8 (offset 0 0.4");
    EXPECT_EQ(state.NewDrillTokens[1], u"(drill 0.8 (offset 0 0.4)");
    EXPECT_EQ(rows[1].Before, u"oval 1.02 2.03");
    EXPECT_EQ(rows[1].After, u"oval 1.0 2.0");
    EXPECT_EQ(state.NewDrillTokens[2], u"(drill oval 1.0 2.0)");
    EXPECT_EQ(rows[2].Before, u"weird");
    EXPECT_EQ(rows[2].After, u"weird");
    EXPECT_EQ(state.NewDrillTokens[3], state.DrillTokens[3]);
}

} // namespace
