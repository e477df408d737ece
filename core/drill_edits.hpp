// Writing the loaded lines back with byte edits carried out.
#pragma once

#include "core/line_store.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace rz {

// `Length` bytes at `At` in LineStore::All() replaced by `Replacement`.
struct ByteEdit {
    size_t At = 0;
    size_t Length = 0;
    std::string Replacement;
};

// Whether the edits are ascending and apart, each inside one of lines 0..count-1, and
// none brings a line end in: anything else would move or merge the user's lines.
bool EditsFit(const LineStore& lines, size_t count, std::span<const ByteEdit> edits);

// Receives the written bytes piece by piece; false stops the writing.
using PieceSink = std::function<bool(std::string_view piece)>;

// What follows each written line: CR LF, as the window always wrote; or the end the line
// had in the file, so that nothing but the edited numbers differs from it.
enum class LineEnds : uint8_t { CrLf, Keep };

// Writes lines 0..count-1, each followed by its line end, with the edits carried out,
// through `sink` in pieces of about 256 KiB. Gives false, before any piece, when the edits
// do not fit, and false as soon as the sink refuses a piece.
bool WriteEditedLines(const LineStore& lines, size_t count, std::span<const ByteEdit> edits,
                      const PieceSink& sink, LineEnds ends = LineEnds::CrLf);

} // namespace rz
