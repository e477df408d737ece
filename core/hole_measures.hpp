// What a report measures over the decided holes: the drill tools the fab needs, and
// the copper rings the change thins.
#pragma once

#include "core/board_reader.hpp"
#include "core/copper_ring.hpp"
#include "core/drill_decisions.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

namespace rz {

// The distinct hole sizes of pads and vias together, ascending, before the change or
// after it; a slot counts as its width. Sizes that are not numbers are left out.
std::vector<Decimal> HoleTools(std::string_view all, const BoardRecords& records,
                               const DrillReport& report, bool after);

enum class RingVerdict : uint8_t {
    Fine,         // the ring is not thinned, or stays at or above the minimum
    BelowMinimum, // a plated pad's ring falls below the minimum
    FillsPad,     // the new hole is as large as its pad or larger
};
struct RingChange {
    RingVerdict Verdict = RingVerdict::Fine;
    double Before = 0; // the least ring before and after, mm
    double After = 0;
};

// What a change of a hole's size does to its copper ring. Holes without copper are Fine.
RingChange JudgeRing(const BoardRecords& records, const HoleRecord& hole, const HoleShape& before,
                     const HoleShape& after, Decimal minRing);

// The warnings of the changed holes: a plated pad whose ring falls below `minRing`
// through the change; a new hole that fills its pad or via (always); vias summed up per
// drill token and kind.
std::vector<DrillWarning> HoleWarnings(std::string_view all, const BoardRecords& records,
                                       const DrillReport& report, Decimal minRing);

} // namespace rz
