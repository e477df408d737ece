// Scales a real board up to any size by repeating its footprints.
#pragma once

#include <cstdint>
#include <string>

namespace rzbench {

// What is repeated: the footprint blocks, or every list at the board's first level from
// the first footprint on (tracks, vias and zones too).
enum class Repeat { Footprints, Everything };

// Reads the board at `source` and writes to `target` a board of about `bytes` bytes:
// the source's head, its blocks repeated in order until the size is reached, and the
// source's tail. The blocks are copied byte for byte, so the result has the source's
// line ends, drill tokens and vias, only more of them; with `oneLine` every line end is
// a blank instead, which makes the same board one line long. Gives false (with `why`)
// when the source cannot be read, holds no footprint, or the target cannot be written.
bool GenerateBoard(const std::string& source, const std::string& target, uint64_t bytes,
                   std::string& why, Repeat repeat = Repeat::Footprints, bool oneLine = false);

} // namespace rzbench
