// rezurudev-cli as scripts use it: its output, its messages, its exit status.
#include "support.hpp"

#include <gtest/gtest.h>

#if !defined(_WIN32) && !defined(REZURUDEV_NO_CLI)
#include <sys/wait.h>

namespace {

using rztest::ReadBytes;
using rztest::WriteBytes;

struct Result {
    int Status;
    std::string Out;
    std::string Err;
};

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (const char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

Result RunCli(const rztest::ScratchDir& dir, const std::string& args) {
    const std::string out = (dir / "stdout").string();
    const std::string err = (dir / "stderr").string();
    const std::string command =
        Quoted(REZURUDEV_CLI) + " " + args + " >" + Quoted(out) + " 2>" + Quoted(err);
    const int raw = std::system(command.c_str());
    Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes(out), ReadBytes(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

TEST(Cli, ListsAppliesAndReportsByExitStatus) {
    rztest::ScratchDir dir;
    const std::string board = (dir / "b.kicad_pcb").string();
    const std::string content =
        "(pad (drill 1.016))\n(pad (drill 0.762))\n(pad (drill oval 1.02 2.03))\n";
    WriteBytes(board, content);

    Result list = RunCli(dir, Quoted(board));
    EXPECT_EQ(list.Status, 0);
    EXPECT_EQ(list.Out, "0.762\t0.8\n1.016\t1.0\noval 1.02 2.03\toval 1.0 2.0\n");
    EXPECT_EQ(list.Err, "");
    EXPECT_EQ(ReadBytes(board), content);

    Result apply = RunCli(dir, "--apply -- " + Quoted(board));
    EXPECT_EQ(apply.Status, 0);
    EXPECT_EQ(apply.Out, list.Out);
    EXPECT_EQ(ReadBytes(board),
              "(pad (drill 1.0))\r\n(pad (drill 0.8))\r\n(pad (drill oval 1.0 2.0))\r\n");

    Result missing = RunCli(dir, Quoted((dir / "missing.kicad_pcb").string()));
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Out, "");
    EXPECT_EQ(missing.Err, "Datei ist nicht vorhanden\n");

    WriteBytes(board, "(pad (drill 1.016))\n\xE4\n");
    Result refused = RunCli(dir, "--apply " + Quoted(board));
    EXPECT_EQ(refused.Status, 2);
    EXPECT_EQ(refused.Out, "1.016\t1.0\n");
    EXPECT_NE(refused.Err.find("UTF-8"), std::string::npos);
    EXPECT_EQ(ReadBytes(board), "(pad (drill 1.016))\n\xE4\n");

    EXPECT_EQ(RunCli(dir, "").Status, 3);
    EXPECT_EQ(RunCli(dir, "--frobnicate " + Quoted(board)).Status, 3);
    EXPECT_EQ(RunCli(dir, Quoted(board) + " " + Quoted(board)).Status, 3);
    EXPECT_EQ(RunCli(dir, "--help").Status, 0);
    EXPECT_EQ(std::vector<std::string>{"b.kicad_pcb"}, dir.Names());
}

} // namespace
#endif
