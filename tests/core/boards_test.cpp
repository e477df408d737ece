// The real KiCad boards of the test data, rewritten on copies.
#include "core/pipeline.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using rztest::PathText;
using rztest::ReadBytes;

const fs::path kBoards = fs::path(REZURUDEV_TEST_DATA) / "boards";

std::vector<std::string> Split(const std::string& bytes, const std::string& end) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t cut = bytes.find(end, at);
        if (cut == std::string::npos) {
            cut = bytes.size();
        }
        lines.push_back(bytes.substr(at, cut - at));
        at = cut + end.size();
    }
    return lines;
}

// The line with every drill token ("(drill " up to the first ")") taken out.
std::string WithoutDrillTokens(std::string line) {
    size_t p;
    while ((p = line.find("(drill ")) != std::string::npos) {
        const size_t e = line.find(')', p);
        line.erase(p, e == std::string::npos ? std::string::npos : e - p + 1);
    }
    return line;
}

bool OnGrid(std::string_view number) {
    const size_t point = number.find('.');
    return point != std::string_view::npos && point > 0 && point + 2 == number.size() &&
           number.find_first_not_of("0123456789.") == std::string_view::npos;
}

// Every size number of a listed value has one decimal.
bool SizesOnGrid(const std::string& value) {
    std::vector<std::string> words = Split(value, " ");
    size_t k = 0;
    size_t sizes = 1;
    if (!words.empty() && words[0] == "oval") {
        k = 1;
        sizes = 2;
    }
    for (size_t n = 0; n < sizes; ++n, ++k) {
        if (k >= words.size() || !OnGrid(words[k])) {
            return false;
        }
    }
    return k == words.size() || words[k] == "(offset";
}

struct BoardRun {
    rz::BoardState State;
    std::vector<rz::DrillRow> Rows;
    rz::ApplyOutcome Outcome;
};

BoardRun ListAndApply(const fs::path& path) {
    BoardRun run;
    rztest::FakeDialogs dialogs(PathText(path));
    rz::LoadBoardFile(run.State, dialogs);
    rz::CollectPadDrills(run.State);
    rz::SortDrillTokens(run.State);
    run.Rows = rz::PrepareDrillRows(run.State);
    run.Outcome = rz::ApplyNewDrills(run.State, dialogs);
    EXPECT_TRUE(dialogs.Messages.empty());
    return run;
}

std::map<std::string, std::string> RowsOf(const BoardRun& run) {
    std::map<std::string, std::string> rows;
    for (const rz::DrillRow& row : run.Rows) {
        rows[rz::TextToUtf8(row.Before)] = rz::TextToUtf8(row.After);
    }
    return rows;
}

TEST(RealBoards, RewrittenCorrectlyAndIdempotent) {
    int boards = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kBoards)) {
        if (entry.path().extension() != ".kicad_pcb") {
            continue;
        }
        ++boards;
        SCOPED_TRACE(entry.path().string());
        rztest::ScratchDir dir;
        const fs::path copy = dir / entry.path().filename().string();
        fs::copy_file(entry.path(), copy);
        const std::string original = ReadBytes(copy);
        ASSERT_EQ(original.find('\r'), std::string::npos); // KiCad writes LF

        const BoardRun first = ListAndApply(copy);
        ASSERT_EQ(first.Outcome, rz::ApplyOutcome::Written);
        const std::string rewritten = ReadBytes(copy);

        // Every byte outside the drill tokens is as it was; only line ends became CR LF.
        const std::vector<std::string> before = Split(original, "\n");
        const std::vector<std::string> after = Split(rewritten, "\r\n");
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(rewritten.size() >= 2 ? rewritten.substr(rewritten.size() - 2) : "", "\r\n");
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i) {
            ASSERT_EQ(after[i].find_first_of("\r\n"), std::string::npos) << i;
            EXPECT_EQ(WithoutDrillTokens(after[i]), WithoutDrillTokens(before[i])) << i;
            changed += after[i] != before[i];
        }
        size_t listedOffGrid = 0;
        for (const rz::DrillRow& row : first.Rows) {
            listedOffGrid += row.Before != row.After;
        }
        EXPECT_EQ(changed > 0, listedOffGrid > 0);

        // Parentheses balance as before.
        for (const char c : {'(', ')'}) {
            EXPECT_EQ(std::count(rewritten.begin(), rewritten.end(), c),
                      std::count(original.begin(), original.end(), c));
        }

        // A second run lists only values on the grid and writes the same bytes.
        const BoardRun second = ListAndApply(copy);
        ASSERT_EQ(second.Outcome, rz::ApplyOutcome::Written);
        EXPECT_EQ(ReadBytes(copy), rewritten);
        for (const rz::DrillRow& row : second.Rows) {
            EXPECT_EQ(row.Before, row.After);
            EXPECT_TRUE(SizesOnGrid(rz::TextToUtf8(row.Before))) << rz::TextToUtf8(row.Before);
        }
        EXPECT_EQ(dir.Names().size(), 1u);
    }
    EXPECT_EQ(boards, 5);
}

TEST(RealBoards, WhatEachBoardShows) {
    rztest::ScratchDir dir;
    const auto run = [&](const char* name) {
        const fs::path copy = dir / fs::path(name).filename().string();
        fs::copy_file(kBoards / name, copy, fs::copy_options::overwrite_existing);
        return ListAndApply(copy);
    };

    EXPECT_TRUE(run("kicad5/microwave.kicad_pcb").Rows.empty());

    const BoardRun complex = run("kicad6/complex_hierarchy.kicad_pcb");
    EXPECT_EQ(complex.State.LastLineIndex, 16680);
    EXPECT_EQ(RowsOf(complex).at("0.75 (offset 0 0.4"), "0.8 (offset 0 0.4");
    EXPECT_NE(ReadBytes(dir / "complex_hierarchy.kicad_pcb").find("(drill 0.8 (offset 0 0.4))"),
              std::string::npos);

    const BoardRun ecc83 = run("kicad6/ecc83-pp_v2.kicad_pcb");
    EXPECT_EQ(RowsOf(ecc83).at("oval 1.02 2.03"), "oval 1.0 2.0");

    const BoardRun pic = run("kicad6/pic_programmer.kicad_pcb");
    EXPECT_EQ(pic.State.LastLineIndex, 19396);

    // Only the pads' drill is listed; the vias' (drill 0.4) blocks stay as they were.
    const BoardRun power = run("kicad8/power-pcb.kicad_pcb");
    EXPECT_EQ(RowsOf(power), (std::map<std::string, std::string>{{"1.152", "1.2"}}));
    const std::string rewritten = ReadBytes(dir / "power-pcb.kicad_pcb");
    EXPECT_NE(rewritten.find("\t\t(drill 0.4)\r\n"), std::string::npos);
    EXPECT_EQ(rewritten.find("(drill 1.152)"), std::string::npos);
}

} // namespace
