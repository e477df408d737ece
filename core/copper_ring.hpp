// The copper ring of a pad: the least distance from the hole's edge to the copper's
// edge. Only reported, never used to decide a size, so doubles are fine here.
#pragma once

#include "core/board_reader.hpp"

namespace rz {

// A hole in the pad's frame: round when both sizes are equal, otherwise a slot (a
// stadium of that width and length, along the longer axis).
struct HoleShape {
    double SizeX = 0;
    double SizeY = 0;
};

// The ring of one layer's copper around a hole at its centre (the copper's offset
// counted): negative when the hole reaches beyond the copper.
//   circle: a disc of SizeX; oval: a stadium; rect; roundrect with its corner radius;
//   trapezoid and anything else: the rect of its size (a custom pad comes as its anchor).
double CopperRing(const CopperShape& copper, const HoleShape& hole);

// The least ring over every layer of a recorded hole, for a hole of the given size.
double LeastRing(const BoardRecords& records, const HoleRecord& hole, const HoleShape& size);

} // namespace rz
