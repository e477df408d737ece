// What a plan tells the user, the table it leaves for `apply`, and the check that `apply`
// with that table carries the plan out.
#include "core/drill_plan.hpp"
#include "core/plan_windows.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace rz {

namespace {

bool IsSlot(const HoleRecord& hole) {
    return hole.Oval && hole.SizeCount == 2;
}

std::string SizeText(const HoleRecord& hole, const Decimal (&sizes)[2]) {
    return IsSlot(hole) ? "oval " + sizes[0].ToText() + " " + sizes[1].ToText() : sizes[0].ToText();
}

std::string ReferenceOf(const PlanFile& file, const HoleRecord& hole) {
    return hole.Footprint < 0
               ? std::string()
               : AtomText(file.All,
                          file.Records->Footprints[static_cast<size_t>(hole.Footprint)].Reference);
}

Decimal LargerChange(Decimal largest, const PlannedHole& p) {
    for (size_t k = 0; k < 2; ++k) {
        largest = std::max(largest, p.After[k].Minus(p.Before[k]).value_or(Decimal()).Abs());
    }
    return largest;
}

// By the tool size before, so that a slot sorts by its width.
using MoveKey = std::tuple<Decimal, Decimal, Decimal, Decimal, Decimal, bool>;

struct MoveGroup {
    PlanMove Move;
    std::set<std::pair<size_t, int32_t>> Footprints; // (file, footprint)
};

void AddMove(std::map<MoveKey, MoveGroup>& moves, size_t f, const PlanFile& file,
             const HoleRecord& hole, const PlannedHole& p) {
    MoveGroup& group = moves[{std::min(p.Before[0], p.Before[1]), p.Before[0], p.Before[1],
                              p.After[0], p.After[1], IsSlot(hole)}];
    if (group.Move.Holes++ == 0) {
        group.Move.Before = SizeText(hole, p.Before);
        group.Move.After = SizeText(hole, p.After);
    }
    if (hole.Footprint >= 0 && group.Footprints.emplace(f, hole.Footprint).second) {
        std::string reference = ReferenceOf(file, hole);
        if (!reference.empty()) {
            group.Move.References.push_back(std::move(reference));
        }
    }
}

} // namespace

void DescribePlan(std::span<const PlanFile> files, DrillPlan& plan) {
    std::map<MoveKey, MoveGroup> moves;
    for (size_t f = 0; f < files.size(); ++f) {
        const PlanFile& file = files[f];
        for (size_t i = 0; i < plan.Holes[f].size(); ++i) {
            const PlannedHole& p = plan.Holes[f][i];
            const HoleRecord& hole = file.Records->Holes[i];
            if (!p.Numbers) {
                continue;
            }
            const Decimal tool = std::min(p.After[0], p.After[1]);
            plan.ToolsAfter.push_back(tool);
            if (p.Fate == HoleFate::Left) {
                continue;
            }
            plan.Sizes.push_back(tool);
            if (p.Fate == HoleFate::Stays) {
                plan.Stays.push_back({f, ReferenceOf(file, hole), AtomText(file.All, hole.Number),
                                      SizeText(hole, p.Before), p.Why});
            } else if (p.After[0] != p.Before[0] || p.After[1] != p.Before[1]) {
                plan.LargestChange = LargerChange(plan.LargestChange, p);
                AddMove(moves, f, file, hole, p);
            }
        }
    }
    SortDistinct(plan.ToolsAfter);
    SortDistinct(plan.Sizes);
    for (auto& [key, group] : moves) {
        std::vector<std::string>& names = group.Move.References;
        std::sort(names.begin(), names.end(), NaturalLess);
        names.erase(std::unique(names.begin(), names.end()), names.end());
        plan.Moves.push_back(std::move(group.Move));
    }
}

std::string_view StayReasonName(StayReason reason) {
    static constexpr std::string_view kNames[] = {"no_size", "ring", "slot_length"};
    return kNames[static_cast<size_t>(reason)];
}

std::string PlanTableText(const DrillPlan& plan) {
    std::string text = "# Bohrertabelle von rezurudev-cli plan, Durchmesser in mm\n";
    for (const Decimal size : plan.Sizes) {
        text += size.ToText() + "\n";
    }
    return text;
}

DrillOptions ApplyOptionsOf(const DrillOptions& planOptions, const DrillPlan& plan) {
    DrillOptions options = planOptions;
    options.Rounding.Table = plan.Sizes;
    options.MaxChange = planOptions.MaxChange.value_or(PlanDefaults().MaxChange.value());
    return options;
}

PlanCheck CheckPlanByApply(std::span<const PlanFile> files, const DrillOptions& planOptions,
                           const DrillPlan& plan) {
    PlanCheck check;
    const DrillOptions options = ApplyOptionsOf(planOptions, plan);
    for (size_t f = 0; f < files.size(); ++f) {
        const PlanFile& file = files[f];
        DrillReport report = DecideDrills(file.All, *file.Records, options);
        for (size_t i = 0; i < file.Records->Holes.size(); ++i) {
            const PlannedHole& p = plan.Holes[f][i];
            const HoleDecision& decision = report.Holes[i];
            if (!p.Numbers) {
                continue;
            }
            Decimal applied[2] = {p.Before[0], p.Before[1]};
            if (decision.Changes) {
                const DrillToken& token = report.Tokens[static_cast<size_t>(decision.Token)];
                for (size_t k = 0; k < 2; ++k) {
                    const size_t at = std::min(k, token.NewSizes.size() - 1);
                    applied[k] = Decimal::Parse(token.NewSizes[at]).value_or(Decimal());
                }
            }
            if (applied[0] != p.After[0] || applied[1] != p.After[1]) {
                check.Misses.emplace_back(f, i);
            }
        }
        check.ToolsAfter.insert(check.ToolsAfter.end(), report.ToolsAfter.begin(),
                                report.ToolsAfter.end());
        std::move(report.Warnings.begin(), report.Warnings.end(),
                  std::back_inserter(check.Warnings));
    }
    SortDistinct(check.ToolsAfter);
    return check;
}

} // namespace rz
