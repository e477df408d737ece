// The drill plan against an exhaustive search on small random projects, and on a
// hand-made board for what it reports.
#include "core/board_reader.hpp"
#include "core/drill_plan.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

using rz::Decimal;
constexpr int64_t kMilli = 1000000000; // 0.001 mm in units

Decimal Mm(int64_t milli) {
    return Decimal::FromUnits(milli * kMilli);
}

// A hole as generated, with what the search needs to judge a size for it.
struct Made {
    int64_t Size = 0, Length = 0, Copper = 0; // in 0.001 mm; Length 0 for a round hole
    bool Plated = true;
    size_t File = 0, Hole = 0;
};

// Whether the hole may take the width `c`, judged from the numbers alone: direction and
// reach, the slot's length as `apply` moves it, and a centred round pad's ring.
bool Allowed(const Made& h, int64_t c, const rz::DrillOptions& o) {
    const int64_t reach = o.MaxChange->Units() / kMilli;
    const rz::RoundMode mode = o.Rounding.Mode;
    const auto length = rz::SlotLengthAfter(Mm(h.Length), Mm(c), o.Rounding);
    // The ring: not thinner than before, or at least 0.1 mm (0.2 mm across the pad).
    return c > 0 && std::abs(c - h.Size) <= reach && (mode != rz::RoundMode::Up || c >= h.Size) &&
           (mode != rz::RoundMode::Down || c <= h.Size) &&
           (h.Length == 0 || std::abs(length->Units() / kMilli - h.Length) <= reach) &&
           (!h.Plated || c <= h.Size || h.Copper - c >= 200);
}

// The fewest sizes that give each set one of its sizes: every choice tried, depth first.
bool Hits(std::vector<std::vector<int64_t>>& sets, std::vector<int64_t>& chosen, size_t left) {
    const auto open = std::find_if(sets.begin(), sets.end(), [&](const auto& set) {
        return std::find_first_of(set.begin(), set.end(), chosen.begin(), chosen.end()) ==
               set.end();
    });
    if (open == sets.end() || left == 0) {
        return open == sets.end();
    }
    for (const int64_t c : *open) {
        chosen.push_back(c);
        if (Hits(sets, chosen, left - 1)) {
            return true;
        }
        chosen.pop_back();
    }
    return false;
}

// A random project of two files: pads of a few dozen sizes (some plated with tight rings,
// some slots), a few kept by pattern and a few vias, whose sizes are free.
struct Project {
    std::string Text[2] = {"(kicad_pcb (version 20221018)\n", "(kicad_pcb (version 3)\n"};
    rz::BoardRecords Records[2];
    rz::PlanFile Files[2];
    std::vector<Made> Holes; // those the plan may move
    std::vector<int64_t> Free;
};

void Generate(Project& p, std::mt19937& random, bool withFree) {
    const auto pick = [&](int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(random);
    };
    std::vector<int64_t> pool(24);
    std::generate(pool.begin(), pool.end(), [&] { return pick(500, 900); });
    size_t count[2] = {0, 0};
    for (int k = 0; k < 36; ++k) {
        Made h;
        h.Size = pool[static_cast<size_t>(pick(0, 23))];
        h.Plated = pick(0, 9) != 0;
        h.File = static_cast<size_t>(k % 2);
        h.Hole = count[h.File]++;
        h.Length = pick(0, 7) == 0 ? h.Size + pick(300, 800) : 0;
        h.Copper = h.Length > 0 ? 3000 : h.Plated ? h.Size + pick(150, 450) : h.Size;
        const bool kept = withFree && pick(0, 9) == 0;
        const bool via = withFree && !kept && k % 9 == 0;
        const std::string s = Mm(h.Size).ToText();
        const std::string c = Mm(h.Copper).ToText();
        p.Text[h.File] += std::string(" (footprint \"F\" (fp_text reference \"") +
                          (kept ? "K" : "R") + std::to_string(k) + "\")\n  (pad \"1\" " +
                          (h.Plated ? "thru_hole" : "np_thru_hole") + " circle (size " + c + " " +
                          c + ") (drill " +
                          (h.Length > 0 ? "oval " + s + " " + Mm(h.Length).ToText() : s) + ")))\n" +
                          (via ? " (via (size 1.5) (drill " + s + "))\n" : "");
        count[h.File] += via ? 1 : 0;
        if (kept || via) {
            p.Free.push_back(h.Size);
        }
        if (!kept) {
            p.Holes.push_back(h);
        }
    }
    for (size_t f = 0; f < 2; ++f) {
        p.Text[f] += ")\n";
        p.Records[f] = rz::ReadBoard(p.Text[f]);
        p.Files[f] = {p.Text[f], &p.Records[f]};
    }
}

TEST(Plan, AgainstExhaustiveSearchOnRandomProjects) {
    std::mt19937 random(13);
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        rz::DrillOptions o = rz::PlanDefaults();
        o.Rounding.Mode = std::array{rz::RoundMode::Up, rz::RoundMode::Down,
                                     rz::RoundMode::Nearest}[static_cast<size_t>(trial % 3)];
        o.Rounding.Grid = Mm(std::array{10, 20, 50}[random() % 3]);
        o.MaxChange = Mm(std::array{50, 100, 150}[random() % 3]);
        for (int64_t t = 400; trial % 4 == 3 && t <= 1200; t += 10) {
            if (random() % 3 == 0) {
                o.Rounding.Table.push_back(Mm(t));
            }
        }
        o.Keep = {"K*"};
        Project project;
        Generate(project, random, trial % 5 != 0);
        const rz::DrillPlan plan = rz::PlanDrills(project.Files, o);

        // The search's view: the sizes on the grid or in the table, and the free ones; a
        // hole with none of them stays, and its size is then needed anyway.
        std::vector<int64_t> steps;
        for (int64_t c = 1; c <= 1200; ++c) {
            if (o.Rounding.Table.empty()
                    ? c * kMilli % o.Rounding.Grid.Units() == 0
                    : std::binary_search(o.Rounding.Table.begin(), o.Rounding.Table.end(), Mm(c))) {
                steps.push_back(c);
            }
        }
        const auto options = [&](const Made& h, const std::vector<int64_t>& sizes) {
            std::vector<int64_t> out;
            std::copy_if(sizes.begin(), sizes.end(), std::back_inserter(out),
                         [&](int64_t c) { return Allowed(h, c, o); });
            return out;
        };
        const auto stays = [&](const Made& h) {
            return options(h, steps).empty() && options(h, project.Free).empty();
        };
        std::vector<int64_t> sizes = project.Free;
        std::vector<std::vector<int64_t>> needs;
        for (const Made& h : project.Holes) {
            sizes.insert(sizes.end(), stays(h) ? 1 : 0, h.Size);
        }
        for (const Made& h : project.Holes) {
            needs.insert(needs.end(), !stays(h) && options(h, sizes).empty(), options(h, steps));
        }
        std::vector<int64_t> chosen;
        size_t fewest = 0;
        while (!Hits(needs, chosen, fewest)) {
            ++fewest;
        }
        ASSERT_EQ(plan.Chosen.size(), fewest);

        // Each hole in its window, on the nearest size it may take (a tie to the larger).
        for (const Decimal c : plan.Chosen) {
            sizes.push_back(c.Units() / kMilli);
        }
        for (const Made& h : project.Holes) {
            const rz::PlannedHole& p = plan.Holes[h.File][h.Hole];
            ASSERT_EQ(p.Before[0], Mm(h.Size));
            const std::vector<int64_t> may = stays(h) ? std::vector{h.Size} : options(h, sizes);
            ASSERT_FALSE(may.empty());
            EXPECT_EQ(p.After[0], Mm(*std::min_element(may.begin(), may.end(), [&](auto a, auto b) {
                          return std::pair(std::abs(a - h.Size), -a) <
                                 std::pair(std::abs(b - h.Size), -b);
                      })));
            EXPECT_EQ(p.After[1], h.Length == 0
                                      ? p.After[0]
                                      : rz::SlotLengthAfter(Mm(h.Length), p.After[0], o.Rounding));
            EXPECT_EQ(p.Fate == rz::HoleFate::Stays, stays(h) && p.After[1] == p.Before[1]);
        }
        // Rounding up, no chosen size could go one step lower and keep all of its holes.
        for (const Decimal c : plan.Chosen) {
            const auto lower = std::lower_bound(steps.begin(), steps.end(), c.Units() / kMilli);
            bool held = o.Rounding.Mode == rz::RoundMode::Up && lower != steps.begin();
            for (const Made& h : project.Holes) {
                held = held &&
                       (plan.Holes[h.File][h.Hole].After[0] != c || Allowed(h, *(lower - 1), o));
            }
            EXPECT_FALSE(held) << c.ToText();
        }
        // `apply` with the plan's table gives each hole its planned sizes and thins no ring.
        const rz::PlanCheck check = rz::CheckPlanByApply(project.Files, o, plan);
        if (o.Rounding.Mode != rz::RoundMode::Nearest) {
            EXPECT_TRUE(check.Misses.empty() && check.Warnings.empty());
            EXPECT_EQ(check.ToolsAfter, plan.ToolsAfter);
        }
    }
}

// A connector with a tight pad and a slot, two resistors, a via: what a plan reports.
constexpr std::string_view kBoard =
    "(kicad_pcb (version 20221018)\n"
    " (footprint \"Conn:J\" (fp_text reference \"J2\")\n"
    "  (pad \"1\" thru_hole circle (size 1.7 1.7) (drill 1.016))\n"
    "  (pad \"2\" thru_hole oval (size 2.6 1.7) (drill oval 1.555 0.95))\n"
    "  (pad \"3\" thru_hole circle (size 0.455 0.455) (drill 0.254)))\n"
    " (footprint \"R:R\" (fp_text reference \"R10\")\n"
    "  (pad \"1\" thru_hole circle (size 1.4 1.4) (drill 0.84))\n"
    "  (pad \"2\" thru_hole circle (size 2.4 2.4) (drill 1.2)))\n"
    " (footprint \"R:R\" (fp_text reference \"R2\")\n"
    "  (pad \"1\" thru_hole circle (size 1.4 1.4) (drill 0.84))\n"
    "  (pad \"2\" thru_hole circle (size 1.7 1.7) (drill 1.0)))\n"
    " (via (size 0.6) (drill 0.3))\n)\n";

TEST(Plan, WhatItReports) {
    rz::DrillOptions o = rz::PlanDefaults();
    std::string error;
    o.Rounding.Table = rz::ParseDrillList("0.3,0.85,1.05,1.5", error).value();
    const rz::BoardRecords records = rz::ReadBoard(kBoard);
    const rz::PlanFile files[] = {{kBoard, &records}};
    const rz::DrillPlan plan = rz::PlanDrills(files, o);
    std::string out;
    for (const rz::PlanMove& m : plan.Moves) {
        out += m.Before + ">" + m.After + " " + std::to_string(m.Holes);
        for (const std::string& r : m.References) {
            out += " " + r;
        }
        out += "; ";
    }
    for (const rz::PlanStay& s : plan.Stays) {
        out += s.Reference + ":" + s.Pad + " " + s.Size + " " +
               std::string(rz::StayReasonName(s.Why)) + "; ";
    }
    // The ring keeps 0.254 from 0.3; 1.2 has no table size within reach.
    EXPECT_EQ(out + plan.LargestChange.ToText(),
              "0.84>0.85 2 R2 R10; oval 1.555 0.95>oval 1.56 1.05 1 J2; 1.0>1.05 1 R2; "
              "1.016>1.05 1 J2; J2:3 0.254 ring; R10:2 1.2 no_size; 0.1");
}

} // namespace
