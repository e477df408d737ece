// Helpers for the safety tests: real folders, real mounts, real processes. Each fault
// these tests cause happens on the real file system, never through a stand-in.
#pragma once

#include "core/board_state.hpp"
#include "core/pipeline.hpp"
#include "ui/dialogs.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rzsafe {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it
// (mounts under it unmounted, immutable flags cleared) when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::string ReadBytes(const fs::path& p);
void WriteBytes(const fs::path& p, const std::string& bytes);
// Names in a folder, sorted; "." and ".." left out.
std::vector<std::string> ListFolder(const fs::path& dir);

// A tmpfs mounted on a folder for the life of the object. When mounting is not
// possible (not root, no mount namespace), Ok() is false and Why() says why.
class TmpfsMount {
public:
    TmpfsMount(const fs::path& where, const std::string& options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool Ok() const { return ok_; }
    const std::string& Why() const { return why_; }
    // Makes the mount read-only (for root too); false with Why() on failure.
    bool RemountReadOnly();

private:
    fs::path where_;
    bool ok_ = false;
    std::string why_;
};

// chattr-style inode flags (immutable, append-only). False when the file system does
// not support them; the text says why.
bool SetInodeFlag(const fs::path& p, int flag, bool on, std::string* why);

// Answers the two dialogs without a window: the open dialog gives a fixed path, and
// every message is recorded.
class ScriptedDialogs : public rz::Dialogs {
public:
    explicit ScriptedDialogs(std::string path) : path_(std::move(path)) {}
    rz::Text ChooseOpenFile(const rz::Text& title, const rz::Text& defaultFile,
                            const rz::Text& filter, int32_t filterPosition) override;
    int32_t ShowMessage(const rz::Text& title, const rz::Text& text, uint32_t flags) override;

    struct Message {
        std::string title;
        std::string text;
    };
    std::vector<Message> messages;

private:
    std::string path_;
};

// One run as the window drives it, split where the window would wait for the user.
struct Session {
    explicit Session(const fs::path& board) : dialogs(board.string()) {}
    rz::BoardState state;
    ScriptedDialogs dialogs;
    std::vector<rz::DrillRow> rows;

    // Load, collect, sort, prepare the rows. Returns LastLineIndex.
    int32_t Load();
    rz::ApplyOutcome Apply() { return rz::ApplyNewDrills(state, dialogs); }
};

// Runs fn in a forked child and returns its exit status (fn's result), or -1 when the
// child died of a signal. Lets a test act as "another process".
int InChild(const std::function<int()>& fn);

// A generated board and the exact bytes a correct rewrite gives for it.
struct GeneratedBoard {
    std::string original; // LF line ends, a few CR LF and lone CR mixed in
    std::string expected; // after the rewrite: rounded pad drills, CR LF everywhere
    std::size_t lines = 0;
    std::size_t distinctPadDrills = 0; // plain pad drill tokens the tool collects
};

struct BoardShape {
    std::size_t targetBytes = 1 << 20; // stop adding footprints past this size
    std::size_t distinctDrills = 12;   // pad drill values to cycle through
    bool singleLine = false;           // everything on one line, no line end
    uint32_t seed = 1;
};

GeneratedBoard GenerateBoard(const BoardShape& shape);

// Path of the command-line program under test (set by the build).
std::string CliPath();

struct ChildRun {
    int exitCode = -1;  // -1 when killed by a signal
    int signal = 0;     // the signal that ended it, 0 otherwise
    long maxRssKiB = 0; // peak resident memory of the child
    double seconds = 0; // wall-clock time
    std::string err;    // what it wrote to standard error (when captured)
    std::string out;    // what it wrote to standard output (when captured)
};

// Runs the program with args and waits for it.
ChildRun RunProgram(const std::vector<std::string>& argv, bool capture = true);

// Drill tokens masked: every "(drill " up to and including the first ")" after it (or
// to the end of the line) becomes "#". Two lines that differ only in drill tokens give
// the same skeleton.
std::u16string DrillSkeleton(const std::u16string& line);

// Splits bytes the way the board reader cuts lines (LF, CR LF, lone CR) without
// decoding; for checks on files known to be well-formed UTF-8 without NUL bytes.
std::vector<std::string> SplitLines(const std::string& bytes);

} // namespace rzsafe
