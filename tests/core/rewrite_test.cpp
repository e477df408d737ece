// The rewrite: the bytes it writes, what it refuses or survives, and the real boards.
#include "core/rewrite_lines.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

namespace fs = std::filesystem;
using rztest::Names;
using rztest::ReadBytes;
using rztest::ScratchDir;
using rztest::Session;
using rztest::WriteBytes;

std::string CrLf(const std::string& text) {
    return std::regex_replace(text, std::regex("\n"), "\r\n");
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
        {"(drill 0.762) x (drill 0.762)\n(drill 0.8) (drill 0.35)\n(drill 0.35)\n",
         "(drill 0.8) x (drill 0.8)\r\n(drill 0.8) (drill 0.35)\r\n(drill 0.4)\r\n"},
        {"(pad (drill \n(pad (drill 0.75))\n(drill 0.75 x\n",
         "(pad (drill \r\n(pad (drill 0.8))\r\n(drill 0.75 x\r\n"},
        {"\t(via\n\t\t(drill 0.42)\n\t)\n(pad (drill 0.8))\n",
         "\t(via\r\n\t\t(drill 0.42)\r\n\t)\r\n(pad (drill 0.8))\r\n"},
        {"(pad (drill 0.75 (offset 0 0.4)) (layers *.Cu))\n(pad (drill oval 1.02 2.03))\n"
         "(pad (drill NaN))\n(pad (drill (offset 1 2)))\n",
         "(pad (drill 0.8 (offset 0 0.4)) (layers *.Cu))\r\n(pad (drill oval 1.0 2.0))\r\n"
         "(pad (drill NaN))\r\n(pad (drill (offset 1 2)))\r\n"},
        // Over several lines only the size numbers change, in place; a via follows only a
        // token that is the same text, and a list that never closes stays as it is.
        {"\t\t\t(drill 0.45\n\t\t\t\t(offset -0.5 0)\n\t\t\t)\n(via (drill 0.45))\n"
         "(via (drill 0.45 (offset -0.5 0)))\n",
         "\t\t\t(drill 0.5\r\n\t\t\t\t(offset -0.5 0)\r\n\t\t\t)\r\n(via (drill 0.45))\r\n"
         "(via (drill 0.5 (offset -0.5 0)))\r\n"},
        {"(pad (drill oval 1.02 2.03  \n (offset 0.15 0)))\n"
         "(drill oval 1.02\n\t\t2.03 (offset 0.15 0))\n",
         "(pad (drill oval 1.0 2.0  \r\n (offset 0.15 0)))\r\n"
         "(drill oval 1.0\r\n\t\t2.0 (offset 0.15 0))\r\n"},
        {"(pad (drill 0.45\n (offset 1 2)\n", "(pad (drill 0.45\r\n (offset 1 2)\r\n"},
        {"(via\n (drill 0.45\n  (offset 1 2)\n )\n)\n(pad (drill 0.45 (offset 1 2)))\n",
         "(via\r\n (drill 0.45\r\n  (offset 1 2)\r\n )\r\n)\r\n(pad (drill 0.5 (offset 1 2)))\r\n"},
        // Lines that fill a written piece of 256 KiB up to a byte or two, and lines longer
        // than a piece, with a token at either end.
        {"(drill 2.54)" + std::string(262130, 'x') + "\n" + std::string(5, 'y') + "\n(drill 2.54)" +
             std::string(700000, 'z') + "(drill 2.54)\n(drill 2.54)\n",
         "(drill 2.5)" + std::string(262130, 'x') + "\r\n" + std::string(5, 'y') +
             "\r\n(drill 2.5)" + std::string(700000, 'z') + "(drill 2.5)\r\n(drill 2.5)\r\n"},
    };
    ScratchDir dir;
    for (const auto& [before, after] : cases) {
        // The same board with CR LF line ends gives the same bytes.
        for (const std::string& board :
             {before, before.find('\r') == std::string::npos ? CrLf(before) : before}) {
            SCOPED_TRACE(board.substr(0, 60));
            WriteBytes(dir / "b.kicad_pcb", board);
            Session s(dir / "b.kicad_pcb");
            EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
            EXPECT_TRUE(s.Dialogs.Messages.empty());
            EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), after);
            EXPECT_EQ(dir.Names(), Names{"b.kicad_pcb"});
        }
    }
}

// Nothing is written after a failed load (which would create or empty a file at the chosen
// path), nor when the bytes read cannot be written back faithfully (still listed).
TEST(Rewrite, RefusedAfterAFailedOrUnfaithfulLoad) {
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    const std::string cutShort = "(drill 0.762)\n\xE2\x82";
    WriteBytes(dir / "b.kicad_pcb", cutShort);
    for (const fs::path& path : {fs::path(), dir / "none", dir / "folder", dir / "b.kicad_pcb"}) {
        Session s(path);
        const bool loaded = path.filename() == "b.kicad_pcb";
        EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Refused);
        EXPECT_EQ(s.Rows.size(), loaded ? 1u : 0u);
        EXPECT_TRUE(loaded ? s.Dialogs.Told(u"UTF-8")
                           : s.Dialogs.Told(u"nicht vorhanden") && s.Dialogs.Told(u"keine Datei"));
    }
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), cutShort);
    EXPECT_EQ(dir.Names(), (Names{"b.kicad_pcb", "folder"}));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

// The window's rewrite, or the same edits written to another file (-o) that exists.
rz::ApplyOutcome ApplyTo(Session& s, const fs::path& other, rz::OsFiles& os) {
    if (other.empty()) {
        return s.Apply(os);
    }
    const std::vector<rz::ByteEdit> edits = rz::WindowEdits(s.State);
    rz::RewriteOrder order;
    order.Edits = edits;
    order.Output = rztest::PathText(other);
    return rz::ApplyEdits(s.State, order, s.Dialogs, os);
}

// Every file-system call of the rewrite fails once in turn: the file written is untouched
// and the user told, or it is wholly rewritten; no temporary file stays, a killed run's is
// removed. Written to another file, the board itself is never touched.
TEST(RewriteFaults, AFailureAtEveryStep) {
    for (const std::string other : {"", "o.kicad_pcb"}) {
        ScratchDir dir;
        const fs::path board = dir / "b.kicad_pcb";
        const fs::path target = other.empty() ? board : dir / other;
        const std::string name = target.filename().string();
        const std::string leftover = "." + name + ".rezurudev-000000000000.tmp";
        const Names clean = other.empty() ? Names{name} : Names{"b.kicad_pcb", name};
        std::string before = "\xEF\xBB\xBF(kicad_pcb\n"; // several written pieces long
        for (int k = 0; k < 20000; ++k) {
            before += "  (pad " + std::to_string(k) + " thru_hole (drill 0.762) (layers *.Cu))\n";
        }
        const std::string old = other.empty() ? before : "the file -o replaces";
        const auto prepare = [&] {
            WriteBytes(board, before);
            WriteBytes(target, old);
            WriteBytes(dir / leftover, "left by a killed run");
        };
        prepare();
        rztest::FaultyFiles probe(rz::SystemFiles());
        Session first(board);
        ASSERT_EQ(ApplyTo(first, other.empty() ? fs::path() : target, probe),
                  rz::ApplyOutcome::Written);
        const std::string after = ReadBytes(target);
        ASSERT_NE(after, old);
        EXPECT_EQ(dir.Names(), clean);
        const Names calls = probe.Log;
        for (size_t k = 1; k <= calls.size(); ++k) {
            const std::string& failing = calls[k - 1];
            SCOPED_TRACE(name + ": call " + std::to_string(k) + " " + failing);
            prepare();
            rztest::FaultyFiles faulty(rz::SystemFiles());
            faulty.FailAt = static_cast<int64_t>(k);
            // A name that is taken is never opened; another one is tried.
            faulty.FailWith = failing == "Write"       ? rz::OsResult::NoSpace
                              : failing == "CreateNew" ? rz::OsResult::AlreadyExists
                                                       : rz::OsResult::Failed;
            Session s(board);
            const rz::ApplyOutcome outcome =
                ApplyTo(s, other.empty() ? fs::path() : target, faulty);
            const bool cleanUp = failing == "ListNames" || failing == "RemoveStale";
            // After the replace only the board read for -o is let go.
            const bool late =
                k > static_cast<size_t>(std::find(calls.begin(), calls.end(), "Replace") -
                                        calls.begin()) +
                        1;
            if (cleanUp || late || failing == "ResolveTarget" || failing == "CreateNew") {
                EXPECT_EQ(outcome, rz::ApplyOutcome::Written);
                EXPECT_EQ(ReadBytes(target), after);
            } else {
                EXPECT_NE(outcome, rz::ApplyOutcome::Written);
                EXPECT_EQ(ReadBytes(target), old);
                EXPECT_EQ(s.Dialogs.Messages.size(), 1u);
                EXPECT_TRUE(s.Dialogs.Told(u"nichts geschrieben") ||
                            s.Dialogs.Told(u"unverändert"));
                EXPECT_TRUE(failing != "Write" || s.Dialogs.Told(u"Nicht genug Platz"));
            }
            EXPECT_EQ(ReadBytes(board), other.empty() ? ReadBytes(target) : before);
            // Only a failed clean-up, or a file that could not be held, keeps the leftover.
            Names names = clean;
            if (cleanUp || failing == "OpenExisting") {
                names.insert(names.begin(), leftover);
            }
            EXPECT_EQ(dir.Names(), names);
        }
    }
}

// Where the edits go, and whether a file KiCad has open is refused.
TEST(RewriteOrders, OtherFilesLineEndsAndKiCadsLock) {
    const std::string board = "(pad (drill 0.762))\r\n(x)\n(y)";
    const std::string kept = "(pad (drill 0.8))\r\n(x)\n(y)";
    struct Case {
        const char* Output; // "" in place
        const char* Lock;   // a file beside the board, "" for none
        bool RefuseWhenOpen;
        bool Written;
        const char16_t* Told;
    };
    const Case cases[] = {
        {"./b.kicad_pcb", "", false, true, u""}, // the board itself, by another name
        {"folder", "", false, false, u"keine Datei"},
        {"n.kicad_pcb", "~n.kicad_pcb.lck", true, false, u"~n.kicad_pcb.lck"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Output) + " " + c.Lock);
        ScratchDir dir;
        fs::create_directory(dir / "folder");
        WriteBytes(dir / "b.kicad_pcb", board);
        if (*c.Lock != 0) {
            WriteBytes(dir / c.Lock, "{}");
        }
        Session s(dir / "b.kicad_pcb");
        const std::vector<rz::ByteEdit> edits = rz::WindowEdits(s.State);
        rz::RewriteOrder order{edits, rz::LineEnds::Keep, {}, c.RefuseWhenOpen};
        order.Output = *c.Output == 0 ? rz::Text() : rztest::PathText(dir / c.Output);
        const rz::ApplyOutcome outcome = rz::ApplyEdits(s.State, order, s.Dialogs);
        EXPECT_EQ(outcome, c.Written ? rz::ApplyOutcome::Written : rz::ApplyOutcome::Refused);
        EXPECT_TRUE(*c.Told == 0 ? s.Dialogs.Messages.empty() : s.Dialogs.Told(c.Told));
        const bool other = std::string(c.Output) == "n.kicad_pcb";
        EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), c.Written && !other ? kept : board);
        EXPECT_EQ(fs::exists(dir / "n.kicad_pcb"), c.Written && other);
        if (c.Written && other) {
            EXPECT_EQ(ReadBytes(dir / "n.kicad_pcb"), kept);
        }
        EXPECT_TRUE(fs::is_empty(dir / "folder"));
        EXPECT_EQ(dir.Names().size(), 2u + (*c.Lock != 0) + (c.Written && other));
    }
}

// Writes the bytes, lists ("before TAB after" lines) and applies as the window does.
std::string Rewritten(const fs::path& board, const std::string& bytes, std::string* rows) {
    WriteBytes(board, bytes);
    Session s(board);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
    EXPECT_TRUE(s.Dialogs.Messages.empty());
    for (rows->clear(); const rz::DrillRow& row : s.Rows) {
        *rows += rz::TextToUtf8(row.Before) + "\t" + rz::TextToUtf8(row.After) + "\n";
    }
    return ReadBytes(board);
}

TEST(RealBoards, ListedRewrittenAndIdempotent) {
    // The ESC's offset drills are written over three lines; power-pcb's vias are not listed.
    const std::pair<const char*, std::string> boards[] = {
        {"kicad5/microwave.kicad_pcb", ""},
        {"kicad6/complex_hierarchy.kicad_pcb",
         "0.7\t0.7\n0.75 (offset 0 -0.4\t0.8 (offset 0 -0.4\n0.75 (offset 0 0.4\t0.8 (offset 0 "
         "0.4\n0.8\t0.8\n1\t1.0\n1.1\t1.1\n1.2\t1.2\n1.5\t1.5\n"},
        {"kicad6/ecc83-pp_v2.kicad_pcb",
         "0.8\t0.8\n1\t1.0\n1.2\t1.2\n3.048\t3.0\n3.1\t3.1\noval 1.02 2.03\toval 1.0 2.0\n"},
        {"kicad6/pic_programmer.kicad_pcb",
         "0.75\t0.8\n0.8\t0.8\n0.9\t0.9\n1\t1.0\n1.1\t1.1\n1.2\t1.2\n1.27\t1.3\n1.3\t1.3\n1.5\t1."
         "5\n2\t2.0\n3.2\t3.2\n3.5\t3.5\n4.3\t4.3\n"},
        {"kicad7/mitayi-pico-rp2040-r0.5.kicad_pcb",
         "0.35\t0.4\n0.65\t0.7\n0.85\t0.9\n1\t1.0\n1.5\t1.5\noval 0.6 1.2\toval 0.6 1.2\noval 0.6 "
         "1.3\toval 0.6 1.3\n"},
        {"kicad7/zswatch.kicad_pcb", "0.25\t0.3\n0.6\t0.6\n1.2\t1.2\n"},
        {"kicad8/power-pcb.kicad_pcb", "1.152\t1.2\n"},
        {"kicad9/mitayi-pico-d1.kicad_pcb",
         "0.35\t0.4\n0.65\t0.7\n1\t1.0\n1.5\t1.5\noval 0.6 1.2\toval 0.6 1.2\noval 0.6 1.7\toval "
         "0.6 1.7\n"},
        {"kicad9/open-4in1-esc.kicad_pcb", "0.4 (offset -0.5 0\t0.4 (offset -0.5 0\n0.4 (offset "
                                           "0.5 0\t0.4 (offset 0.5 0\n0.4\t0.4\n3\t3.0\n"},
        {"kicad10/open-4in1-esc.kicad_pcb", "0.4 (offset -0.5 0\t0.4 (offset -0.5 0\n0.4 (offset "
                                            "0.5 0\t0.4 (offset 0.5 0\n0.4\t0.4\n3\t3.0\n"},
    };
    ScratchDir dir;
    const fs::path copy = dir / "b.kicad_pcb";
    for (const auto& [name, listed] : boards) {
        SCOPED_TRACE(name);
        const std::string original = ReadBytes(fs::path(REZURUDEV_TEST_DATA) / "boards" / name);
        std::string rows;
        const std::string rewritten = Rewritten(copy, original, &rows);
        EXPECT_EQ(rows, listed);
        EXPECT_EQ(Rewritten(copy, rewritten, &rows), rewritten); // a second run
        EXPECT_EQ(dir.Names(), Names{"b.kicad_pcb"});
        // A board whose offset holes are 0.45 gets 0.5 there, and nothing else changes.
        if (std::string_view(name).starts_with("kicad9/open")) {
            const std::string holes =
                std::regex_replace(original, std::regex("\\(drill 0\\.4\n"), "(drill 0.45\n");
            EXPECT_EQ(
                Rewritten(copy, holes, &rows),
                std::regex_replace(rewritten, std::regex("\\(drill 0\\.4\r\n"), "(drill 0.5\r\n"));
            EXPECT_NE(rows.find("0.45 (offset -0.5 0\t0.5 (offset -0.5 0\n"), std::string::npos);
        }
    }
}

} // namespace
