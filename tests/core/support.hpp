// Helpers for the core tests: a scratch folder, byte-exact file access, a dialog
// double, and a file system that fails one chosen call.
#pragma once

#include "core/board_state.hpp"
#include "core/os_file.hpp"
#include "ui/dialogs.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rztest {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& Path() const { return path_; }
    // Names in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    fs::path path_;
};

std::string ReadBytes(const fs::path& p);
void WriteBytes(const fs::path& p, const std::string& bytes);
rz::Text PathText(const fs::path& p);

struct Message {
    rz::Text Title;
    rz::Text Text;
};

class FakeDialogs final : public rz::Dialogs {
public:
    explicit FakeDialogs(rz::Text path = rz::Text()) : path_(std::move(path)) {}
    rz::Text ChooseOpenFile(const rz::Text& title, const rz::Text& defaultFile,
                            const rz::Text& filter, int32_t filterPosition) override;
    int32_t ShowMessage(const rz::Text& title, const rz::Text& text, uint32_t flags) override;

    std::vector<Message> Messages;
    rz::Text LastTitle, LastDefault, LastFilter;
    int32_t LastPosition = -1;

private:
    rz::Text path_;
};

// The OsFiles calls a test can make fail.
enum class Call {
    OpenExisting,
    FileSize,
    Read,
    CreateNew,
    Write,
    Flush,
    CopyPermissions,
    Close,
    Replace,
    Remove,
    RemoveStale,
    ResolveTarget,
    ListNames,
};
const char* CallName(Call call);

// Passes every call to the real file system and logs it; the call numbered
// FailAt (1-based, counting all calls) fails instead, the way the platform fails:
// a write puts half its bytes and reports a full disk, a close closes and reports
// an error, a read reports an error, a replace leaves both files as they are.
class FaultyFiles final : public rz::OsFiles {
public:
    explicit FaultyFiles(rz::OsFiles& real) : real_(real) {}

    int64_t FailAt = 0;
    rz::OsResult FailWith = rz::OsResult::Failed;
    // When above 0: a read hands out at most this many bytes, as the system may.
    int32_t ReadPiece = 0;
    std::vector<Call> Log;
    std::vector<rz::Text> Created; // every path CreateNew was asked for

    rz::OsResult OpenExisting(const rz::Text& path, Access access, rz::OsHandle& handle) override;
    int64_t FileSize(rz::OsHandle handle) override;
    int32_t Read(rz::OsHandle handle, void* buffer, int32_t size) override;
    rz::OsResult CreateNew(const rz::Text& path, rz::OsHandle& handle) override;
    rz::OsResult Write(rz::OsHandle handle, const void* data, int32_t size) override;
    rz::OsResult Flush(rz::OsHandle handle) override;
    rz::OsResult CopyPermissions(rz::OsHandle from, rz::OsHandle to) override;
    rz::OsResult Close(rz::OsHandle& handle) override;
    rz::OsResult Replace(const rz::Text& temporary, const rz::Text& target,
                         rz::OsHandle& held) override;
    rz::OsResult Remove(const rz::Text& path) override;
    rz::OsResult RemoveStale(const rz::Text& path) override;
    rz::Text ResolveTarget(const rz::Text& path) override;
    std::vector<rz::Text> ListNames(const rz::Text& folder, const rz::Text& prefix) override;

private:
    bool Fails(Call call);
    rz::OsFiles& real_;
};

// Loads `path` into a fresh state through the pipeline's own steps up to the rows.
struct Loaded {
    rz::BoardState State;
    FakeDialogs Dialogs;
};
void LoadAndPrepare(Loaded& loaded, const fs::path& path, rz::OsFiles& os);

// The lines of a text given with "\n" between them, as they are read.
std::vector<rz::Text> LinesOf(const rz::BoardState& state);

} // namespace rztest
