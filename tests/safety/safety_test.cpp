// Real faults around one run: other programs that save or lock the board, links, permission
// bits, leftovers, and the command-line program killed at random moments. The board always
// holds its old or its new bytes, nothing of ours stays beside it, a refusal is told.
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef REZURUDEV_DEFAULT_KILLS
#define REZURUDEV_DEFAULT_KILLS 200
#endif

using namespace rztest;

namespace {

const Board& Small() {
    static const Board board = RealBoard("kicad6/ecc83-pp_v2.kicad_pcb");
    return board;
}

// Another process that locks `file` (`how`: "flock(f, fcntl.LOCK_SH)", ...) until it goes.
struct Holder {
    Holder(const std::string& how, const fs::path& file) {
        const std::string py = "import fcntl,os,sys,time; f=open(sys.argv[1]); fcntl." + how +
                               "; print(os.getpid(), flush=True); time.sleep(999)";
        out = popen(("exec python3 -c '" + py + "' '" + file.string() + "'").c_str(), "r");
        ok = out && std::fscanf(out, "%d", &pid) == 1;
    }
    ~Holder() {
        ok ? kill(pid, SIGKILL) : 0;
        out ? pclose(out) : 0;
    }
    FILE* out;
    pid_t pid = -1;
    bool ok;
};

// Another program acts on the board ($P) while the window is up; `written` when the
// content on disk is still what was loaded and may be written.
TEST(SafetyFault, OtherProgramsSaveNeverOverwritten) {
    for (auto [sh, written] :
         {std::pair{"rm \"$P\" && mkdir \"$P\" && echo keep >\"$P/in\"", false},
          {"rm \"$P\"", false},
          {"sed 's/(drill 0.8)/(drill 0.9)/' \"$P\" 1<>\"$P\"", false}, // same size, in place
          {"sed -i '1i (kicad_pcb)' \"$P\"", false},
          {"chmod 444 \"$P\"", false}, // no write bits, which bind root too
          {"cp \"$P\" \"$P.x\" && mv \"$P.x\" \"$P\"", true},
          {"touch \"$P\"", true}}) {
        SCOPED_TRACE(sh);
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, Small().Original);
        Session s(board);
        ASSERT_EQ(std::system(("P='" + board.string() + "'; " + sh).c_str()), 0);
        const Names names = dir.Names();
        const bool file = fs::is_regular_file(board);
        const std::string onDisk = file ? ReadBytes(board) : "";
        EXPECT_EQ(s.Apply() == rz::ApplyOutcome::Written, written);
        EXPECT_EQ(s.Dialogs.Messages.empty(), written);
        EXPECT_TRUE(file ? ReadBytes(board) == (written ? Small().Expected : onDisk)
                         : !fs::exists(board) || ReadBytes(board / "in") == "keep\n")
            << "the other program's save was lost";
        EXPECT_EQ(dir.Names(), names);
    }
}

// flock and record locks do not see each other on Linux; a shared lock of either kind
// keeps us out, whether taken before loading or between loading and apply. Once it is
// released the next run works.
TEST(SafetyFault, LockedBoardReportedAndIntact) {
    for (int run = 0; run < 4; ++run) {
        const bool record = run / 2, atLoad = run % 2;
        SCOPED_TRACE(std::string(record ? "fcntl" : "flock") + (atLoad ? " at load" : " at apply"));
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb";
        WriteBytes(board, Small().Original);
        std::optional<Session> s;
        if (!atLoad) {
            s.emplace(board);
        }
        {
            Holder lock(record ? "lockf(f, fcntl.LOCK_SH)" : "flock(f, fcntl.LOCK_SH)", board);
            ASSERT_TRUE(lock.ok);
            if (atLoad) {
                s.emplace(board);
                EXPECT_TRUE(s->State.BoardLines.empty()) << "a locked board was read";
            }
            EXPECT_NE(s->Apply(), rz::ApplyOutcome::Written);
            EXPECT_TRUE(s->Dialogs.Told(u"")) << "nothing was told to the user";
            EXPECT_TRUE(ReadBytes(board) == Small().Original) << "the board changed";
        }
        EXPECT_EQ(Session(board).Apply(), rz::ApplyOutcome::Written);
        EXPECT_TRUE(ReadBytes(board) == Small().Expected) << "the next run failed";
        EXPECT_EQ(dir.Names(), Names{"board.kicad_pcb"});
    }
}

// The board reached through a relative link to an absolute link is rewritten with its bits,
// owner and group; the links stay links. Only leftovers of this board's killed runs go, not
// another board's, the user's files, links or folders so named, nor a live rewrite's file.
TEST(SafetyFault, LinksPermissionsAndOthersFilesKept) {
    ScratchDir dir;
    const auto tmp = [](const char* id, const char* board = "real.kicad_pcb") {
        return rz::TextToUtf8(rz::TemporaryPrefix(rz::Utf8ToText(board))) + id + ".tmp";
    };
    const fs::path real = dir / "real.kicad_pcb";
    WriteBytes(real, "(kicad_pcb\n(pad (drill 0.762))\n)\n");
    fs::create_symlink(real, dir / "abs.kicad_pcb");
    fs::create_symlink("abs.kicad_pcb", dir / "board.kicad_pcb");
    const bool root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(real.c_str(), 4242, 4343) == 0);
    ASSERT_EQ(chmod(real.c_str(), 07750), 0); // after chown, which clears set-id bits
    WriteBytes(dir / tmp("0123456789ab"), "half a board");
    WriteBytes(dir / tmp("ffffffffffff"), "half a board");
    Names kept = {"keep", tmp("cccccccccccc"), tmp("0123456789ab", "board.kicad_pcb"),
                  "real.kicad_pcb~", tmp("0123456789ab") + ".bak"};
    for (const auto& name : kept) {
        WriteBytes(dir / name, "the user's");
    }
    fs::create_symlink("keep", dir / tmp("aaaaaaaaaaaa"));
    fs::create_directory(dir / tmp("bbbbbbbbbbbb"));
    {
        Holder live("flock(f, fcntl.LOCK_EX)", dir / kept[1]); // as a live rewrite holds it
        ASSERT_TRUE(live.ok);
        EXPECT_EQ(Session(dir / "board.kicad_pcb").Apply(), rz::ApplyOutcome::Written);
    }
    for (const auto& name : kept) {
        EXPECT_EQ(ReadBytes(dir / name), "the user's");
    }
    kept.insert(kept.end(), {"abs.kicad_pcb", "board.kicad_pcb", "real.kicad_pcb",
                             tmp("aaaaaaaaaaaa"), tmp("bbbbbbbbbbbb")});
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(dir.Names(), kept);
    EXPECT_EQ(ReadBytes(real), "(kicad_pcb\r\n(pad (drill 0.8))\r\n)\r\n");
    EXPECT_EQ(fs::read_symlink(dir / "board.kicad_pcb"), "abs.kicad_pcb");
    EXPECT_EQ(fs::read_symlink(dir / "abs.kicad_pcb"), real);
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 07750u);
    EXPECT_TRUE(!root || (st.st_uid == 4242 && st.st_gid == 4343));
}

// Runs `rezurudev-cli --apply` on the board, killed with SIGKILL after `killAfter` seconds
// (0: never). Gives the exit code, -1 when it was killed, and the time it took.
std::pair<int, double> RunProgram(const fs::path& board, double killAfter = 0) {
    const auto start = std::chrono::steady_clock::now();
    const int raw =
        std::system(("timeout -s KILL " + std::to_string(killAfter) +
                     " '" REZURUDEV_CLI_PATH "' --apply '" + board.string() + "' >/dev/null")
                        .c_str());
    const int code = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return {code == 128 + SIGKILL ? -1 : code,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

unsigned Env(const char* name, unsigned otherwise) {
    return std::getenv(name) ? static_cast<unsigned>(std::atol(std::getenv(name))) : otherwise;
}

// REZURUDEV_KILLS sets the number of kills, REZURUDEV_KILL_SEED replays a run.
TEST(SafetyKilled, BoardAlwaysOldOrNewBytes) {
    ScratchDir dir;
    const fs::path board = dir / "board.kicad_pcb";
    const Board gen = RealBoard("kicad9/open-4in1-esc.kicad_pcb", 10); // 13 MB
    // The old bytes put back whole and on the disk: no torn restore can pass for a torn
    // rewrite, and the next run's flush does not pay for it.
    const auto restore = [&] {
        WriteBytes(dir / "zz", gen.Original);
        ASSERT_TRUE(std::system(("sync " + (dir / "zz").string()).c_str()) == 0);
        fs::rename(dir / "zz", board);
    };
    // One whole run, the median of five, so that the kills cover all of it.
    std::vector<double> runs;
    for (int k = 0; k < 5; ++k) {
        restore();
        const auto [code, seconds] = RunProgram(board);
        ASSERT_EQ(code, 0);
        ASSERT_TRUE(ReadBytes(board) == gen.Expected) << "an undisturbed run gives other bytes";
        runs.push_back(seconds);
    }
    std::sort(runs.begin(), runs.end());
    restore();

    const unsigned seed = Env("REZURUDEV_KILL_SEED", std::random_device{}());
    std::mt19937 rng(seed);
    // A quarter aim at the end, where the file is flushed and replaced.
    std::uniform_real_distribution<double> anywhere(0.0, 1.1 * runs[2]);
    std::uniform_real_distribution<double> nearEnd(0.75 * runs[2], 1.05 * runs[2]);
    const unsigned kills = Env("REZURUDEV_KILLS", REZURUDEV_DEFAULT_KILLS);
    unsigned sawOld = 0, sawNew = 0, killed = 0;
    for (unsigned i = 0; i < kills; ++i) {
        const double delay = i % 4 == 3 ? nearEnd(rng) : anywhere(rng);
        const int code = RunProgram(board, delay).first;
        killed += code == -1;
        ASSERT_TRUE(code <= 0) << "a run failed (seed " << seed << ")";
        const std::string now = ReadBytes(board);
        sawOld += now == gen.Original;
        sawNew += now == gen.Expected;
        ASSERT_TRUE(now == gen.Original || now == gen.Expected)
            << "kill " << i << " after " << delay << " s left " << now.size()
            << " bytes that are neither old nor new (seed " << seed << ")";
        ASSERT_LE(dir.Names().size(), 2u) << "temporary files pile up after kill " << i;
        if (now == gen.Expected) {
            restore();
        }
    }
    EXPECT_EQ(RunProgram(board).first, 0);
    EXPECT_TRUE(ReadBytes(board) == gen.Expected);
    EXPECT_EQ(dir.Names(), Names{"board.kicad_pcb"});
    // The kills must land inside runs, or the test proves nothing.
    EXPECT_GE(killed, kills / 4) << "seed " << seed;
    EXPECT_GT(sawOld, 0u) << "seed " << seed;
    EXPECT_TRUE(kills < 50 || sawNew > 0) << "no kill came late enough to see the new content";
}

} // namespace
