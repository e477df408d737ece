// The command-line program killed at random moments of a rewrite, and on boards of a
// million lines, ten thousand drill sizes and one line of ten megabytes.
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef REZURUDEV_DEFAULT_KILLS
#define REZURUDEV_DEFAULT_KILLS 200
#endif

using namespace rzsafe;

namespace {

struct Ended {
    int code = -1; // -1 when a signal ended it
    double seconds = 0;
};

// Runs the program on the board (listing to `out`, or rewriting it), killed with SIGKILL
// after `killAfter` seconds unless that is negative. With `peak`, its peak memory in KiB
// goes there, measured by a small python parent: a child of this large process would
// count the pages it shares with it.
Ended RunProgram(bool apply, const fs::path& board, const fs::path& out, double killAfter = -1,
                 const fs::path& peak = {}) {
    const auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        const char *cli = REZURUDEV_CLI_PATH, *arg = apply ? "--apply" : board.c_str();
        const char* last = apply ? board.c_str() : nullptr;
        if (!peak.empty()) {
            execlp("python3", "python3", "-c",
                   "import resource as r, subprocess, sys; c = subprocess.call(sys.argv[2:]); "
                   "open(sys.argv[1], 'w').write(str(r.getrusage(r.RUSAGE_CHILDREN).ru_maxrss)); "
                   "sys.exit(c)",
                   peak.c_str(), cli, arg, last, nullptr);
        }
        execl(cli, cli, arg, last, nullptr);
        _exit(127);
    }
    if (killAfter >= 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(killAfter));
        kill(pid, SIGKILL);
    }
    int status = 0;
    Ended e;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        e.code = WEXITSTATUS(status);
    }
    e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return e;
}

unsigned Env(const char* name, unsigned otherwise) {
    return std::getenv(name) ? static_cast<unsigned>(std::atol(std::getenv(name))) : otherwise;
}

// REZURUDEV_KILLS sets the number of kills, REZURUDEV_KILL_SEED replays a run.
TEST(SafetyKilled, BoardAlwaysOldOrNewBytes) {
    ScratchDir dir;
    const fs::path board = dir / "board.kicad_pcb";
    const Board gen = GenerateBoard(12u << 20, 60);
    // The old bytes put back whole and on the disk: no torn restore can pass for a torn
    // rewrite, and the next run's flush does not pay for it.
    const auto restore = [&] {
        WriteBytes(dir / "zz", gen.original);
        ASSERT_TRUE(std::system(("sync " + (dir / "zz").string()).c_str()) == 0);
        fs::rename(dir / "zz", board);
    };
    // One whole run, the median of five, so that the kills cover all of it.
    std::vector<double> runs;
    for (int k = 0; k < 5; ++k) {
        restore();
        const Ended run = RunProgram(true, board, "/dev/null");
        ASSERT_EQ(run.code, 0);
        ASSERT_TRUE(ReadBytes(board) == gen.expected) << "an undisturbed run gives wrong bytes";
        runs.push_back(run.seconds);
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
        const Ended run = RunProgram(true, board, "/dev/null", delay);
        killed += run.code == -1;
        ASSERT_TRUE(run.code <= 0) << "a run failed (seed " << seed << ")";
        const std::string now = ReadBytes(board);
        sawOld += now == gen.original;
        sawNew += now == gen.expected;
        ASSERT_TRUE(now == gen.original || now == gen.expected)
            << "kill " << i << " after " << delay << " s left " << now.size()
            << " bytes that are neither old nor new (seed " << seed << ")";
        ASSERT_LE(dir.Names().size(), 2u) << "temporary files pile up after kill " << i;
        if (now == gen.expected) {
            restore();
        }
    }
    EXPECT_EQ(RunProgram(true, board, "/dev/null").code, 0);
    EXPECT_TRUE(ReadBytes(board) == gen.expected);
    EXPECT_EQ(dir.Names(), Names{"board.kicad_pcb"});
    std::printf("%u kills (seed %u), a run %.3f s on %zu bytes: %u killed while running; "
                "found old %u, new %u times\n",
                kills, seed, runs[2], gen.original.size(), killed, sawOld, sawNew);
    // The kills must land inside runs, or the test proves nothing.
    EXPECT_GE(killed, kills / 4);
    EXPECT_GT(sawOld, 0u);
    EXPECT_TRUE(kills < 50 || sawNew > 0) << "no kill came late enough to see the new content";
}

// A board of one 10 MB line: only its first drill token is collected, every copy of it
// replaced.
Board OneLine() {
    Board b{"(kicad_pcb", "(kicad_pcb", 1, 1};
    while (b.original.size() < 10u << 20) {
        b.original += " (pad \"1\" (drill 0.500)) (pad \"2\" (drill 0.762) (layers \"*.Cu\"))";
        b.expected += " (pad \"1\" (drill 0.5)) (pad \"2\" (drill 0.762) (layers \"*.Cu\"))";
    }
    b.original += ")";
    b.expected += ")\r\n";
    return b;
}

TEST(SafetyScale, ListAndRewriteCorrectWithBoundedMemory) {
    for (const auto& [name, gen, extra, minLines] :
         {std::tuple{"MillionLines", GenerateBoard(36u << 20, 40), 2u, 1000000u},
          {"TenThousandDrills", GenerateBoard(1u << 20, 10000), 2u, 0u},
          {"TenMegabyteLine", OneLine(), 0u, 1u}}) {
        SCOPED_TRACE(name);
        ASSERT_GE(gen.lines, minLines);
        ScratchDir dir;
        const fs::path board = dir / "board.kicad_pcb", out = dir / "list";
        WriteBytes(board, gen.original);
        const Ended list = RunProgram(false, board, out);
        ASSERT_EQ(list.code, 0);
        // Every plain pad size once as "before<TAB>after", the oval and the offset drill
        // (`extra`), never the via-only size.
        std::istringstream rows(ReadBytes(out));
        fs::remove(out);
        std::set<std::string> plain;
        size_t count = 0;
        for (std::string row; std::getline(rows, row); ++count) {
            const std::string before = row.substr(0, row.find('\t'));
            ASSERT_TRUE(before != row && before != "0.254") << row;
            const bool isPlain = before.find_first_not_of("0123456789.") == std::string::npos;
            EXPECT_TRUE(!isPlain || plain.insert(row).second) << "listed twice: " << row;
        }
        EXPECT_EQ(plain.size(), gen.distinct);
        EXPECT_EQ(plain.count("0.500\t0.5"), 1u);
        EXPECT_EQ(count, gen.distinct + extra);

        const Ended apply = RunProgram(true, board, "/dev/null", -1, dir / "peak");
        ASSERT_EQ(apply.code, 0);
        const double peak = std::stod(ReadBytes(dir / "peak")) / 1024;
        fs::remove(dir / "peak");
        EXPECT_TRUE(ReadBytes(board) == gen.expected) << "the rewritten board differs";
        EXPECT_EQ(dir.Names(), Names{"board.kicad_pcb"});
        const double mb = static_cast<double>(gen.original.size()) / (1 << 20);
        std::printf("%s: %.1f MiB, %zu lines, %zu pad drills: list %.2f s, apply %.2f s, peak "
                    "%.1f MiB (%.1f x the file)\n",
                    name, mb, gen.lines, gen.distinct, list.seconds, apply.seconds, peak,
                    peak / mb);
#ifndef REZURUDEV_SANITIZED // their bookkeeping would swamp it
        EXPECT_LT(peak, 6 * mb + 48) << "a copy per line or per token?";
#endif
    }
}

} // namespace
