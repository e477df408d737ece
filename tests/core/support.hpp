// Helpers for the core and safety tests: a scratch folder, byte-exact file access, a
// dialog double, a file system that fails one chosen call, a run as the window does it.
#pragma once

#include "core/pipeline.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace rztest {

namespace fs = std::filesystem;
using rz::OsHandle;
using rz::OsResult;
using Names = std::vector<std::string>;

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> Names() const; // sorted

private:
    fs::path path_;
};

std::string ReadBytes(const fs::path& p); // throws when the file cannot be read
void WriteBytes(const fs::path& p, const std::string& bytes);
rz::Text PathText(const fs::path& p);

struct FakeDialogs final : rz::Dialogs {
    rz::Text ChooseOpenFile(const rz::Text&, const rz::Text&, const rz::Text&, int32_t) override {
        return Path;
    }
    int32_t ShowMessage(const rz::Text& title, const rz::Text& text, uint32_t) override {
        Messages.push_back(title + u": " + text);
        return 1;
    }
    bool Told(std::u16string_view part) const; // an "Information: ..." message holds it
    rz::Text Path;                             // the file "chosen"
    std::vector<rz::Text> Messages;
};

// Passes every call to the real file system and logs its name; the call numbered FailAt
// (1-based) fails instead, the way the platform fails: a write puts half its bytes, a
// close still closes, a replace leaves both files as they are.
class FaultyFiles final : public rz::OsFiles {
public:
    explicit FaultyFiles(rz::OsFiles& real) : real_(real) {}
    int64_t FailAt = 0;
    OsResult FailWith = OsResult::Failed;
    int32_t ReadPiece = 0; // above 0: a read hands out at most this many bytes, as systems may
    Names Log;

    OsResult OpenExisting(const rz::Text& p, Access a, OsHandle& h) override {
        return Fails("OpenExisting") ? (h = {}, FailWith) : real_.OpenExisting(p, a, h);
    }
    int64_t FileSize(OsHandle h) override { return Fails("FileSize") ? -1 : real_.FileSize(h); }
    int32_t Read(OsHandle h, void* buffer, int32_t size) override {
        size = ReadPiece > 0 && size > ReadPiece ? ReadPiece : size;
        return Fails("Read") ? -1 : real_.Read(h, buffer, size);
    }
    OsResult CreateNew(const rz::Text& p, OsHandle& h) override {
        return Fails("CreateNew") ? (h = {}, FailWith) : real_.CreateNew(p, h);
    }
    OsResult Write(OsHandle h, const void* data, int32_t n) override {
        return Fails("Write") ? (real_.Write(h, data, n / 2), FailWith) : real_.Write(h, data, n);
    }
    OsResult Flush(OsHandle h) override { return Fails("Flush") ? FailWith : real_.Flush(h); }
    OsResult CopyPermissions(OsHandle from, OsHandle to) override {
        return Fails("CopyPermissions") ? FailWith : real_.CopyPermissions(from, to);
    }
    OsResult Close(OsHandle& h) override {
        return Fails("Close") ? (real_.Close(h), FailWith) : real_.Close(h);
    }
    OsResult Replace(const rz::Text& from, const rz::Text& to, OsHandle& held) override {
        return Fails("Replace") ? (real_.Close(held), FailWith) : real_.Replace(from, to, held);
    }
    OsResult Remove(const rz::Text& p) override {
        return Fails("Remove") ? FailWith : real_.Remove(p);
    }
    OsResult RemoveStale(const rz::Text& p) override {
        return Fails("RemoveStale") ? FailWith : real_.RemoveStale(p);
    }
    rz::Text ResolveTarget(const rz::Text& p) override {
        return Fails("ResolveTarget") ? p : real_.ResolveTarget(p);
    }
    std::vector<rz::Text> ListNames(const rz::Text& folder, const rz::Text& prefix) override {
        return Fails("ListNames") ? std::vector<rz::Text>() : real_.ListNames(folder, prefix);
    }

private:
    bool Fails(const char* call) {
        Log.emplace_back(call);
        return static_cast<int64_t>(Log.size()) == FailAt;
    }
    rz::OsFiles& real_;
};

// One run as the window drives it: loaded, collected, sorted and listed; applied when asked.
struct Session {
    explicit Session(const fs::path& board, rz::OsFiles& os = rz::SystemFiles());
    rz::ApplyOutcome Apply(rz::OsFiles& os = rz::SystemFiles());
    rz::BoardState State;
    FakeDialogs Dialogs;
    std::vector<rz::DrillRow> Rows;
};

// A fuzz target's invariant: when it does not hold, libFuzzer keeps the input.
inline void Require(bool holds, const char* what, const rz::Text& where = {}) {
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s [%s]\n", what, rz::TextToUtf8(where).c_str());
        std::abort();
    }
}

// `copies` copies of a real board of tests/data/boards one after the other, and the
// bytes one undisturbed rewrite gives for them (the real-board tests check those).
struct Board {
    std::string Original, Expected;
};
Board RealBoard(const std::string& name, int copies = 1);

} // namespace rztest
