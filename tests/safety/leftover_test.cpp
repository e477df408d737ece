// Temporary files of killed runs: the next run of the same board removes them, and
// touches nothing else: not a live rewrite's file, not another board's leftovers, not
// the user's files with similar names, not what a link of that name points to.
#include "support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rzsafe;

namespace {

std::string Leftover(const std::string& board, const std::string& id) {
    return rz::TextToUtf8(rz::TemporaryPrefix(rz::Utf8ToText(board))) + id + ".tmp";
}

TEST(SafetyLeftovers, OwnRemovedEverythingElseKept) {
    TempDir dir("leftover");
    const std::string board = "board.kicad_pcb";
    WriteBytes(dir / board, "(kicad_pcb\n(pad (drill 0.762))\n)\n");
    WriteBytes(dir / "keep-me.kicad_pcb", "precious");

    const std::vector<std::string> stale = {Leftover(board, "0123456789ab"),
                                            Leftover(board, "ffffffffffff")};
    const std::vector<std::string> kept = {
        Leftover("other.kicad_pcb", "0123456789ab"), // another board's
        Leftover(board, "0123456789ab") + ".bak",    // the user's, similar name
        board + ".bak",
        board + "~",
        "." + board + ".swp",
        Leftover(board, "aaaaaaaaaaaa"), // a link of that name
        Leftover(board, "bbbbbbbbbbbb"), // a folder of that name
        Leftover(board, "cccccccccccc"), // held by a running rewrite
    };
    for (const auto& name : stale) {
        WriteBytes(dir / name, "half a board");
    }
    for (std::size_t k = 0; k < 5; ++k) {
        WriteBytes(dir / kept[k], "the user's");
    }
    fs::create_symlink("keep-me.kicad_pcb", dir / kept[5]);
    fs::create_directory(dir / kept[6]);
    WriteBytes(dir / kept[7], "being written");

    // Another process holds its temporary file the way a live rewrite does.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::fflush(nullptr);
    const pid_t holder = fork();
    if (holder == 0) {
        int fd = open((dir / kept[7]).c_str(), O_RDWR);
        char c = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        for (;;) {
            pause();
        }
    }
    char c = 'n';
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    Session s(dir / board);
    ASSERT_GE(s.Load(), 0);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);

    std::vector<std::string> expected = kept;
    expected.push_back(board);
    expected.push_back("keep-me.kicad_pcb");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(dir.Path()), expected);
    EXPECT_EQ(ReadBytes(dir / "keep-me.kicad_pcb"), "precious");
    EXPECT_EQ(ReadBytes(dir / kept[7]), "being written");
    EXPECT_EQ(ReadBytes(dir / board), "(kicad_pcb\r\n(pad (drill 0.8))\r\n)\r\n");
}

} // namespace
