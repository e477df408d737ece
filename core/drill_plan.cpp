// Planning in named steps: select the holes and the sizes that are free, close the
// windows that hold no size, choose the fewest sizes for the rest, then settle each hole
// on the nearest size it may take.
#include "core/drill_plan.hpp"

#include "core/plan_windows.hpp"

#include <algorithm>

namespace rz {

namespace {

bool AnyWithin(const std::vector<Decimal>& sorted, Decimal lo, Decimal hi) {
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), lo);
    return at != sorted.end() && *at <= hi;
}

// The holes a plan may move: pads the user's selection leaves to it, whose sizes the
// rewrite can replace. The decisions judge that, under a rule that keeps none back.
std::vector<HoleDecision> Selection(const PlanFile& file, const DrillOptions& options,
                                    std::vector<Decimal>& toolsBefore) {
    DrillOptions select = options;
    select.Rounding = {RoundMode::Up, options.Rounding.Grid, {}};
    select.MaxChange.reset();
    DrillReport report = DecideDrills(file.All, *file.Records, select);
    toolsBefore.insert(toolsBefore.end(), report.ToolsBefore.begin(), report.ToolsBefore.end());
    return std::move(report.Holes);
}

bool Selected(const HoleRecord& hole, const HoleDecision& decision) {
    return !hole.Via && decision.Kept == KeptReason::None;
}

struct Pending {
    size_t File = 0;
    size_t Hole = 0;
    HoleWindow Window;
    bool Closed = false; // no step and no free size in its window
};

class Planner {
public:
    Planner(std::span<const PlanFile> files, const DrillOptions& options)
        : files_(files), options_(options), steps_(options_.Rounding), windows_(options_) {}

    DrillPlan Run() {
        Select();
        CloseEmptyWindows();
        plan_.Chosen = CoverWindows(OpenWindows(), steps_);
        Settle();
        SortDistinct(plan_.ToolsBefore);
        DescribePlan(files_, plan_);
        return std::move(plan_);
    }

private:
    PlannedHole& Of(const Pending& p) { return plan_.Holes[p.File][p.Hole]; }
    static Decimal Own(const HoleWindow& w) { return w.Before[w.Width]; }

    // Every hole's sizes; the windows of the selected ones; the sizes of the rest are free.
    void Select() {
        plan_.Holes.resize(files_.size());
        for (size_t f = 0; f < files_.size(); ++f) {
            const PlanFile& file = files_[f];
            const std::vector<HoleDecision> decisions =
                Selection(file, options_, plan_.ToolsBefore);
            std::vector<PlannedHole>& holes = plan_.Holes[f];
            holes.resize(file.Records->Holes.size());
            for (size_t i = 0; i < holes.size(); ++i) {
                const HoleRecord& hole = file.Records->Holes[i];
                const std::optional<std::array<Decimal, 2>> sizes = HoleSizes(file.All, hole);
                if (!sizes) {
                    continue;
                }
                PlannedHole& planned = holes[i];
                planned.Numbers = true;
                std::copy(sizes->begin(), sizes->end(), planned.Before);
                std::copy(sizes->begin(), sizes->end(), planned.After);
                const Decimal tool = std::min((*sizes)[0], (*sizes)[1]);
                if (!Selected(hole, decisions[i]) || !tool.IsPositive()) {
                    if (tool.IsPositive()) {
                        free_.push_back(tool);
                    }
                    continue;
                }
                HoleWindow window = windows_.Of(*file.Records, hole, *sizes);
                if (!window.Open) {
                    planned.Fate = HoleFate::Stays;
                    planned.Why = window.Why;
                    free_.push_back(Own(window));
                    continue;
                }
                pending_.push_back({f, i, std::move(window)});
            }
        }
        SortDistinct(free_);
    }

    // A hole whose window holds neither a step nor a free size keeps its tool; that size is
    // then one the project needs anyway, free for the other holes.
    void CloseEmptyWindows() {
        std::vector<Decimal> kept;
        for (Pending& p : pending_) {
            const HoleWindow& w = p.Window;
            const std::optional<Decimal> step = steps_.AtOrAbove(w.Lo);
            if ((step && *step <= w.Hi) || AnyWithin(free_, w.Lo, w.Hi)) {
                continue;
            }
            p.Closed = true;
            kept.push_back(Own(w));
            const std::optional<Decimal> inReach = steps_.AtOrAbove(w.ReachLo);
            const bool reachable =
                (inReach && *inReach <= w.ReachHi) || AnyWithin(free_, w.ReachLo, w.ReachHi);
            PlannedHole& planned = Of(p);
            planned.Why = reachable ? w.Why : StayReason::NoSize;
            // A slot's length still goes to the grid, as `apply` would take it there.
            const auto after = windows_.SizesWith(w, Own(w));
            if (after && ((*after)[0] != planned.Before[0] || (*after)[1] != planned.Before[1])) {
                std::copy(after->begin(), after->end(), planned.After);
                planned.Fate = HoleFate::Planned;
            } else {
                planned.Fate = HoleFate::Stays;
            }
        }
        free_.insert(free_.end(), kept.begin(), kept.end());
        SortDistinct(free_);
    }

    // The windows that need a new size: those that hold no free one.
    std::vector<StepWindow> OpenWindows() const {
        std::vector<StepWindow> windows;
        for (const Pending& p : pending_) {
            const HoleWindow& w = p.Window;
            if (!p.Closed && !AnyWithin(free_, w.Lo, w.Hi)) {
                windows.push_back({steps_.AtOrAbove(w.Lo).value(), steps_.AtOrBelow(w.Hi).value(),
                                   Own(w), Own(w)});
            }
        }
        return windows;
    }

    // Each hole to the nearest chosen or free size in its window; a tie goes to the larger,
    // as `apply` settles a tie.
    void Settle() {
        std::vector<Decimal> sizes = free_;
        sizes.insert(sizes.end(), plan_.Chosen.begin(), plan_.Chosen.end());
        SortDistinct(sizes);
        for (const Pending& p : pending_) {
            if (p.Closed) {
                continue;
            }
            const HoleWindow& w = p.Window;
            const Decimal own = Own(w);
            const auto above = std::lower_bound(sizes.begin(), sizes.end(), own);
            std::optional<Decimal> best;
            if (above != sizes.end() && *above <= w.Hi) {
                best = *above;
            }
            if (above != sizes.begin() && *(above - 1) >= w.Lo &&
                (!best || own.Minus(*(above - 1)).value() < best->Minus(own).value())) {
                best = *(above - 1);
            }
            const auto after = best ? windows_.SizesWith(w, *best) : std::nullopt;
            PlannedHole& planned = Of(p);
            if (after) {
                std::copy(after->begin(), after->end(), planned.After);
                planned.Fate = HoleFate::Planned;
            } else {
                planned.Fate = HoleFate::Stays; // not reached: every open window holds a size
            }
        }
    }

    std::span<const PlanFile> files_;
    const DrillOptions& options_;
    SizeSteps steps_;
    HoleWindows windows_;
    std::vector<Decimal> free_; // ascending
    std::vector<Pending> pending_;
    DrillPlan plan_;
};

} // namespace

DrillOptions PlanDefaults() {
    DrillOptions options;
    options.Rounding = {RoundMode::Up, Decimal::FromUnits(10000000000), {}}; // 0.01 mm
    options.MaxChange = Decimal::FromUnits(100000000000);                    // 0.1 mm
    return options;
}

DrillPlan PlanDrills(std::span<const PlanFile> files, const DrillOptions& options) {
    return Planner(files, options).Run();
}

} // namespace rz
