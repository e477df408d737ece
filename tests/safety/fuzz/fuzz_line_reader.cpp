// Fuzz target: the line reader, its reads cut into pieces and failing part-way, gives the
// lines whole reads of the bytes that arrived give; the bytes are faithful exactly when
// well-formed UTF-8 without NUL, and then the lines are the bytes cut at line ends, and
// written back each with the end it had they are the bytes again.
#include "core/drill_edits.hpp"
#include "core/numbered_file.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstdint>

using namespace rztest;

namespace {

struct Read {
    std::vector<rz::Text> Lines;
    std::string Kept; // the lines written back with their own ends
    bool Failed, Faithful, FailureInjected;
    size_t Received;
};

// Reads the bytes in pieces of at most `piece` (0: as asked), the call numbered `failAt`
// (counting the open as 1; 0: none) failing, a varying number of lines per call.
Read ReadAll(std::string_view data, int32_t piece, int64_t failAt) {
    static const ScratchDir dir;
    WriteBytes(dir / "board", std::string(data));
    FaultyFiles files(rz::SystemFiles());
    files.ReadPiece = piece;
    files.FailAt = failAt;
    rz::NumberedFiles numbered(files);
    Require(numbered.OpenFileForReading(0, PathText(dir / "board")) != 0, "open failed");
    rz::LineStore store;
    for (size_t calls = 0; !numbered.FileAtEnd(0); ++calls) {
        Require(calls <= data.size() && numbered.ReadTextLines(0, store, 1 + calls % 7) > 0,
                "more lines than bytes, or none before the end");
    }
    const rz::FileSlot& slot = *numbered.Slot(0);
    Read r{{}, {}, slot.ReadFailed, slot.Faithful, failAt >= 2, slot.Received.Size()};
    rz::WriteEditedLines(
        store, store.size(), {}, [&](std::string_view p) { return r.Kept.append(p), true; },
        rz::LineEnds::Keep);
    for (size_t i = 0; i < store.size(); ++i) {
        r.Lines.push_back(store[i]);
    }
    r.FailureInjected = r.FailureInjected && failAt <= static_cast<int64_t>(files.Log.size());
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
    const Read got = ReadAll(data, piece, pick % 5 == 4 ? 2 + (pick / 5) % reads : 0);
    const std::string_view arrived = data.substr(0, got.Received);
    const Read whole = ReadAll(arrived, 0, 0);
    Require(got.Lines == whole.Lines && got.Kept == whole.Kept,
            "the pieces the reads came in changed the lines or their ends");
    Require(got.Failed == got.FailureInjected && !whole.Failed, "read failure not remembered");
    Require(got.Failed || got.Received == size, "byte count of the loaded content is wrong");
    const bool wellFormed = arrived.find('\0') == std::string_view::npos &&
                            rz::TextToUtf8(rz::Utf8ToText(arrived)) == arrived;
    Require(whole.Faithful == wellFormed && (got.Failed || got.Faithful == wellFormed),
            "write-back verdict wrong");
    std::vector<rz::Text> cut;
    for (size_t at = 0; wellFormed && at < arrived.size();) {
        const size_t end = std::min(arrived.find_first_of("\r\n", at), arrived.size());
        cut.push_back(rz::Utf8ToText(arrived.substr(at, end - at)));
        at = end + (arrived.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    Require(!wellFormed || cut == whole.Lines, "lines differ from the bytes cut at line ends");
    Require(!wellFormed || whole.Kept == arrived, "written with their own ends, not the bytes");
    return 0;
}
