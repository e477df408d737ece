// The fewest drill sizes a project's pad holes can move to. Each selected pad hole may
// take any size in its window: in the direction and reach the user allows, on the grid
// or in the fab's table, never thinning its copper ring below the minimum. Sizes the
// project needs anyway (vias, holes left alone) cost nothing; of the rest the fewest are
// chosen that give every hole one, and each hole then takes the nearest size it may.
#pragma once

#include "core/board_reader.hpp"
#include "core/drill_decisions.hpp"
#include "text/decimal.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

// A plan's defaults: rounding up, on a 0.01 mm grid, by at most 0.1 mm, rings of at
// least 0.1 mm. The selection options mean what they mean for `apply`; MaxChange is the
// reach of a hole's window (0.1 mm when unset).
DrillOptions PlanDefaults();

// One loaded file of the project: its bytes and what the reader found in them. Both
// must outlive the planning.
struct PlanFile {
    std::string_view All;
    const BoardRecords* Records = nullptr;
};

enum class StayReason : uint8_t {
    NoSize,     // no grid or table size, nor a size the project needs anyway, within reach
    Ring,       // every such size would thin its copper ring below the minimum
    SlotLength, // an oval hole's length cannot go to the grid within reach and ring
};
// "no_size", "ring", "slot_length"
std::string_view StayReasonName(StayReason reason);

enum class HoleFate : uint8_t {
    Left,    // not selected, a via, or not a hole the rewrite touches: as it is
    Stays,   // selected, but its window holds no size: as it is
    Planned, // takes the plan's sizes (possibly its own)
};

struct PlannedHole {
    // Across and along the board's axes; a round hole's two are equal. Zero when the
    // hole's sizes are not numbers.
    Decimal Before[2];
    Decimal After[2];
    bool Numbers = false;
    HoleFate Fate = HoleFate::Left;
    StayReason Why = StayReason::NoSize; // when it Stays
};

// Holes of one size that move to one new size.
struct PlanMove {
    std::string Before; // "0.762", "oval 0.6 1.25"
    std::string After;
    int32_t Holes = 0;
    std::vector<std::string> References; // in natural order, each once
};

struct PlanStay {
    size_t File = 0;
    std::string Reference; // empty when its footprint names none
    std::string Pad;
    std::string Size; // as in PlanMove::Before
    StayReason Why = StayReason::NoSize;
};

struct DrillPlan {
    // The sizes chosen besides those the project needs anyway, ascending: as few as can be.
    std::vector<Decimal> Chosen;
    // The tool size of every selected hole after the plan (a slot's width), ascending:
    // the table that `apply` takes to carry the plan out.
    std::vector<Decimal> Sizes;
    std::vector<Decimal> ToolsBefore; // the project's drill tools, pads and vias, counted
    std::vector<Decimal> ToolsAfter;  // as the decisions count them
    Decimal LargestChange;            // of any size of any hole
    std::vector<PlanMove> Moves;      // by tool size before, then sizes before and after
    std::vector<PlanStay> Stays;      // by file, then in file order
    std::vector<std::vector<PlannedHole>> Holes; // per file, parallel to its records' holes
};

// Plans the files together: one set of sizes for all of them.
DrillPlan PlanDrills(std::span<const PlanFile> files, const DrillOptions& options);

// The plan's sizes as a drill table that ParseDrillFile reads: a comment, then one size
// per line. Holds no size when no hole is selected, which ParseDrillFile refuses.
std::string PlanTableText(const DrillPlan& plan);

// The options under which `apply` with the plan's table gives the holes the plan's sizes:
// the plan's own, with the table and the reach as --max-change. Rounding up or down, each
// hole gets its planned sizes, but for a slot the ring keeps in place: `apply` still takes
// its length to the grid. Rounding to the nearest, `apply` also leaves a hole beyond the
// table's ends alone, and takes the nearer size even where the ring forbids it.
// CheckPlanByApply names the holes it would not give the plan's sizes.
DrillOptions ApplyOptionsOf(const DrillOptions& planOptions, const DrillPlan& plan);

// What `apply` with ApplyOptionsOf would do to each file, against the plan.
struct PlanCheck {
    std::vector<std::pair<size_t, size_t>> Misses; // (file, hole) given other sizes
    std::vector<DrillWarning> Warnings;            // the ring warnings it would give
    std::vector<Decimal> ToolsAfter;
};
PlanCheck CheckPlanByApply(std::span<const PlanFile> files, const DrillOptions& planOptions,
                           const DrillPlan& plan);

} // namespace rz
