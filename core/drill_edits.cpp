#include "core/drill_edits.hpp"

#include <algorithm>

namespace rz {

bool EditsFit(const LineStore& lines, size_t count, std::span<const ByteEdit> edits) {
    count = std::min(count, lines.size());
    size_t line = 0;
    size_t free = 0; // the first position a further edit may touch
    for (const ByteEdit& edit : edits) {
        if (edit.At < free || edit.Replacement.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
        while (line < count && lines.EndOf(line) < edit.At) {
            ++line;
        }
        if (line == count || edit.At + edit.Length > lines.EndOf(line)) {
            return false;
        }
        free = edit.At + edit.Length;
    }
    return true;
}

bool WriteEditedLines(const LineStore& lines, size_t count, std::span<const ByteEdit> edits,
                      const PieceSink& sink) {
    count = std::min(count, lines.size());
    if (!EditsFit(lines, count, edits)) {
        return false;
    }
    constexpr size_t kPiece = size_t{1} << 18;
    const std::string& all = lines.All();
    std::string piece;
    piece.reserve(2 * kPiece);
    bool refused = false;
    // Gathered into pieces; a run longer than a piece (a board written as one line) goes
    // to the sink as it stands, not copied.
    const auto put = [&](std::string_view bytes) {
        if (refused) {
            return;
        }
        if (bytes.size() >= kPiece) {
            refused = (!piece.empty() && !sink(piece)) || !sink(bytes);
            piece.clear();
            return;
        }
        piece.append(bytes);
        if (piece.size() >= kPiece) {
            refused = !sink(piece);
            piece.clear();
        }
    };
    const std::string_view bytes = all;
    size_t next = 0; // the next edit
    for (size_t i = 0; i < count && !refused; ++i) {
        size_t at = lines.BeginOf(i);
        const size_t end = lines.EndOf(i);
        for (; next < edits.size() && edits[next].At < end; ++next) {
            put(bytes.substr(at, edits[next].At - at));
            put(edits[next].Replacement);
            at = edits[next].At + edits[next].Length;
        }
        put(bytes.substr(at, end - at));
        put("\r\n");
    }
    return !refused && (piece.empty() || sink(piece));
}

} // namespace rz
