// The pieces of a plan: the sizes it may add, the window of sizes each hole may take,
// and the fewest sizes that meet every window.
#pragma once

#include "core/board_reader.hpp"
#include "core/drill_decisions.hpp"
#include "core/drill_plan.hpp"
#include "text/decimal.hpp"

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace rz {

// The sizes a plan may add: the multiples of the grid, or the fab's table if there is one.
class SizeSteps {
public:
    explicit SizeSteps(const RoundingOptions& rounding) : rounding_(rounding) {}
    std::optional<Decimal> AtOrAbove(Decimal x) const;
    std::optional<Decimal> AtOrBelow(Decimal x) const;
    // The step nearest `x` among those from `lo` to `hi` (both steps); a tie goes to the
    // larger, as `apply` settles a tie.
    Decimal NearestWithin(Decimal x, Decimal lo, Decimal hi) const;

private:
    const RoundingOptions& rounding_;
};

// A hole's sizes across and along the board's axes (equal for a round hole), as the
// decisions read them; nullopt when they are not numbers.
std::optional<std::array<Decimal, 2>> HoleSizes(std::string_view all, const HoleRecord& hole);

// The tool sizes (a slot's width) one selected hole may take: every value from Lo to Hi
// fits its reach, its ring and, for a slot, its length.
struct HoleWindow {
    std::array<Decimal, 2> Before;
    uint8_t Width = 0; // which size the tool drills: a slot's smaller one
    bool Slot = false;
    bool Open = false;                   // its own width fits (a round hole's always does)
    StayReason Why = StayReason::NoSize; // what closes it, or what cuts it short of its reach
    Decimal Lo, Hi;
    Decimal ReachLo, ReachHi; // the same by the reach alone
};

class HoleWindows {
public:
    explicit HoleWindows(const DrillOptions& options);
    HoleWindow Of(const BoardRecords& records, const HoleRecord& hole,
                  const std::array<Decimal, 2>& before) const;
    // The hole's sizes once its tool drills `width`: a slot's length follows it to the
    // grid as `apply` moves it. nullopt only when the length cannot be held.
    std::optional<std::array<Decimal, 2>> SizesWith(const HoleWindow& window, Decimal width) const;

private:
    std::optional<StayReason> Misfit(const BoardRecords& records, const HoleRecord& hole,
                                     const HoleWindow& window, Decimal width) const;
    const DrillOptions& options_;
    Decimal reach_;
};

// A window in steps for the cover: the least and greatest step it holds, and the least
// and greatest size of the holes that share it.
struct StepWindow {
    Decimal Lo, Hi;
    Decimal Least, Most;
};

// The fewest steps that put one in every window, each slid toward its holes' sizes as far
// as the windows it serves allow; ascending.
std::vector<Decimal> CoverWindows(std::vector<StepWindow> windows, const SizeSteps& steps);

void SortDistinct(std::vector<Decimal>& sizes);

// Fills in what the plan reports once every hole is planned: the sizes of the selected
// holes, the tools after, the largest change, the moves and the holes that stay.
void DescribePlan(std::span<const PlanFile> files, DrillPlan& plan);

} // namespace rz
