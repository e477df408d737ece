// The hole engine on small boards written for each rule: what the reader takes from
// each KiCad form, the copper ring, the rounding rules, the selection and the edits.
#include "core/board_reader.hpp"
#include "core/board_syntax.hpp"
#include "core/copper_ring.hpp"
#include "core/drill_decisions.hpp"
#include "core/pipeline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

namespace {

using rz::Decimal;

// One line per hole: where it is, its pad, its lock, its copper, its drill and token.
std::string Described(std::string_view all) {
    const rz::BoardRecords r = rz::ReadBoard(all);
    std::ostringstream out;
    out << "v" << r.Version;
    for (const rz::HoleRecord& h : r.Holes) {
        out << "\n";
        if (h.Via) {
            out << "via";
        } else if (h.Footprint >= 0) {
            const rz::FootprintRecord& fp = r.Footprints[static_cast<size_t>(h.Footprint)];
            out << rz::AtomText(all, fp.Reference) << "|" << rz::AtomText(all, fp.Name)
                << (fp.Locked ? "|L" : "") << " " << rz::AtomText(all, h.Number);
        }
        out << " t" << static_cast<int>(h.Type) << (h.Locked ? " L" : "") << " s"
            << static_cast<int>(h.Copper.Shape) << " " << h.Copper.SizeX << "x" << h.Copper.SizeY
            << " r" << h.Copper.RoundRatio << " @" << h.Copper.OffsetX << "," << h.Copper.OffsetY;
        for (uint32_t k = 0; k < h.Layers; ++k) {
            out << " +s" << static_cast<int>(r.LayerCopper[h.FirstLayer + k].Shape);
        }
        out << (h.Oval ? " oval" : "");
        for (size_t k = 0; k < h.SizeCount; ++k) {
            out << " " << rz::SpanText(all, h.Sizes[k]);
        }
        out << " [" << r.TokenOf(all, h) << "]";
    }
    return out.str();
}

TEST(EngineSyntax, StringsEndAtTheirQuoteOrLineAndListsAtTheirParenthesis) {
    // Text, position of a quote, where the string ends; position of a "(", its ")".
    const std::tuple<std::string_view, size_t, size_t> strings[] = {
        {"\"a(b\" x", 0, 5},  {"\"a\\\"b\" x", 0, 6}, {"\"a\\\\\" x", 0, 5}, {"\"ab\ncd\"", 0, 3},
        {"\"ab\\\ncd", 0, 4}, {"\"ab", 0, 3},         {"\"ab\\", 0, 4}};
    for (const auto& [text, quote, end] : strings) {
        EXPECT_EQ(rz::SkipString(text, quote), end) << text;
    }
    // A string left open ends with its line, so the ")" behind it counts again.
    const std::tuple<std::string_view, size_t, size_t> lists[] = {{"(a (b \")\") c) d", 0, 12},
                                                                  {"(a (b \")\") c) d", 3, 9},
                                                                  {"(a \"x\ny) )\n", 0, 7},
                                                                  {"(a (b)\n", 0, 6},
                                                                  {"", 0, 0}};
    for (const auto& [text, open, close] : lists) {
        EXPECT_EQ(rz::CloseOfList(text, open), close) << text;
    }
}

TEST(EngineReader, KindOfFileByItsFirstList) {
    using rz::FileKind;
    const std::pair<std::string_view, FileKind> files[] = {
        {"(kicad_pcb (version 4)\n)\n", FileKind::Board},
        {"\n  (module R_0805 (layer F.Cu)\n)\n", FileKind::Footprint},
        {"(footprint \"a)\" (pad 1 thru_hole circle (drill 1)))\n", FileKind::Footprint},
        {"(footprint \"x\"\n  (pad 1 thru_hole circle (drill 1)\n", FileKind::Unclosed},
        {"(kicad_pcb (footprint \"x\")\n", FileKind::Unclosed},
        {"(footprint \"x\"\n  (pad 1 thru_hole circle (drill 1))", FileKind::Unclosed},
        {"(kicad_sch (version 1))\n", FileKind::Other},
        {"(footprints)\n", FileKind::Other},
        {"", FileKind::Other}};
    for (const auto& [text, kind] : files) {
        EXPECT_EQ(rz::KindOfFile(text), kind) << text;
    }
}

TEST(EngineReader, EachKiCadFormOfHoles) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        // KiCad 4 and 5: unquoted names, locks as bare atoms, one line per pad and via.
        {"(kicad_pcb (version 20171130) (host pcbnew 5.1.9)\n"
         "  (module Lib:R locked (layer F.Cu) (tedit 0)\n"
         "    (fp_text reference R1 (at 0 0) (layer F.SilkS))\n"
         "    (fp_text value \"text (pad 9 x) (drill 9.9)\" (at 0 0))\n"
         "    (pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
         "    (pad 2 thru_hole oval locked (at 2 0) (size 1.6 2.4) (drill oval 0.6 1.2 (offset 0 0.1)))\n"
         "    (pad 3 smd rect (at 4 0) (size 1 1) (drill (offset 0 0.075)) (layers F.Cu))\n"
         "  )\n"
         "  (via (at 1 1) (size 0.6) (drill 0.4) (layers F.Cu B.Cu) (net 1))\n"
         ")\n",
         "v20171130\n"
         "R1|Lib:R|L 1 t1 s1 1.6x1.6 r0.25 @0,0 0.762 [(drill 0.762)]\n"
         "R1|Lib:R|L 2 t1 L s2 1.6x2.4 r0.25 @0,0.1 oval 0.6 1.2 [(drill oval 0.6 1.2 (offset 0 0.1)]\n"
         "via t0 s1 0.6x0.6 r0 @0,0 0.4 [(drill 0.4)]"},
        // KiCad 8 to 10: blocks, the reference as a property, "(locked yes)", a drill with
        // an offset over three lines, a hole-less pad, padstack layers, a custom pad.
        {"(kicad_pcb\n\t(version 20241229)\n"
         "\t(footprint \"Conn:J\"\n\t\t(locked yes)\n"
         "\t\t(property \"Value\" \"R1\")\n\t\t(property \"Reference\" \"J\\\"(1\"\n\t\t\t(at 0 0)\n\t\t)\n"
         "\t\t(pad \"1\" thru_hole roundrect\n\t\t\t(size 1.8 3)\n\t\t\t(drill 0.45\n"
         "\t\t\t\t(offset -0.5 0)\n\t\t\t)\n\t\t\t(roundrect_rratio 0.1)\n\t\t\t(locked yes)\n"
         "\t\t\t(padstack\n\t\t\t\t(layer \"B.Cu\" (shape circle) (size 1 1))\n\t\t\t)\n\t\t)\n"
         "\t\t(pad \"2\" smd rect\n\t\t\t(size 1 1)\n\t\t\t(drill\n\t\t\t\t(offset 0 0.5)\n\t\t\t)\n\t\t)\n"
         "\t\t(pad \"3\" thru_hole custom\n\t\t\t(size 1.2 1.2)\n\t\t\t(drill 0.6)\n"
         "\t\t\t(options\n\t\t\t\t(anchor circle)\n\t\t\t)\n\t\t\t(locked no)\n\t\t)\n"
         "\t)\n\t(via\n\t\t(at 1 1)\n\t\t(size 0.45)\n\t\t(drill 0.3)\n\t\t(locked yes)\n\t)\n)\n",
         "v20241229\n"
         "J\"(1|Conn:J|L 1 t1 L s4 1.8x3 r0.1 @-0.5,0 +s1 0.45 [(drill 0.45 (offset -0.5 0)]\n"
         "J\"(1|Conn:J|L 3 t1 s1 1.2x1.2 r0.25 @0,0 0.6 [(drill 0.6)]\n"
         "via t0 L s1 0.45x0.45 r0 @0,0 0.3 [(drill 0.3)]"},
        // A footprint file; a drill whose marker has a tab has no token, and so is never
        // rewritten, but it is still a hole.
        {"(footprint \"MountingHole_3.2mm\" (version 20211014) (generator pcbnew)\n"
         "  (fp_text reference \"REF**\" (at 0 -4.2) (layer \"F.SilkS\"))\n"
         "  (pad \"\" np_thru_hole circle (at 0 0) (size 3.2 3.2) (drill 3.2) (layers *.Cu))\n"
         "  (pad \"1\" thru_hole trapezoid (at 0 0) (size 2 1) (drill\t1) (layers *.Cu))\n)\n",
         "v20211014\n"
         "REF**|MountingHole_3.2mm  t2 s1 3.2x3.2 r0.25 @0,0 3.2 [(drill 3.2)]\n"
         "REF**|MountingHole_3.2mm 1 t1 s5 2x1 r0.25 @0,0 1 []"},
        // A file cut short inside a drill written over lines: a hole without a token.
        {"(kicad_pcb (version 3)\n (footprint \"A\"\n  (pad \"1\" thru_hole circle (size 1 1)\n"
         "   (drill 0.45\n    (offset 1 0)\n",
         "v3\n|A 1 t1 s1 1x1 r0.25 @1,0 0.45 []"},
        // A damaged pad with a second drill list, cut short: nothing of the first one
        // (its oval, its token's length) carries over to it.
        {"(footprint \"A\"\n (pad \"1\" thru_hole circle (size 1 1) (drill oval 0.5 1) (drill 0.8\n",
         "v0\n|A 1 t1 s1 1x1 r0.25 @0,0 0.8 []"},
    };
    // clang-format on
    for (const auto& [board, want] : cases) {
        EXPECT_EQ(Described(board), want) << board;
    }
}

TEST(EngineRing, HandWorked) {
    using S = rz::PadShape;
    // clang-format off
    const std::tuple<rz::CopperShape, rz::HoleShape, double> worked[] = {
        {{S::Circle, 1.6f, 1.6f}, {0.8, 0.8}, 0.4},
        {{S::Circle, 1.6f, 1.6f, 0, 0.2f, 0}, {0.8, 0.8}, 0.2},
        {{S::Rect, 2, 1}, {0.6, 0.6}, 0.2},
        {{S::Trapezoid, 2, 1}, {0.6, 0.6}, 0.2},
        {{S::Oval, 1.6f, 2.4f}, {0.6, 1.2}, 0.5},
        {{S::Oval, 2.4f, 1.6f}, {0.6, 1.2}, 0.2}, // the slot across the oval
        {{S::RoundRect, 2, 2, 0.25f, 0.6f, 0.6f}, {0.4, 0.4}, 0.5 - std::hypot(0.1, 0.1) - 0.2},
        {{S::Circle, 0.458f, 0.458f}, {0.3, 0.3}, 0.079},
        {{S::Circle, 1, 1}, {1.2, 1.2}, -0.1},
        // Off-centre copper: which offset goes with which axis, and which way a slot lies.
        {{S::Rect, 3, 2, 0, 0.2f, 0}, {1.2, 0.6}, 0.7},
        {{S::RoundRect, 3, 1, 0.25f, 1.3f, 0.3f}, {0.2, 0.2}, 0.25 - std::hypot(0.05, 0.05) - 0.1},
    };
    // clang-format on
    for (const auto& [copper, hole, ring] : worked) {
        EXPECT_NEAR(rz::CopperRing(copper, hole), ring, 1e-6);
    }
}

std::string Rounded(const rz::RoundingOptions& o, const char* value) {
    const rz::DecimalSizeRule rule(o);
    const rz::ListedDrill listed = rz::ListDrill(rz::Utf8ToText(value), rule);
    if (listed.Verdict == rz::SizeVerdict::BeyondTable) {
        return "beyond";
    }
    return listed.Verdict == rz::SizeVerdict::NotANumber ? "kept" : rz::TextToUtf8(listed.After);
}

TEST(EngineRule, GridsTablesAndSlots) {
    using M = rz::RoundMode;
    std::string error;
    const std::vector<Decimal> table =
        rz::ParseDrillList("1.0, 0.3,0.5 ,0.8mm,0.30", error).value();
    // clang-format off
    const std::tuple<M, const char*, bool, const char*, const char*> rows[] = {
        {M::Nearest, "0.05", false, "0.325", "0.35"}, {M::Nearest, "0.05", false, "1", "1"},
        {M::Up, "0.1", false, "1.016", "1.1"}, {M::Down, "0.1", false, "2.54", "2.5"},
        {M::Up, "0.1", false, "oval 0.6  1.22 (offset 0 0.1", "oval 0.6  1.3 (offset 0 0.1"},
        {M::Nearest, "0.1", false, "-0.8", "kept"}, {M::Nearest, "0.1", false, "0", "kept"},
        {M::Nearest, "0.1", false, "1.2 1.5", "kept"}, {M::Up, "0.1", false, "1e-13", "kept"},
        {M::Nearest, "0.1", true, "0.64", "0.5"}, {M::Nearest, "0.1", true, "0.4", "0.5"},
        {M::Nearest, "0.1", true, "0.2", "beyond"}, {M::Nearest, "0.1", true, "1.01", "beyond"},
        {M::Up, "0.1", true, "0.81", "1.0"}, {M::Up, "0.1", true, "1.01", "beyond"},
        {M::Down, "0.1", true, "0.29", "beyond"}, {M::Down, "0.1", true, "0.30", "0.30"},
        {M::Down, "0.1", true, "0.79", "0.5"},
        // A slot's width goes to the table, its length to the grid, and never below the width.
        {M::Up, "0.1", true, "oval 0.45 1.22", "oval 0.5 1.3"},
        {M::Up, "0.1", true, "oval 1.22 0.45", "oval 1.3 0.5"},
        {M::Up, "0.1", true, "oval 0.82 0.84", "oval 1.0 1.0"},
        {M::Nearest, "0.2", true, "oval 0.45 0.48", "oval 0.5 0.5"},
        {M::Nearest, "0.2", true, "oval 0.5 0.5", "oval 0.5 0.5"}, // so, stays there
        {M::Up, "0.1", true, "oval 1.1 1.5", "beyond"}};
    // clang-format on
    for (const auto& [mode, grid, withTable, value, want] : rows) {
        rz::RoundingOptions o{mode, Decimal::Parse(grid).value(), {}};
        if (withTable) {
            o.Table = table;
        }
        EXPECT_EQ(Rounded(o, value), want) << value << " grid " << grid << " table " << withTable;
    }
    EXPECT_TRUE(rz::IsWindowRounding(rz::RoundingOptions()));
    EXPECT_FALSE(
        rz::IsWindowRounding({rz::RoundMode::Nearest, Decimal::Parse("0.10").value(), table}));
}

TEST(EngineRule, DrillTablesNameTheBadEntry) {
    std::string error;
    const auto sizes = rz::ParseDrillFile("\xEF\xBB\xBF# fab XY\r\n0.3\r\n\n 0.40 \n0.3\n", error);
    ASSERT_TRUE(sizes.has_value()) << error;
    EXPECT_EQ(sizes->size(), 2u);
    const std::tuple<bool, const char*, const char*> bad[] = {
        {false, "0.3,,0.4", "„“"},
        {false, "0.3,abc", "„abc“"},
        {false, "", "„“"},
        {false, "0.3,0", "„0“"},
        {false, "0.3,-0.4", "„-0.4“"},
        {true, "0.3\n0,8\n", "Zeile 2: ungültiger Eintrag „0,8“"},
        {true, "# nothing\n\n", "keinen Durchmesser"}};
    for (const auto& [file, text, part] : bad) {
        error.clear();
        const auto parsed =
            file ? rz::ParseDrillFile(text, error) : rz::ParseDrillList(text, error);
        EXPECT_FALSE(parsed.has_value()) << text;
        EXPECT_NE(error.find(part), std::string::npos) << error;
    }
}

// A board with a locked mounting hole, a connector with one locked pad and a small pad,
// two resistors, and vias: every selection protects something the default changes.
constexpr std::string_view kBoard =
    "(kicad_pcb (version 20221018)\n"
    " (footprint \"MountingHole:MountingHole_3.2mm_M3\" locked (layer \"F.Cu\")\n"
    "  (fp_text reference \"H1\" (at 0 0))\n"
    "  (pad \"\" np_thru_hole circle (at 0 0) (size 3.2 3.2) (drill 3.15) (layers *.Cu)))\n"
    " (footprint \"Conn:J\" (layer \"F.Cu\")\n"
    "  (fp_text reference \"J1\" (at 0 0))\n"
    "  (pad \"1\" thru_hole rect (at 0 0) (size 1.7 1.7) (drill 1.016) (layers *.Cu))\n"
    "  (pad \"2\" thru_hole circle locked (at 2 0) (size 1.7 1.7) (drill 1.016) (layers *.Cu))\n"
    "  (pad \"3\" thru_hole circle (at 4 0) (size 0.458 0.458) (drill 0.254) (layers *.Cu)))\n"
    " (footprint \"R:R\" (layer \"F.Cu\") (fp_text reference \"R10\" (at 0 0))\n"
    "  (pad \"1\" thru_hole circle (at 0 0) (size 1.4 1.4) (drill 0.84) (layers *.Cu)))\n"
    " (footprint \"R:R\" (layer \"F.Cu\") (fp_text reference \"R2\" (at 0 0))\n"
    "  (pad \"1\" thru_hole circle (at 0 0) (size 1.4 1.4) (drill 0.84) (layers *.Cu)))\n"
    " (via (at 1 1) (size 0.458) (drill 0.254) (layers F.Cu B.Cu))\n"
    " (via (at 2 1) (size 0.458) (drill 0.254) (layers F.Cu B.Cu))\n"
    " (via locked (at 3 1) (size 0.6) (drill 0.3) (layers F.Cu B.Cu))\n)\n";

// The rows as "before>after pads/changed vias kept [refs]", and the warnings.
std::string Decided(const rz::DrillOptions& o) {
    const rz::BoardRecords records = rz::ReadBoard(kBoard);
    const rz::DrillReport report = rz::DecideDrills(kBoard, records, o);
    std::ostringstream out;
    for (const rz::ReportRow& row : report.Rows) {
        out << row.Before << ">" << row.After << " " << row.Pads << "/" << row.PadsChanged << " "
            << row.ViasFollowing << " " << rz::KeptReasonName(row.Kept) << " [";
        for (const std::string& r : row.References) {
            out << r << (&r == &row.References.back() ? "" : ",");
        }
        out << "]; ";
    }
    for (const rz::DrillWarning& w : report.Warnings) {
        out << "\n" << rz::WarningKindName(w.Kind) << " " << w.Count << ": " << w.Message;
    }
    return out.str();
}

TEST(EngineDecisions, WhatEachOptionLeavesAlone) {
    const auto with = [](auto change) {
        rz::DrillOptions o;
        change(o);
        return Decided(o);
    };
    const std::string defaultRows = "0.254>0.3 1/1 2  [J1]; 0.84>0.8 2/2 0  [R2,R10]; "
                                    "1.016>1.0 2/2 0  [J1]; 3.15>3.2 1/1 0  [H1]; ";
    EXPECT_EQ(with([](rz::DrillOptions&) {}),
              defaultRows +
                  "\nhole_fills_pad 1: H1: Die neue Bohrung 3.2 mm ist so groß wie das Pad oder "
                  "größer (Restring 0.025 mm → 0.0 mm)"
                  "\nring_below_minimum 1: J1 Pad 3: Bohrung 0.254 → 0.3 mm, Restring 0.102 mm → "
                  "0.079 mm, unter dem Minimum von 0.1 mm"
                  "\nvia_ring_below_minimum 2: 2 Vias 0.254 → 0.3 mm: Restring 0.102 mm → 0.079 "
                  "mm, unter dem Minimum von 0.1 mm");
    EXPECT_EQ(with([](rz::DrillOptions& o) { o.MinRing = Decimal(); }),
              defaultRows + "\nhole_fills_pad 1: H1: Die neue Bohrung 3.2 mm ist so groß wie das "
                            "Pad oder größer (Restring 0.025 mm → 0.0 mm)");
    const std::pair<std::function<void(rz::DrillOptions&)>, std::string> rows[] = {
        {[](rz::DrillOptions& o) {
             o.Keep = {"MountingHole:*", "R?"};
         },
         "0.84>0.8 2/1 0 pattern [R2,R10]; 1.016>1.0 2/2 0  [J1]; 3.15>3.15 1/0 0 pattern [H1]; "},
        {[](rz::DrillOptions& o) { o.KeepLocked = true; },
         "1.016>1.0 2/1 0 locked [J1]; 3.15>3.15 1/0 0 locked [H1]; "},
        {[](rz::DrillOptions& o) { o.MaxChange = Decimal::Parse("0.04"); },
         "0.254>0.254 1/0 0 max_change [J1]; 0.84>0.8 2/2 0  [R2,R10]; 1.016>1.0 2/2 0  [J1]; "
         "3.15>3.15 1/0 0 max_change [H1]; "},
        {[](rz::DrillOptions& o) {
             o.Rounding.Mode = rz::RoundMode::Up;
             o.Rounding.Table = {Decimal::Parse("0.3").value(), Decimal::Parse("1.1").value()};
         },
         "0.254>0.3 1/1 2  [J1]; 0.84>1.1 2/2 0  [R2,R10]; 1.016>1.1 2/2 0  [J1]; "
         "3.15>3.15 1/0 0 beyond_table [H1]; "},
    };
    for (const auto& [change, part] : rows) {
        const std::string decided = with(change);
        EXPECT_NE(decided.find(part), std::string::npos) << decided << "\nwants: " << part;
    }
}

TEST(EngineDecisions, ToolsAndEdits) {
    const rz::BoardRecords records = rz::ReadBoard(kBoard);
    rz::DrillOptions o;
    o.KeepLocked = true;
    const rz::DrillReport report = rz::DecideDrills(kBoard, records, o);
    const auto texts = [](const std::vector<Decimal>& tools) {
        std::string out;
        for (const Decimal d : tools) {
            out += d.ToText() + " ";
        }
        return out;
    };
    EXPECT_EQ(texts(report.ToolsBefore), "0.254 0.3 0.84 1.016 3.15 ");
    EXPECT_EQ(texts(report.ToolsAfter), "0.3 0.8 1.0 1.016 3.15 ");
    ASSERT_EQ(report.Vias.size(), 2u);
    EXPECT_EQ(report.Vias[0].Drill + "x" + std::to_string(report.Vias[0].Count), "0.254x2");
    // Exactly the size numbers of the changed holes: J1 pad 1 and 3, both resistors, the
    // two vias that follow 0.254; the locked via stays.
    std::string edited(kBoard);
    for (auto e = report.Edits.rbegin(); e != report.Edits.rend(); ++e) {
        EXPECT_EQ(edited.substr(e->At - 7, 7), "(drill ");
        edited.replace(e->At, e->Length, e->Replacement);
    }
    EXPECT_EQ(report.Edits.size(), 6u);
    EXPECT_NE(edited.find("(drill 1.016) (layers *.Cu))\n  (pad \"3\""), std::string::npos);
    EXPECT_TRUE(report.Tokens[static_cast<size_t>(report.Holes[1].Token)].Moves);
    // The window writes "1" as "1.0": a change of text, not of the hole.
    const std::string_view one = "(footprint \"A\" (pad \"1\" thru_hole circle (drill 1)))\n";
    const rz::DrillReport same = rz::DecideDrills(one, rz::ReadBoard(one), rz::DrillOptions());
    ASSERT_EQ(same.Tokens.size(), 1u);
    EXPECT_TRUE(same.Tokens[0].Changes && !same.Tokens[0].Moves);
    o.MaxChange = Decimal::Parse("0.04");
    for (const rz::DrillToken& t : rz::DecideDrills(kBoard, records, o).Tokens) {
        EXPECT_EQ(t.Moves, t.Value == "0.84" || t.Value == "1.016") << t.Value;
    }
}

void AddLine(rz::LineStore& lines, std::string_view bytes) {
    lines.Open().append(bytes);
    lines.EndLine();
}

TEST(EngineEdits, WrittenInPiecesOnlyWhenTheyFit) {
    rz::LineStore lines;
    for (const char* line : {"(drill 0.84)", "", "x(drill 1)"}) {
        AddLine(lines, line);
    }
    const auto write = [&](std::vector<rz::ByteEdit> edits, size_t count, size_t refuseAfter) {
        std::string out;
        size_t pieces = 0;
        const bool ok = rz::WriteEditedLines(lines, count, edits, [&](std::string_view piece) {
            out += piece;
            return ++pieces <= refuseAfter;
        });
        return (ok ? "" : "refused:") + out;
    };
    const size_t big = 100;
    EXPECT_EQ(write({{7, 4, "0.8"}, {22, 1, "1.0"}}, 3, big),
              "(drill 0.8)\r\n\r\nx(drill 1.0)\r\n");
    EXPECT_EQ(write({}, 2, big), "(drill 0.84)\r\n\r\n");
    EXPECT_EQ(write({{7, 4, "0.8"}}, 3, 0), "refused:(drill 0.8)\r\n\r\nx(drill 1)\r\n");
    // Over a line end, overlapping, out of order, bringing a line end in, beyond the lines.
    const std::pair<std::vector<rz::ByteEdit>, size_t> unfit[] = {
        {{{11, 2, ""}}, 3},
        {{{7, 4, "0.8"}, {10, 1, ")"}}, 3},
        {{{22, 1, "1.0"}, {7, 4, "0.8"}}, 3},
        {{{7, 4, "0.8\n"}}, 3},
        {{{22, 1, "1.0"}}, 2}};
    for (const auto& [edits, count] : unfit) {
        EXPECT_EQ(write(edits, count, big), "refused:");
    }
}

} // namespace
