// The command-line program killed with SIGKILL at random moments of a rewrite. After
// every kill the board holds exactly its old bytes or exactly its new bytes, at most
// one leftover temporary file lies next to it, and the next run works and clears it.
//
// REZURUDEV_KILLS sets the number of kills (the build sets a default), and
// REZURUDEV_KILL_SEED the random seed (printed, so a failure can be replayed).
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef REZURUDEV_DEFAULT_KILLS
#define REZURUDEV_DEFAULT_KILLS 200
#endif

using namespace rzsafe;

namespace {

int KillCount() {
    const char* env = std::getenv("REZURUDEV_KILLS");
    return env && *env ? std::atoi(env) : REZURUDEV_DEFAULT_KILLS;
}

pid_t StartApply(const fs::path& board) {
    const std::string cli = CliPath();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl(cli.c_str(), cli.c_str(), "--apply", board.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Puts the old bytes back the way a careful program would: never a half-written board,
// so a torn restore cannot be mistaken for a torn rewrite.
void Restore(const fs::path& board, const std::string& bytes) {
    // It is also forced to the disk, so that the next run's flush does not pay for
    // it and every run takes about as long as the calibrated one.
    const fs::path side = board.parent_path() / "zz-test-restore";
    WriteBytes(side, bytes);
    const int fd = open(side.c_str(), O_RDONLY);
    fsync(fd);
    close(fd);
    fs::rename(side, board);
}

TEST(SafetyKilled, BoardAlwaysOldOrNewBytes) {
    TempDir dir("kill");
    const fs::path board = dir / "board.kicad_pcb";
    BoardShape shape;
    shape.targetBytes = 12u << 20;
    shape.distinctDrills = 60;
    const GeneratedBoard gen = GenerateBoard(shape);
    WriteBytes(board, gen.original);

    // How long one whole run takes here, started and waited for exactly as in the loop
    // (the median of five, caches warm), so that the kills cover all of it.
    std::vector<double> runs;
    for (int k = 0; k < 5; ++k) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = StartApply(board);
        int status = 0;
        waitpid(pid, &status, 0);
        runs.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_TRUE(ReadBytes(board) == gen.expected) << "an undisturbed run gives wrong bytes";
        Restore(board, gen.original);
    }
    std::sort(runs.begin(), runs.end());
    const double full = runs[2];

    const char* seedEnv = std::getenv("REZURUDEV_KILL_SEED");
    const unsigned seed = seedEnv && *seedEnv ? static_cast<unsigned>(std::atol(seedEnv))
                                              : static_cast<unsigned>(std::random_device{}());
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> anywhere(0.0, 1.1 * full);
    // A quarter of the kills aim at the end, where the file is flushed and replaced.
    std::uniform_real_distribution<double> nearEnd(0.75 * full, 1.05 * full);

    const int kills = KillCount();
    int sawOld = 0, sawNew = 0, killedRunning = 0, finished = 0;
    std::size_t mostLeftovers = 0;
    for (int i = 0; i < kills; ++i) {
        const double delay = (i % 4 == 3) ? nearEnd(rng) : anywhere(rng);
        const pid_t pid = StartApply(board);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFSIGNALED(status)) {
            ++killedRunning;
        } else {
            ++finished;
            ASSERT_EQ(WEXITSTATUS(status), 0)
                << "a run that was not killed failed (kill " << i << ", seed " << seed << ")";
        }

        const std::string now = ReadBytes(board);
        const bool isOld = now == gen.original;
        const bool isNew = now == gen.expected;
        ASSERT_TRUE(isOld || isNew)
            << "kill " << i << " after " << delay << " s left " << now.size()
            << " bytes that are neither old nor new (seed " << seed << ")";
        sawOld += isOld;
        sawNew += isNew;

        // Leftovers of killed runs never pile up: each run clears the earlier ones.
        const auto names = ListFolder(dir.Path());
        mostLeftovers = std::max(mostLeftovers, names.size() - 1);
        ASSERT_LE(names.size(), 2u) << "temporary files pile up after kill " << i;
        if (isNew) {
            Restore(board, gen.original);
        }
    }

    // The next run after all that works and leaves only the board.
    const ChildRun last = RunProgram({CliPath(), "--apply", board.string()});
    EXPECT_EQ(last.exitCode, 0) << last.err;
    EXPECT_TRUE(ReadBytes(board) == gen.expected);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"board.kicad_pcb"}));

    std::printf("kills: %d (seed %u); one run takes %.3f s on %zu bytes; killed while running "
                "%d, already done %d; board found old %d times, new %d times; at most %zu "
                "leftover file(s) at once\n",
                kills, seed, full, gen.original.size(), killedRunning, finished, sawOld, sawNew,
                mostLeftovers);
    RecordProperty("kills", kills);
    RecordProperty("killed_while_running", killedRunning);
    RecordProperty("found_old", sawOld);
    RecordProperty("found_new", sawNew);
    // The kills must really land inside runs, or the test proves nothing.
    EXPECT_GE(killedRunning, kills / 4);
    EXPECT_GT(sawOld, 0);
    if (kills >= 50) {
        EXPECT_GT(sawNew, 0) << "no kill came late enough to see the new content";
    }
}

} // namespace
