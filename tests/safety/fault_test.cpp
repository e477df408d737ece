// Real faults on the real file system around one run. After each, the board holds
// exactly its old or exactly its new bytes, nothing of ours is left beside it, and a
// refused rewrite was told to the user.
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace rzsafe;

namespace {

// Runs a shell command with $P set to `path`; true when it exits 0.
bool Shell(const std::string& command, const fs::path& path) {
    return std::system(("P='" + path.string() + "'; " + command).c_str()) == 0;
}

// Another process that locks `file` (`how`: "flock(f, fcntl.LOCK_SH)", ...) and holds
// the lock until the object goes.
struct Holder {
    Holder(const std::string& how, const fs::path& file) {
        const std::string py = "import fcntl,os,sys,time; f=open(sys.argv[1]); fcntl." + how +
                               "; print(os.getpid(), flush=True); time.sleep(999)";
        out = popen(("exec python3 -c '" + py + "' '" + file.string() + "'").c_str(), "r");
        ok = out && std::fscanf(out, "%d", &pid) == 1;
    }
    ~Holder() {
        if (ok) {
            kill(pid, SIGKILL);
        }
        out ? pclose(out) : 0;
    }
    FILE* out;
    pid_t pid = -1;
    bool ok;
};

const Board& Small() {
    static const Board board = GenerateBoard(200 << 10, 30);
    return board;
}

const Names kBoard = {"board.kicad_pcb"};

// Not written, told, the old bytes in place, and nothing but the board in its folder.
void ExpectIntact(const Session& s, rz::ApplyOutcome outcome, const ScratchDir& dir) {
    EXPECT_NE(outcome, rz::ApplyOutcome::Written);
    ASSERT_FALSE(s.Dialogs.Messages.empty()) << "nothing was told to the user";
    EXPECT_TRUE(s.Dialogs.Messages.back().Title == u"Information" &&
                !s.Dialogs.Messages.back().Text.empty());
    EXPECT_TRUE(ReadBytes(dir / "board.kicad_pcb") == Small().original) << "the board changed";
    EXPECT_EQ(dir.Names(), kBoard);
}

void ExpectNextRunWorks(const ScratchDir& dir) {
    Session s(dir / "board.kicad_pcb");
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
    EXPECT_TRUE(ReadBytes(dir / "board.kicad_pcb") == Small().expected) << "next run failed";
    EXPECT_EQ(dir.Names(), kBoard);
}

// Faults done after loading on a tmpfs holding the board's folder ($P), and undone: a
// full disk (no room, or room that runs out part-way), and ways to refuse root too.
TEST(SafetyFault, DiskFullOrFolderNotWritable) {
    ScratchDir dir;
    if (!Shell("mount -t tmpfs -o size=1m rz \"$P\"", dir.Path())) {
        GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
    }
    const std::shared_ptr<void> unmount(nullptr,
                                        [&](void*) { Shell("umount -l \"$P\"", dir.Path()); });
    const fs::path board = dir / "board.kicad_pcb";
    const std::string fill = "fallocate -l $(($(stat -f -c '%a*%S' \"$P\") - $L)) \"$P/filler\"";
    std::string refused;
    for (auto [block, undo] :
         {std::pair{"L=0; " + fill, "rm \"$P/filler\""},
          {"L=122880; " + fill, "rm \"$P/filler\""},
          {"mount -o remount,ro \"$P\"", "mount -o remount,rw \"$P\""},
          {"chattr +i \"$P\"", "chattr -i \"$P\""},
          {"chmod 444 \"$P/board.kicad_pcb\"", "chmod 644 \"$P/board.kicad_pcb\""}}) {
        SCOPED_TRACE(block);
        WriteBytes(board, Small().original);
        Session s(board);
        ASSERT_GE(s.State.LastLineIndex, 0);
        if (!Shell(block, dir.Path())) {
            refused += block + " is refused here; ";
            continue;
        }
        const rz::ApplyOutcome outcome = s.Apply();
        ASSERT_TRUE(Shell(undo, dir.Path()));
        ExpectIntact(s, outcome, dir);
        ExpectNextRunWorks(dir);
    }
    if (!refused.empty()) {
        GTEST_SKIP() << refused;
    }
}

// Another program acts on the board ($P) while the window is up; `written` when the
// content on disk is still what was loaded.
TEST(SafetyFault, OtherProgramsSaveNeverOverwritten) {
    for (auto [sh, written] :
         {std::pair{"rm \"$P\" && mkdir \"$P\" && echo keep >\"$P/in\"", false},
          {"rm \"$P\"", false},
          {"sed 's/(drill 0.500)/(drill 0.700)/' \"$P\" 1<>\"$P\"", false}, // same size, in place
          {"sed -i '1i (kicad_pcb)' \"$P\"", false},
          {"cp \"$P\" \"$P.x\" && mv \"$P.x\" \"$P\"", true},
          {"touch \"$P\"", true}}) {
        SCOPED_TRACE(sh);
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, Small().original);
        Session s(board);
        ASSERT_GE(s.State.LastLineIndex, 0);
        ASSERT_TRUE(Shell(sh, board));
        const Names names = dir.Names();
        const bool file = fs::is_regular_file(board);
        const std::string onDisk = file ? ReadBytes(board) : "";
        EXPECT_EQ(s.Apply() == rz::ApplyOutcome::Written, written);
        EXPECT_EQ(s.Dialogs.Messages.empty(), written);
        EXPECT_EQ(fs::is_regular_file(board), file);
        EXPECT_TRUE(!file || ReadBytes(board) == (written ? Small().expected : onDisk))
            << "the other program's save was lost";
        EXPECT_TRUE(file || !fs::is_directory(board) || ReadBytes(board / "in") == "keep\n");
        EXPECT_EQ(dir.Names(), names);
    }
}

TEST(SafetyFault, SymbolicLinksFollowedAndKept) {
    ScratchDir dir;
    WriteBytes(dir / "real.kicad_pcb", Small().original);
    // A relative link to an absolute link to the file.
    fs::create_symlink(dir / "real.kicad_pcb", dir / "abs.kicad_pcb");
    fs::create_symlink("abs.kicad_pcb", dir / "board.kicad_pcb");
    Session s(dir / "board.kicad_pcb");
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
    EXPECT_TRUE(ReadBytes(dir / "real.kicad_pcb") == Small().expected);
    EXPECT_EQ(fs::read_symlink(dir / "board.kicad_pcb"), "abs.kicad_pcb");
    EXPECT_EQ(fs::read_symlink(dir / "abs.kicad_pcb"), dir / "real.kicad_pcb");
    EXPECT_EQ(dir.Names(), (Names{"abs.kicad_pcb", "board.kicad_pcb", "real.kicad_pcb"}));
}

TEST(SafetyFault, PermissionBitsAndOwnerKept) {
    for (mode_t mode : {0600, 0640, 0777, 02664, 04750, 01644}) {
        SCOPED_TRACE(mode);
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, Small().original);
        const bool root = geteuid() == 0;
        ASSERT_TRUE(!root || chown(board.c_str(), 4242, 4343) == 0);
        ASSERT_EQ(chmod(board.c_str(), mode), 0); // after chown, which clears set-id bits
        Session s(board);
        ASSERT_EQ(s.Apply(), rz::ApplyOutcome::Written);
        struct stat st {};
        ASSERT_EQ(stat(board.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_TRUE(!root || (st.st_uid == 4242 && st.st_gid == 4343));
        EXPECT_TRUE(ReadBytes(board) == Small().expected);
        EXPECT_EQ(dir.Names(), kBoard);
    }
}

// flock and record locks do not see each other on Linux; a shared lock of either kind
// keeps us out, whether taken before loading or between loading and apply.
TEST(SafetyFault, LockedBoardReportedAndIntact) {
    for (int run = 0; run < 4; ++run) {
        const bool record = run / 2, atLoad = run % 2;
        SCOPED_TRACE(std::string(record ? "fcntl" : "flock") + (atLoad ? " at load" : " at apply"));
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, Small().original);
        std::optional<Session> s;
        if (!atLoad) {
            s.emplace(board);
        }
        {
            Holder lock(record ? "lockf(f, fcntl.LOCK_SH)" : "flock(f, fcntl.LOCK_SH)", board);
            ASSERT_TRUE(lock.ok);
            if (atLoad) {
                s.emplace(board);
                EXPECT_EQ(s->State.LastLineIndex, -1) << "a locked board was read";
            }
            ExpectIntact(*s, s->Apply(), dir);
        }
        ExpectNextRunWorks(dir);
    }
}

// A killed run's temporary files are removed by the next run of the same board; nothing
// else is: not another board's, not the user's files, links or folders with such names,
// not the file of a rewrite that is still running.
TEST(SafetyFault, OnlyOwnLeftoversRemoved) {
    ScratchDir dir;
    const auto tmp = [](const char* id, const char* board = "board.kicad_pcb") {
        return rz::TextToUtf8(rz::TemporaryPrefix(rz::Utf8ToText(board))) + id + ".tmp";
    };
    WriteBytes(dir / "board.kicad_pcb", "(kicad_pcb\n(pad (drill 0.762))\n)\n");
    WriteBytes(dir / tmp("0123456789ab"), "half a board");
    WriteBytes(dir / tmp("ffffffffffff"), "half a board");
    Names kept = {"keep", tmp("cccccccccccc"), tmp("0123456789ab", "other.kicad_pcb"),
                  "board.kicad_pcb~", tmp("0123456789ab") + ".bak"};
    for (const auto& name : kept) {
        WriteBytes(dir / name, "the user's");
    }
    fs::create_symlink("keep", dir / tmp("aaaaaaaaaaaa"));
    fs::create_directory(dir / tmp("bbbbbbbbbbbb"));
    {
        // Held the way a live rewrite holds its temporary file.
        Holder live("flock(f, fcntl.LOCK_EX)", dir / kept[1]);
        ASSERT_TRUE(live.ok);
        Session s(dir / "board.kicad_pcb");
        EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
    }
    for (const auto& name : kept) {
        EXPECT_EQ(ReadBytes(dir / name), "the user's");
    }
    kept.insert(kept.end(), {"board.kicad_pcb", tmp("aaaaaaaaaaaa"), tmp("bbbbbbbbbbbb")});
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(dir.Names(), kept);
    EXPECT_EQ(ReadBytes(dir / "board.kicad_pcb"), "(kicad_pcb\r\n(pad (drill 0.8))\r\n)\r\n");
}

// Sizes at the edges of 32-bit floats: a number is written back as a number. A size
// whose tenfold overflows once came out as "(drill +Infinit.y)".
TEST(SafetyFault, ExtremeDrillValuesStayNumbers) {
    for (const char* value : {"3e38", "-3e38", "3.4e38", "3.5e37", "1e30", "123456789", "1e-45",
                              "0.0000001", "-0", "+0.8", ".5", "5.", "1e-3", "0.35"}) {
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, std::string("(kicad_pcb\n(pad \"1\" (drill ") + value + "))\n)\n");
        Session s(board);
        ASSERT_EQ(s.State.DrillCount, 1) << value;
        ASSERT_EQ(s.Apply(), rz::ApplyOutcome::Written);
        const std::string token = rz::TextToUtf8(s.State.NewDrillTokens[1]);
        EXPECT_EQ(ReadBytes(board), "(kicad_pcb\r\n(pad \"1\" " + token + ")\r\n)\r\n");
        char* stop = nullptr;
        const double number = std::strtod(token.c_str() + 7, &stop);
        EXPECT_TRUE(stop != token.c_str() + 7 && std::string(stop) == ")" && std::isfinite(number))
            << "(drill " << value << ") was written as " << token;
    }
}

} // namespace
