#include "support.hpp"

#include "core/pipeline.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rztest {

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("rz-core-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
#ifndef _WIN32
    // A test may have taken the write permission away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
#endif
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + p.string());
    }
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + p.string());
    }
}

rz::Text PathText(const fs::path& p) {
    const std::u8string utf8 = p.u8string();
    return rz::Utf8ToText(
        std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

rz::Text FakeDialogs::ChooseOpenFile(const rz::Text& title, const rz::Text& defaultFile,
                                     const rz::Text& filter, int32_t filterPosition) {
    LastTitle = title;
    LastDefault = defaultFile;
    LastFilter = filter;
    LastPosition = filterPosition;
    return path_;
}

int32_t FakeDialogs::ShowMessage(const rz::Text& title, const rz::Text& text, uint32_t) {
    Messages.push_back({title, text});
    return 1;
}

const char* CallName(Call call) {
    switch (call) {
    case Call::OpenExisting:
        return "OpenExisting";
    case Call::FileSize:
        return "FileSize";
    case Call::Read:
        return "Read";
    case Call::CreateNew:
        return "CreateNew";
    case Call::Write:
        return "Write";
    case Call::Flush:
        return "Flush";
    case Call::CopyPermissions:
        return "CopyPermissions";
    case Call::Close:
        return "Close";
    case Call::Replace:
        return "Replace";
    case Call::Remove:
        return "Remove";
    case Call::RemoveStale:
        return "RemoveStale";
    case Call::ResolveTarget:
        return "ResolveTarget";
    case Call::ListNames:
        return "ListNames";
    }
    return "?";
}

bool FaultyFiles::Fails(Call call) {
    Log.push_back(call);
    return static_cast<int64_t>(Log.size()) == FailAt;
}

rz::OsResult FaultyFiles::OpenExisting(const rz::Text& path, Access access, rz::OsHandle& handle) {
    if (Fails(Call::OpenExisting)) {
        handle = rz::OsHandle();
        return FailWith;
    }
    return real_.OpenExisting(path, access, handle);
}

int64_t FaultyFiles::FileSize(rz::OsHandle handle) {
    return Fails(Call::FileSize) ? -1 : real_.FileSize(handle);
}

int32_t FaultyFiles::Read(rz::OsHandle handle, void* buffer, int32_t size) {
    if (ReadPiece > 0 && size > ReadPiece) {
        size = ReadPiece;
    }
    return Fails(Call::Read) ? -1 : real_.Read(handle, buffer, size);
}

rz::OsResult FaultyFiles::CreateNew(const rz::Text& path, rz::OsHandle& handle) {
    Created.push_back(path);
    if (Fails(Call::CreateNew)) {
        handle = rz::OsHandle();
        return FailWith;
    }
    return real_.CreateNew(path, handle);
}

rz::OsResult FaultyFiles::Write(rz::OsHandle handle, const void* data, int32_t size) {
    if (Fails(Call::Write)) {
        real_.Write(handle, data, size / 2);
        return FailWith;
    }
    return real_.Write(handle, data, size);
}

rz::OsResult FaultyFiles::Flush(rz::OsHandle handle) {
    return Fails(Call::Flush) ? FailWith : real_.Flush(handle);
}

rz::OsResult FaultyFiles::CopyPermissions(rz::OsHandle from, rz::OsHandle to) {
    return Fails(Call::CopyPermissions) ? FailWith : real_.CopyPermissions(from, to);
}

rz::OsResult FaultyFiles::Close(rz::OsHandle& handle) {
    const bool fail = Fails(Call::Close);
    const rz::OsResult result = real_.Close(handle);
    return fail ? FailWith : result;
}

rz::OsResult FaultyFiles::Replace(const rz::Text& temporary, const rz::Text& target,
                                  rz::OsHandle& held) {
    if (Fails(Call::Replace)) {
        real_.Close(held);
        return FailWith;
    }
    return real_.Replace(temporary, target, held);
}

rz::OsResult FaultyFiles::Remove(const rz::Text& path) {
    return Fails(Call::Remove) ? FailWith : real_.Remove(path);
}

rz::OsResult FaultyFiles::RemoveStale(const rz::Text& path) {
    return Fails(Call::RemoveStale) ? FailWith : real_.RemoveStale(path);
}

rz::Text FaultyFiles::ResolveTarget(const rz::Text& path) {
    return Fails(Call::ResolveTarget) ? path : real_.ResolveTarget(path);
}

std::vector<rz::Text> FaultyFiles::ListNames(const rz::Text& folder, const rz::Text& prefix) {
    return Fails(Call::ListNames) ? std::vector<rz::Text>() : real_.ListNames(folder, prefix);
}

void LoadAndPrepare(Loaded& loaded, const fs::path& path, rz::OsFiles& os) {
    loaded.Dialogs = FakeDialogs(PathText(path));
    loaded.State = rz::BoardState();
    rz::LoadBoardFile(loaded.State, loaded.Dialogs, os);
    rz::CollectPadDrills(loaded.State);
    rz::SortDrillTokens(loaded.State);
    rz::PrepareDrillRows(loaded.State);
}

std::vector<rz::Text> LinesOf(const rz::BoardState& state) {
    std::vector<rz::Text> lines;
    for (size_t i = 0; i < state.BoardLines.size(); ++i) {
        lines.emplace_back(state.BoardLines[i]);
    }
    return lines;
}

} // namespace rztest
