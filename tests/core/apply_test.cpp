// The rewrite: the bytes it writes, and what it refuses or survives.
#include "core/pipeline.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using rztest::Call;
using rztest::FaultyFiles;
using rztest::Loaded;
using rztest::PathText;
using rztest::ReadBytes;
using rztest::ScratchDir;
using rztest::WriteBytes;

// Loads the file through the run's steps, applies, and gives the outcome.
rz::ApplyOutcome LoadAndApply(const fs::path& board, rz::OsFiles& os, Loaded& loaded) {
    rztest::LoadAndPrepare(loaded, board, rz::SystemFiles());
    return rz::ApplyNewDrills(loaded.State, loaded.Dialogs, os);
}

rz::ApplyOutcome LoadAndApply(const fs::path& board) {
    Loaded loaded;
    return LoadAndApply(board, rz::SystemFiles(), loaded);
}

bool Told(const Loaded& loaded, std::u16string_view part) {
    for (const rztest::Message& m : loaded.Dialogs.Messages) {
        if (m.Title == u"Information" && m.Text.find(part) != rz::Text::npos) {
            return true;
        }
    }
    return false;
}

const std::string kWorkedExample =
    "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
    "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n"
    "(via (at 10 10) (size 0.6) (drill 0.762) (layers F.Cu B.Cu))\n"
    "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\n";

TEST(Rewrite, WorkedExampleByteForByte) {
    ScratchDir dir;
    WriteBytes(dir / "b.kicad_pcb", kWorkedExample);
    Loaded loaded;
    ASSERT_EQ(LoadAndApply(dir / "b.kicad_pcb", rz::SystemFiles(), loaded),
              rz::ApplyOutcome::Written);
    EXPECT_TRUE(loaded.Dialogs.Messages.empty());
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"),
              "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.8) (layers *.Cu))\r\n"
              "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.0) (layers *.Cu))\r\n"
              "(via (at 10 10) (size 0.6) (drill 0.8) (layers F.Cu B.Cu))\r\n"
              "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\r\n");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.kicad_pcb"});
}

struct BytesCase {
    const char* Name;
    std::string Before;
    std::string After;
};

TEST(Rewrite, WrittenBytes) {
    using namespace std::string_literals;
    const std::vector<BytesCase> cases = {
        {"empty file stays empty", "", ""},
        {"last line gains a line end", "A", "A\r\n"},
        {"no extra empty line", "A\n", "A\r\n"},
        {"every line end becomes CR LF", "A\r\nB\rC\n\nD", "A\r\nB\r\nC\r\n\r\nD\r\n"},
        {"byte-order mark and UTF-8 kept", "\xEF\xBB\xBF\xC3\xA4 (drill 1)\n",
         "\xEF\xBB\xBF\xC3\xA4 (drill 1.0)\r\n"},
        {"same token twice on a line", "(drill 0.762) x (drill 0.762)\n",
         "(drill 0.8) x (drill 0.8)\r\n"},
        {"second different token left alone", "(drill 0.8) (drill 0.35)\n(drill 0.35)\n",
         "(drill 0.8) (drill 0.35)\r\n(drill 0.4)\r\n"},
        {"token already on the grid", "(drill 0.8)\n", "(drill 0.8)\r\n"},
        {"marker without closing parenthesis", "(pad (drill \n(pad (drill 0.75))\n(drill 0.75 x\n",
         "(pad (drill \r\n(pad (drill 0.8))\r\n(drill 0.75 x\r\n"},
        {"via drill matching a pad token is replaced",
         "(pad (drill 0.42))\n(via (at 1 1) (drill 0.42))\n",
         "(pad (drill 0.4))\r\n(via (at 1 1) (drill 0.4))\r\n"},
        {"via-only drill left alone", "\t(via\n\t\t(drill 0.42)\n\t)\n(pad (drill 0.8))\n",
         "\t(via\r\n\t\t(drill 0.42)\r\n\t)\r\n(pad (drill 0.8))\r\n"},
        {"offset and oval keep everything but the sizes",
         "(pad (drill 0.75 (offset 0 0.4)) (layers *.Cu))\n(pad (drill oval 1.02 2.03))\n",
         "(pad (drill 0.8 (offset 0 0.4)) (layers *.Cu))\r\n(pad (drill oval 1.0 2.0))\r\n"},
        {"other tokens left alone", "(pad (drill NaN))\n(pad (drill (offset 1 2)))\n",
         "(pad (drill NaN))\r\n(pad (drill (offset 1 2)))\r\n"},
        {"line longer than the buffer", std::string(5000, 'x') + " (drill 2.54)\n",
         std::string(5000, 'x') + " (drill 2.5)\r\n"},
        // The rewrite gathers lines into pieces of 256 KiB: lines that fill one up to
        // a byte or two, and lines longer than a piece, with a token at either end.
        {"lines around the size of a written piece",
         "(drill 2.54)" + std::string(262130, 'x') + "\n" + std::string(5, 'y') + "\n" +
             std::string(700000, 'z') + "(drill 2.54)\n(drill 2.54)\n",
         "(drill 2.5)" + std::string(262130, 'x') + "\r\n" + std::string(5, 'y') + "\r\n" +
             std::string(700000, 'z') + "(drill 2.5)\r\n(drill 2.5)\r\n"},
    };
    ScratchDir dir;
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBytes(dir / "b.kicad_pcb", c.Before);
        EXPECT_EQ(LoadAndApply(dir / "b.kicad_pcb"), rz::ApplyOutcome::Written);
        EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), c.After);
    }
}

TEST(Rewrite, MoreLinesThanAFixedTableWouldHold) {
    ScratchDir dir;
    std::string board;
    std::string expected;
    for (int k = 0; k < 20000; ++k) {
        board += "(line " + std::to_string(k) + ")\n";
        expected += "(line " + std::to_string(k) + ")\r\n";
    }
    board += "(pad (drill 0.762))\n";
    expected += "(pad (drill 0.8))\r\n";
    WriteBytes(dir / "b.kicad_pcb", board);
    EXPECT_EQ(LoadAndApply(dir / "b.kicad_pcb"), rz::ApplyOutcome::Written);
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), expected);
}

TEST(Rewrite, NothingIsWrittenAfterAFailedLoad) {
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    for (const rz::Text& path :
         {rz::Text(), PathText(dir / "missing.kicad_pcb"), PathText(dir / "folder")}) {
        Loaded loaded;
        loaded.Dialogs = rztest::FakeDialogs(path);
        rz::LoadBoardFile(loaded.State, loaded.Dialogs);
        rz::CollectPadDrills(loaded.State);
        rz::PrepareDrillRows(loaded.State);
        EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs), rz::ApplyOutcome::Refused);
        EXPECT_TRUE(Told(loaded, u"keine Datei geladen"));
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"folder"});
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

TEST(Rewrite, FilesThatCannotBeWrittenBackFaithfullyAreLeftAlone) {
    using namespace std::string_literals;
    ScratchDir dir;
    for (const std::string& bytes :
         {"(drill 0.762)\0\n"s, "(drill 0.762) \xE4\n"s, "(drill 0.762)\n\x80"s,
          "(drill 0.762)\n\xE2\x82"s, "(drill 0.762) \xED\xA0\x80\n"s}) {
        WriteBytes(dir / "b.kicad_pcb", bytes);
        Loaded loaded;
        EXPECT_EQ(LoadAndApply(dir / "b.kicad_pcb", rz::SystemFiles(), loaded),
                  rz::ApplyOutcome::Refused);
        EXPECT_EQ(loaded.State.DrillCount, 1); // still listed
        EXPECT_TRUE(Told(loaded, u"UTF-8"));
        EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), bytes);
    }
}

// A board big enough for several write-outs of the rewrite's 1 MiB pieces.
std::string MiddleSizedBoard() {
    std::string board = "\xEF\xBB\xBF(kicad_pcb\n";
    for (int k = 0; k < 60000; ++k) {
        board += "  (pad " + std::to_string(k) + " thru_hole (drill 0.762) (layers *.Cu))\n";
    }
    return board + ")\n";
}

// Every call the rewrite makes on the file system fails once in turn. Whatever
// fails, the board is either untouched (and the user told) or completely rewritten,
// and no temporary file stays behind.
TEST(RewriteFaults, AFailureAtEveryStep) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    const std::string before = MiddleSizedBoard();
    WriteBytes(board, before);
    WriteBytes(dir / ".b.kicad_pcb.rezurudev-000000000000.tmp", "left by a killed run");
    std::string after;
    std::vector<Call> calls;
    {
        FaultyFiles probe(rz::SystemFiles());
        Loaded loaded;
        ASSERT_EQ(LoadAndApply(board, probe, loaded), rz::ApplyOutcome::Written);
        after = ReadBytes(board);
        calls = probe.Log;
    }
    ASSERT_NE(before, after);
    int writes = 0;
    for (Call c : calls) {
        writes += c == Call::Write;
    }
    ASSERT_GE(writes, 3); // a write in the middle is among them
    for (Call step :
         {Call::ResolveTarget, Call::ListNames, Call::RemoveStale, Call::OpenExisting, Call::Read,
          Call::CreateNew, Call::CopyPermissions, Call::Flush, Call::Close, Call::Replace}) {
        EXPECT_NE(std::find(calls.begin(), calls.end(), step), calls.end())
            << rztest::CallName(step);
    }

    for (size_t k = 1; k <= calls.size(); ++k) {
        const Call failing = calls[k - 1];
        SCOPED_TRACE(std::string("call ") + std::to_string(k) + " " + rztest::CallName(failing));
        WriteBytes(board, before);
        WriteBytes(dir / ".b.kicad_pcb.rezurudev-000000000000.tmp", "left by a killed run");
        FaultyFiles faulty(rz::SystemFiles());
        faulty.FailAt = static_cast<int64_t>(k);
        faulty.FailWith = failing == Call::Write ? rz::OsResult::NoSpace : rz::OsResult::Failed;
        Loaded loaded;
        const rz::ApplyOutcome outcome = LoadAndApply(board, faulty, loaded);
        const bool harmless = failing == Call::ListNames || failing == Call::RemoveStale ||
                              failing == Call::ResolveTarget;
        if (harmless) {
            EXPECT_EQ(outcome, rz::ApplyOutcome::Written);
            EXPECT_EQ(ReadBytes(board), after);
        } else {
            EXPECT_NE(outcome, rz::ApplyOutcome::Written);
            EXPECT_EQ(ReadBytes(board), before);
            EXPECT_EQ(loaded.Dialogs.Messages.size(), 1u);
            EXPECT_TRUE(Told(loaded, u"nichts geschrieben") || Told(loaded, u"unverändert"));
        }
        // Only a failed clean-up, or a board that could not be held, leaves the earlier
        // leftover behind.
        std::vector<std::string> names = dir.Names();
        if (failing == Call::ListNames || failing == Call::RemoveStale ||
            failing == Call::OpenExisting) {
            std::erase(names, ".b.kicad_pcb.rezurudev-000000000000.tmp");
        }
        EXPECT_EQ(names, std::vector<std::string>{"b.kicad_pcb"});
    }
}

TEST(RewriteFaults, AFullDiskIsNamed) {
    ScratchDir dir;
    WriteBytes(dir / "b.kicad_pcb", MiddleSizedBoard());
    Loaded loaded;
    rztest::LoadAndPrepare(loaded, dir / "b.kicad_pcb", rz::SystemFiles());
    // Everything before the first write succeeds: list, open, read the board, create.
    FaultyFiles faulty(rz::SystemFiles());
    faulty.FailWith = rz::OsResult::NoSpace;
    faulty.FailAt = 1000000;
    rz::BoardState copy = loaded.State;
    rztest::FakeDialogs quiet;
    ASSERT_EQ(rz::ApplyNewDrills(copy, quiet, faulty), rz::ApplyOutcome::Written);
    const auto firstWrite = std::find(faulty.Log.begin(), faulty.Log.end(), Call::Write);
    ASSERT_NE(firstWrite, faulty.Log.end());
    WriteBytes(dir / "b.kicad_pcb", MiddleSizedBoard());
    rztest::LoadAndPrepare(loaded, dir / "b.kicad_pcb", rz::SystemFiles());
    faulty.FailAt = firstWrite - faulty.Log.begin() + 1;
    faulty.Log.clear();
    EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs, faulty), rz::ApplyOutcome::Failed);
    EXPECT_TRUE(Told(loaded, u"Nicht genug Platz"));
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), MiddleSizedBoard());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.kicad_pcb"});
}

TEST(RewriteChecks, ABoardChangedSinceLoadingIsNotOverwritten) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    const std::string original = "(pad (drill 0.762))\n";
    const std::vector<std::string> saves = {
        "(pad (drill 0.763))\n",   // same size, other content
        "(pad (drill 0.762))\n\n", // one byte more
        "(pad (drill 0.762))",     // one byte less
        "",                        // emptied
    };
    for (const std::string& saved : saves) {
        WriteBytes(board, original);
        Loaded loaded;
        rztest::LoadAndPrepare(loaded, board, rz::SystemFiles());
        WriteBytes(board, saved); // another program saves the board
        EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs), rz::ApplyOutcome::Refused);
        EXPECT_TRUE(Told(loaded, u"seit dem Laden geändert"));
        EXPECT_EQ(ReadBytes(board), saved);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.kicad_pcb"});
    }
}

TEST(RewriteChecks, ABoardGoneOrReplacedByAFolderIsReported) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    WriteBytes(board, kWorkedExample);
    Loaded gone;
    rztest::LoadAndPrepare(gone, board, rz::SystemFiles());
    fs::remove(board);
    EXPECT_EQ(rz::ApplyNewDrills(gone.State, gone.Dialogs), rz::ApplyOutcome::Refused);
    EXPECT_TRUE(Told(gone, u"nicht mehr vorhanden"));
    EXPECT_TRUE(dir.Names().empty());

    WriteBytes(board, kWorkedExample);
    Loaded folder;
    rztest::LoadAndPrepare(folder, board, rz::SystemFiles());
    fs::remove(board);
    fs::create_directory(board);
    EXPECT_EQ(rz::ApplyNewDrills(folder.State, folder.Dialogs), rz::ApplyOutcome::Refused);
    EXPECT_TRUE(Told(folder, u"keine Datei"));
    EXPECT_TRUE(fs::is_directory(board));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.kicad_pcb"});
}

TEST(RewriteTemporaryFiles, RecognisableNameNextToTheBoardAndLeftoversRemoved) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    WriteBytes(board, kWorkedExample);
    // Leftovers of killed runs for this board, and files that are not ours.
    WriteBytes(dir / ".b.kicad_pcb.rezurudev-0123456789ab.tmp", "half a board");
    WriteBytes(dir / ".b.kicad_pcb.rezurudev-ffffffffffff.tmp", "");
    WriteBytes(dir / ".other.kicad_pcb.rezurudev-0123456789ab.tmp", "another board's");
    WriteBytes(dir / ".b.kicad_pcb.rezurudev-notes.txt", "not a temporary file");
    // A rewrite of the same board that is running right now holds its file open.
    rz::OsHandle live;
    ASSERT_EQ(rz::SystemFiles().CreateNew(PathText(dir / ".b.kicad_pcb.rezurudev-live.tmp"), live),
              rz::OsResult::Ok);

    FaultyFiles os(rz::SystemFiles());
    Loaded loaded;
    ASSERT_EQ(LoadAndApply(board, os, loaded), rz::ApplyOutcome::Written);
    ASSERT_EQ(os.Created.size(), 1u);
    const rz::Text name = rz::NameOfPath(os.Created[0]);
    EXPECT_EQ(rz::FolderOfPath(os.Created[0]), rz::FolderOfPath(os.ResolveTarget(PathText(board))));
    EXPECT_EQ(name.substr(0, 23), u".b.kicad_pcb.rezurudev-");
    EXPECT_EQ(name.substr(name.size() - 4), u".tmp");

    rz::SystemFiles().Close(live);
    const std::vector<std::string> expected = {
        ".b.kicad_pcb.rezurudev-live.tmp", ".b.kicad_pcb.rezurudev-notes.txt",
        ".other.kicad_pcb.rezurudev-0123456789ab.tmp", "b.kicad_pcb"};
    EXPECT_EQ(dir.Names(), expected);
    // Once its run has ended, the next rewrite takes it away.
    ASSERT_EQ(LoadAndApply(board), rz::ApplyOutcome::Written);
    EXPECT_EQ(dir.Names().size(), 3u);
}

#ifndef _WIN32

TEST(RewritePosix, ThroughASymbolicLinkTheTargetIsReplaced) {
    ScratchDir dir;
    fs::create_directory(dir / "real");
    WriteBytes(dir / "real" / "b.kicad_pcb", kWorkedExample);
    fs::create_symlink("real/b.kicad_pcb", dir / "link.kicad_pcb");
    ASSERT_EQ(LoadAndApply(dir / "link.kicad_pcb"), rz::ApplyOutcome::Written);
    EXPECT_TRUE(fs::is_symlink(dir / "link.kicad_pcb"));
    EXPECT_EQ(fs::read_symlink(dir / "link.kicad_pcb"), fs::path("real/b.kicad_pcb"));
    EXPECT_NE(ReadBytes(dir / "real" / "b.kicad_pcb").find("(drill 0.8)"), std::string::npos);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.kicad_pcb", "real"}));
}

TEST(RewritePosix, PermissionBitsAreKept) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    for (const fs::perms bits :
         {fs::perms(0604), fs::perms(0640), fs::perms(0755), fs::perms(0200) | fs::perms(0044)}) {
        WriteBytes(board, kWorkedExample);
        fs::permissions(board, bits);
        ASSERT_EQ(LoadAndApply(board), rz::ApplyOutcome::Written) << static_cast<int>(bits);
        EXPECT_EQ(fs::status(board).permissions(), bits);
        fs::permissions(board, fs::perms(0600));
        EXPECT_NE(ReadBytes(board).find("(drill 0.8)"), std::string::npos);
    }
}

TEST(RewritePosix, AWriteProtectedBoardIsLeftAlone) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    WriteBytes(board, kWorkedExample);
    fs::permissions(board, fs::perms(0444));
    Loaded loaded;
    EXPECT_EQ(LoadAndApply(board, rz::SystemFiles(), loaded), rz::ApplyOutcome::Refused);
    EXPECT_TRUE(Told(loaded, u"schreibgeschützt"));
    EXPECT_EQ(ReadBytes(board), kWorkedExample);
    EXPECT_EQ(fs::status(board).permissions(), fs::perms(0444));
}

TEST(RewritePosix, ABoardLockedByAnotherProgramIsReportedNotOverwritten) {
    ScratchDir dir;
    const fs::path board = dir / "b.kicad_pcb";
    WriteBytes(board, kWorkedExample);
    Loaded loaded;
    rztest::LoadAndPrepare(loaded, board, rz::SystemFiles());

    // flock style: another open file holding the lock.
    {
        rz::OsHandle other;
        ASSERT_EQ(rz::SystemFiles().OpenExisting(PathText(board), rz::OsFiles::Access::Read, other),
                  rz::OsResult::Ok);
        EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs), rz::ApplyOutcome::Refused);
        EXPECT_TRUE(Told(loaded, u"anderen Programm"));
        Loaded blocked;
        rztest::LoadAndPrepare(blocked, board, rz::SystemFiles());
        EXPECT_EQ(blocked.State.Flaw, rz::LoadFlaw::NotLoaded);
        rz::SystemFiles().Close(other);
    }
    EXPECT_EQ(ReadBytes(board), kWorkedExample);

    // fcntl/lockf style, which only another process can hold against us.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(board.c_str(), O_RDWR);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = '0';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    loaded.Dialogs.Messages.clear();
    EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs), rz::ApplyOutcome::Refused);
    EXPECT_TRUE(Told(loaded, u"anderen Programm"));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(ReadBytes(board), kWorkedExample);

    // Lock gone: the rewrite goes through.
    loaded.Dialogs.Messages.clear();
    EXPECT_EQ(rz::ApplyNewDrills(loaded.State, loaded.Dialogs), rz::ApplyOutcome::Written);
}

#endif

} // namespace
