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

bool FakeDialogs::Told(std::u16string_view part) const {
    return std::any_of(Messages.begin(), Messages.end(), [&](const rz::Text& m) {
        return m.starts_with(u"Information: ") && m.find(part) != rz::Text::npos;
    });
}

Session::Session(const fs::path& board, rz::OsFiles& os) {
    Dialogs.Path = PathText(board);
    rz::LoadBoardFile(State, Dialogs, os);
    rz::CollectPadDrills(State);
    rz::SortDrillTokens(State);
    Rows = rz::PrepareDrillRows(State);
}

rz::ApplyOutcome Session::Apply(rz::OsFiles& os) {
    return rz::ApplyNewDrills(State, Dialogs, os);
}

Board RealBoard(const std::string& name, int copies) {
    Board board;
    const std::string one = ReadBytes(fs::path(REZURUDEV_TEST_DATA) / "boards" / name);
    for (int k = 0; k < copies; ++k) {
        board.Original += one;
    }
    const ScratchDir dir;
    WriteBytes(dir / "board.kicad_pcb", board.Original);
    if (Session(dir / "board.kicad_pcb").Apply() != rz::ApplyOutcome::Written) {
        throw std::runtime_error("cannot rewrite " + name);
    }
    board.Expected = ReadBytes(dir / "board.kicad_pcb");
    return board;
}

} // namespace rztest
