// The rewrite: the bytes it writes, what it refuses or survives, the real boards, and
// rezurudev-cli as scripts use it.
#include "core/pipeline.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <tuple>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using rztest::Loaded;
using rztest::ReadBytes;
using rztest::ScratchDir;
using rztest::WriteBytes;
using Names = std::vector<std::string>;
using Rows = std::string; // "before TAB after" lines, as rezurudev-cli prints them

rz::ApplyOutcome LoadAndApply(const fs::path& board, Loaded& loaded,
                              rz::OsFiles& os = rz::SystemFiles()) {
    rztest::LoadAndPrepare(loaded, board, rz::SystemFiles());
    return rz::ApplyNewDrills(loaded.State, loaded.Dialogs, os);
}

bool Told(const Loaded& loaded, std::u16string_view part) {
    return std::any_of(loaded.Dialogs.Messages.begin(), loaded.Dialogs.Messages.end(),
                       [&](const rztest::Message& m) {
                           return m.Title == u"Information" && m.Text.find(part) != rz::Text::npos;
                       });
}

TEST(Rewrite, WrittenBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // The worked example: a via drill equal to a pad token is replaced too.
        {"(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
         "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n"
         "(via (at 10 10) (size 0.6) (drill 0.762) (layers F.Cu B.Cu))\n"
         "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\n",
         "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.8) (layers *.Cu))\r\n"
         "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.0) (layers *.Cu))\r\n"
         "(via (at 10 10) (size 0.6) (drill 0.8) (layers F.Cu B.Cu))\r\n"
         "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\r\n"},
        {"", ""},
        {"A\r\nB\rC\n\nD", "A\r\nB\r\nC\r\n\r\nD\r\n"},
        {"\xEF\xBB\xBF\xC3\xA4 (drill 1)\n", "\xEF\xBB\xBF\xC3\xA4 (drill 1.0)\r\n"},
        {"(drill 0.762) x (drill 0.762)\n", "(drill 0.8) x (drill 0.8)\r\n"},
        {"(drill 0.8) (drill 0.35)\n(drill 0.35)\n", "(drill 0.8) (drill 0.35)\r\n(drill 0.4)\r\n"},
        {"(pad (drill \n(pad (drill 0.75))\n(drill 0.75 x\n",
         "(pad (drill \r\n(pad (drill 0.8))\r\n(drill 0.75 x\r\n"},
        {"\t(via\n\t\t(drill 0.42)\n\t)\n(pad (drill 0.8))\n",
         "\t(via\r\n\t\t(drill 0.42)\r\n\t)\r\n(pad (drill 0.8))\r\n"},
        {"(pad (drill 0.75 (offset 0 0.4)) (layers *.Cu))\n(pad (drill oval 1.02 2.03))\n",
         "(pad (drill 0.8 (offset 0 0.4)) (layers *.Cu))\r\n(pad (drill oval 1.0 2.0))\r\n"},
        {"(pad (drill NaN))\n(pad (drill (offset 1 2)))\n",
         "(pad (drill NaN))\r\n(pad (drill (offset 1 2)))\r\n"},
        // Lines that fill a written piece of 256 KiB up to a byte or two, and lines longer
        // than a piece, with a token at either end.
        {"(drill 2.54)" + std::string(262130, 'x') + "\n" + std::string(5, 'y') + "\n" +
             std::string(700000, 'z') + "(drill 2.54)\n(drill 2.54)\n",
         "(drill 2.5)" + std::string(262130, 'x') + "\r\n" + std::string(5, 'y') + "\r\n" +
             std::string(700000, 'z') + "(drill 2.5)\r\n(drill 2.5)\r\n"},
    };
    ScratchDir dir;
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(before.substr(0, 40));
        WriteBytes(dir / "b.kicad_pcb", before);
        Loaded loaded;
        EXPECT_EQ(LoadAndApply(dir / "b.kicad_pcb", loaded), rz::ApplyOutcome::Written);
        EXPECT_TRUE(loaded.Dialogs.Messages.empty());
        EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), after);
        EXPECT_EQ(dir.Names(), Names{"b.kicad_pcb"});
    }
}

// Nothing is written after a failed load, nor when the bytes read cannot be written back
// faithfully (a NUL, bytes that are not well-formed UTF-8, a sequence cut short).
TEST(Rewrite, RefusedAfterAFailedOrUnfaithfulLoad) {
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    for (const fs::path& path : {fs::path(), dir / "missing.kicad_pcb", dir / "folder"}) {
        Loaded loaded;
        EXPECT_EQ(LoadAndApply(path, loaded), rz::ApplyOutcome::Refused);
        ASSERT_EQ(loaded.Dialogs.Messages.size(), 2u);
        EXPECT_EQ(loaded.Dialogs.Messages[0].Title + u": " + loaded.Dialogs.Messages[0].Text,
                  u"Information: Datei ist nicht vorhanden");
        EXPECT_TRUE(Told(loaded, u"keine Datei geladen"));
    }
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    for (const std::string& bytes :
         {"(drill 0.762)\0\n"s, "(drill 0.762) \xE4\n"s, "(drill 0.762)\n\x80"s,
          "(drill 0.762)\n\xE2\x82"s, "(drill 0.762) \xED\xA0\x80\n"s}) {
        WriteBytes(dir / "b.kicad_pcb", bytes);
        Loaded loaded;
        EXPECT_EQ(LoadAndApply(dir / "b.kicad_pcb", loaded), rz::ApplyOutcome::Refused);
        EXPECT_EQ(loaded.State.DrillCount, 1); // still listed
        EXPECT_TRUE(Told(loaded, u"UTF-8"));
        EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), bytes);
        EXPECT_EQ(dir.Names(), (Names{"b.kicad_pcb", "folder"}));
    }
}

// Every call the rewrite makes on the file system fails once in turn. Whatever fails,
// the board is untouched and the user told, or it is completely rewritten; no temporary
// file stays behind, and a leftover of a killed run is cleaned up.
TEST(RewriteFaults, AFailureAtEveryStep) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    const std::string leftover = ".b.kicad_pcb.rezurudev-000000000000.tmp";
    std::string before = "\xEF\xBB\xBF(kicad_pcb\n"; // several written pieces long
    for (int k = 0; k < 20000; ++k) {
        before += "  (pad " + std::to_string(k) + " thru_hole (drill 0.762) (layers *.Cu))\n";
    }
    WriteBytes(board, before);
    WriteBytes(dir / leftover, "left by a killed run");
    rztest::FaultyFiles probe(rz::SystemFiles());
    Loaded first;
    ASSERT_EQ(LoadAndApply(board, first, probe), rz::ApplyOutcome::Written);
    const std::string after = ReadBytes(board);
    ASSERT_NE(after, before);
    EXPECT_EQ(dir.Names(), Names{"b.kicad_pcb"});
    ASSERT_EQ(probe.Created.size(), 1u); // next to the board, with a name the next run knows
    EXPECT_EQ(rz::FolderOfPath(probe.Created[0]),
              rz::FolderOfPath(rz::SystemFiles().ResolveTarget(rztest::PathText(board))));
    EXPECT_EQ(rz::NameOfPath(probe.Created[0]).rfind(rz::TemporaryPrefix(u"b.kicad_pcb"), 0), 0u);
    const Names calls = probe.Log;
    EXPECT_GE(std::count(calls.begin(), calls.end(), "Write"), 3); // one in the middle
    for (const char* step : {"ResolveTarget", "ListNames", "RemoveStale", "OpenExisting", "Read",
                             "CreateNew", "CopyPermissions", "Flush", "Close", "Replace"}) {
        EXPECT_NE(std::find(calls.begin(), calls.end(), step), calls.end()) << step;
    }

    for (size_t k = 1; k <= calls.size(); ++k) {
        const std::string& failing = calls[k - 1];
        SCOPED_TRACE("call " + std::to_string(k) + " " + failing);
        WriteBytes(board, before);
        WriteBytes(dir / leftover, "left by a killed run");
        rztest::FaultyFiles faulty(rz::SystemFiles());
        faulty.FailAt = static_cast<int64_t>(k);
        faulty.FailWith = failing == "Write" ? rz::OsResult::NoSpace : rz::OsResult::Failed;
        Loaded loaded;
        const rz::ApplyOutcome outcome = LoadAndApply(board, loaded, faulty);
        const bool cleanUp = failing == "ListNames" || failing == "RemoveStale";
        if (cleanUp || failing == "ResolveTarget") {
            EXPECT_EQ(outcome, rz::ApplyOutcome::Written);
            EXPECT_EQ(ReadBytes(board), after);
        } else {
            EXPECT_NE(outcome, rz::ApplyOutcome::Written);
            EXPECT_EQ(ReadBytes(board), before);
            EXPECT_EQ(loaded.Dialogs.Messages.size(), 1u);
            EXPECT_TRUE(Told(loaded, u"nichts geschrieben") || Told(loaded, u"unverändert"));
            EXPECT_TRUE(failing != "Write" || Told(loaded, u"Nicht genug Platz"));
        }
        // Only a failed clean-up, or a board that could not be held, keeps the leftover.
        const bool kept = cleanUp || failing == "OpenExisting";
        EXPECT_EQ(dir.Names(), kept ? (Names{leftover, "b.kicad_pcb"}) : Names{"b.kicad_pcb"});
    }
}

// The text with every drill token ("(drill " up to the first ")") taken out.
std::string WithoutDrillTokens(std::string text) {
    for (size_t p = 0; (p = text.find("(drill ", p)) != std::string::npos;) {
        text.erase(p, text.find(')', p) - p + 1);
    }
    return text;
}

// Loads, lists and applies as the window does.
Rows ListAndApply(const fs::path& board) {
    rztest::Loaded run;
    Rows rows;
    for (const rz::DrillRow& row : rztest::LoadAndPrepare(run, board, rz::SystemFiles())) {
        rows += rz::TextToUtf8(row.Before) + "\t" + rz::TextToUtf8(row.After) + "\n";
    }
    EXPECT_EQ(rz::ApplyNewDrills(run.State, run.Dialogs), rz::ApplyOutcome::Written);
    EXPECT_TRUE(run.Dialogs.Messages.empty());
    return rows;
}

#if !defined(_WIN32) && !defined(REZURUDEV_NO_CLI)
#define REZURUDEV_WITH_CLI
using Result = std::tuple<int, std::string, std::string>; // exit status, output, messages

Result Cli(const ScratchDir& dir, const std::string& args) {
    const std::string out = (dir / "out").string(), err = (dir / "err").string();
    const int raw =
        std::system(("'" REZURUDEV_CLI "' " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes(out), ReadBytes(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
}
#endif

TEST(RealBoards, ListedRewrittenAndIdempotent) {
    const std::pair<const char*, Rows> boards[] = {
        {"kicad5/microwave.kicad_pcb", ""},
        {"kicad6/complex_hierarchy.kicad_pcb",
         "0.7\t0.7\n0.75 (offset 0 -0.4\t0.8 (offset 0 -0.4\n0.75 (offset 0 0.4\t0.8 (offset 0 "
         "0.4\n0.8\t0.8\n1\t1.0\n1.1\t1.1\n1.2\t1.2\n1.5\t1.5\n"},
        {"kicad6/ecc83-pp_v2.kicad_pcb",
         "0.8\t0.8\n1\t1.0\n1.2\t1.2\n3.048\t3.0\n3.1\t3.1\noval 1.02 2.03\toval 1.0 2.0\n"},
        {"kicad6/pic_programmer.kicad_pcb",
         "0.75\t0.8\n0.8\t0.8\n0.9\t0.9\n1\t1.0\n1.1\t1.1\n1.2\t1.2\n1.27\t1.3\n1.3\t1.3\n1.5\t1."
         "5\n2\t2.0\n3.2\t3.2\n3.5\t3.5\n4.3\t4.3\n"},
        {"kicad8/power-pcb.kicad_pcb", "1.152\t1.2\n"}, // its vias' drills are not listed
    };
    // Values on the grid, listed unchanged.
    const std::regex onGrid(
        R"(((([0-9]+\.[0-9]|oval [0-9]+\.[0-9] [0-9]+\.[0-9])( \(offset [^\t]*)?)\t\2\n)*)");
    for (const auto& [name, listed] : boards) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        const fs::path source = fs::path(REZURUDEV_TEST_DATA) / "boards" / name;
        const fs::path copy = dir / "b.kicad_pcb";
        fs::copy_file(source, copy);
        const std::string original = ReadBytes(source);
        EXPECT_EQ(ListAndApply(copy), listed);
        const std::string rewritten = ReadBytes(copy);

        // Every byte outside the drill tokens is as it was; only line ends became CR LF.
        ASSERT_EQ(original.find('\r'), std::string::npos);
        std::string lf;
        for (size_t i = 0; i < rewritten.size(); ++i) {
            lf += rewritten.compare(i, 2, "\r\n") == 0 ? "" : rewritten.substr(i, 1);
        }
        EXPECT_EQ(rewritten.size(), lf.size() + std::count(lf.begin(), lf.end(), '\n'));
        EXPECT_EQ(WithoutDrillTokens(lf), WithoutDrillTokens(original));
        for (const char c : {'(', ')'}) {
            EXPECT_EQ(std::count(rewritten.begin(), rewritten.end(), c),
                      std::count(original.begin(), original.end(), c));
        }
        // A second run lists only values on the grid and writes the same bytes.
        const Rows second = ListAndApply(copy);
        EXPECT_TRUE(std::regex_match(second, onGrid)) << second;
        EXPECT_EQ(ReadBytes(copy), rewritten);
        EXPECT_EQ(dir.Names().size(), 1u);
#ifdef REZURUDEV_WITH_CLI
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        EXPECT_EQ(Cli(dir, "'" + copy.string() + "'"), Result(0, listed, ""));
        EXPECT_EQ(ReadBytes(copy), original);
        EXPECT_EQ(Cli(dir, "--apply -- '" + copy.string() + "'"), Result(0, listed, ""));
        EXPECT_EQ(ReadBytes(copy), rewritten);
#endif
    }
}

TEST(Cli, MessagesAndExitStatus) {
#if defined(_WIN32)
    GTEST_SKIP() << "drives rezurudev-cli through a POSIX shell; not on Windows";
#elif !defined(REZURUDEV_WITH_CLI)
    GTEST_SKIP() << "rezurudev-cli is not part of this build";
#else
    ScratchDir dir;
    EXPECT_EQ(Cli(dir, "'" + (dir / "none").string() + "'"),
              Result(1, "", "Datei ist nicht vorhanden\n"));
    const std::string board = "'" + (dir / "b.kicad_pcb").string() + "'";
    rztest::WriteBytes(dir / "b.kicad_pcb", "(pad (drill 1.016))\n\xE4\n");
    const auto [status, out, err] = Cli(dir, "--apply " + board);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "1.016\t1.0\n");
    EXPECT_NE(err.find("UTF-8"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), "(pad (drill 1.016))\n\xE4\n");
    EXPECT_EQ(std::get<0>(Cli(dir, "--frobnicate " + board)), 3);
    EXPECT_EQ(std::get<0>(Cli(dir, board + " " + board)), 3);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.kicad_pcb"});
#endif
}

} // namespace
