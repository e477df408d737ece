#include "support.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
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
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

std::vector<rz::DrillRow> LoadAndPrepare(Loaded& loaded, const fs::path& path, rz::OsFiles& os) {
    loaded.Dialogs = FakeDialogs(PathText(path));
    loaded.State = rz::BoardState();
    rz::LoadBoardFile(loaded.State, loaded.Dialogs, os);
    rz::CollectPadDrills(loaded.State);
    rz::SortDrillTokens(loaded.State);
    return rz::PrepareDrillRows(loaded.State);
}

} // namespace rztest
