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
    piece.reserve(kPiece + 4096);
    size_t next = 0; // the next edit
    for (size_t i = 0; i < count; ++i) {
        size_t at = lines.BeginOf(i);
        const size_t end = lines.EndOf(i);
        for (; next < edits.size() && edits[next].At < end; ++next) {
            piece.append(all, at, edits[next].At - at);
            piece += edits[next].Replacement;
            at = edits[next].At + edits[next].Length;
        }
        piece.append(all, at, end - at);
        piece += "\r\n";
        if (piece.size() >= kPiece) {
            if (!sink(piece)) {
                return false;
            }
            piece.clear();
        }
    }
    return piece.empty() || sink(piece);
}

} // namespace rz
