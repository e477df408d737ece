// Fuzz target: the line reader, its reads cut into pieces and failing part-way, gives the
// lines whole reads of the bytes that arrived give; the bytes are faithful exactly when
// well-formed UTF-8 without NUL, and then the lines are the bytes cut at line ends.
#include "core/numbered_file.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>

using namespace rzsafe;

namespace {

struct Result {
    std::vector<rz::Text> lines;
    bool failed, faithful, failedRead;
    size_t received;
};

// Reads the bytes in pieces of at most `piece` (0: as asked), the call numbered `failAt`
// (counting the open as 1; 0: none) failing.
Result ReadAll(std::string_view data, int32_t piece, int64_t failAt) {
    static const ScratchDir dir;
    WriteBytes(dir / "board", std::string(data));
    FaultyFiles files(rz::SystemFiles());
    files.ReadPiece = piece;
    files.FailAt = failAt;
    rz::NumberedFiles numbered(files);
    Require(numbered.OpenFileForReading(0, PathText(dir / "board")) != 0, "open failed");
    rz::LineStore store;
    for (size_t calls = 0; !numbered.FileAtEnd(0); ++calls) {
        Require(calls <= data.size(), "more lines than bytes");
        // As the loader reads: a varying number of lines per call.
        Require(numbered.ReadTextLines(0, store, 1 + calls % 7) > 0, "no line before the end");
    }
    const rz::FileSlot* slot = numbered.Slot(0);
    Require(slot != nullptr, "slot closed while reading");
    Result r{{},
             slot->ReadFailed,
             slot->Faithful,
             failAt >= 2 && failAt <= static_cast<int64_t>(files.Log.size()),
             static_cast<size_t>(slot->Received.Size())};
    for (size_t i = 0; i < store.size(); ++i) {
        r.lines.push_back(store[i]);
    }
    Require(numbered.CloseNumberedFile(0) == rz::OsResult::Ok ||
                failAt == static_cast<int64_t>(files.Log.size()),
            "closing a read file failed");
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    uint32_t pick = 2166136261u;
    for (size_t k = 0; k < size && k < 64; ++k) {
        pick = (pick ^ bytes[k]) * 16777619u;
    }
    pick ^= static_cast<uint32_t>(size);
    // Whole reads, single bytes, pieces that straddle a 4 KiB boundary, or any size; one
    // input in five with a failing read (or close).
    const int32_t piece =
        std::vector<int32_t>{0, 1, 4095, 1 + static_cast<int32_t>(pick % 5000)}[pick % 4];
    const int64_t reads = static_cast<int64_t>(size) / (piece ? piece : rz::kFileBufferSize) + 2;
    const int64_t failAt = pick % 5 == 4 ? 2 + (pick / 5) % reads : 0;

    const Result got = ReadAll(data, piece, failAt);
    const std::string_view arrived = data.substr(0, got.received);
    const Result whole = ReadAll(arrived, 0, 0);
    Require(got.lines == whole.lines, "the pieces the reads came in changed the lines");
    Require(got.failed == got.failedRead && !whole.failed, "read failure not remembered");
    Require((got.failed || got.received == size) && whole.received == arrived.size(),
            "byte count of the loaded content is wrong");
    const bool wellFormed = arrived.find('\0') == std::string_view::npos &&
                            rz::TextToUtf8(rz::Utf8ToText(arrived)) == arrived;
    Require(whole.faithful == wellFormed && (got.failed || got.faithful == wellFormed),
            "write-back verdict wrong");
    std::vector<rz::Text> cut;
    for (size_t at = 0; wellFormed && at < arrived.size();) {
        const size_t end = std::min(arrived.find_first_of("\r\n", at), arrived.size());
        cut.push_back(rz::Utf8ToText(arrived.substr(at, end - at)));
        at = end + (arrived.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    Require(!wellFormed || cut == whole.lines, "lines differ from the bytes cut at line ends");
    return 0;
}
