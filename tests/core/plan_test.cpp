// The drill plan against an exhaustive search on small random projects, on a hand-made
// board for what it reports, and on the real boards, where `apply` with the saved table
// must give every hole the plan's sizes.
#include "core/board_reader.hpp"
#include "core/drill_plan.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
    if (c <= 0 || std::abs(c - h.Size) > reach || (mode == rz::RoundMode::Up && c < h.Size) ||
        (mode == rz::RoundMode::Down && c > h.Size)) {
        return false;
    }
    if (h.Length > 0) {
        const auto length = rz::SlotLengthAfter(Mm(h.Length), Mm(c), o.Rounding);
        return length && std::abs(length->Units() / kMilli - h.Length) <= reach;
    }
    // Not thinner than before, or at least 0.1 mm of ring (0.2 mm across the pad).
    return !h.Plated || c <= h.Size || h.Copper - c >= 200;
}

// The fewest sizes that give each set one of its sizes: every choice tried, depth first.
bool Hits(std::vector<std::vector<int64_t>>& sets, std::vector<int64_t>& chosen, size_t left) {
    const std::vector<int64_t>* fewest = nullptr;
    for (const auto& set : sets) {
        const bool hit = std::any_of(set.begin(), set.end(), [&](int64_t c) {
            return std::find(chosen.begin(), chosen.end(), c) != chosen.end();
        });
        if (!hit && (fewest == nullptr || set.size() < fewest->size())) {
            fewest = &set;
        }
    }
    if (fewest == nullptr || left == 0) {
        return fewest == nullptr;
    }
    for (const int64_t c : *fewest) {
        chosen.push_back(c);
        if (Hits(sets, chosen, left - 1)) {
            return true;
        }
        chosen.pop_back();
    }
    return false;
}

TEST(Plan, AgainstExhaustiveSearchOnRandomProjects) {
    std::mt19937 random(13);
    const auto pick = [&](int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(random);
    };
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        rz::DrillOptions o = rz::PlanDefaults();
        o.Rounding.Mode = std::array{rz::RoundMode::Up, rz::RoundMode::Down,
                                     rz::RoundMode::Nearest}[static_cast<size_t>(trial % 3)];
        o.Rounding.Grid = Mm(std::array{10, 20, 50}[static_cast<size_t>(pick(0, 2))]);
        o.MaxChange = Mm(std::array{50, 100, 150}[static_cast<size_t>(pick(0, 2))]);
        for (int64_t t = 400; trial % 4 == 3 && t <= 1200; t += 10) {
            if (pick(0, 2) == 0) {
                o.Rounding.Table.push_back(Mm(t));
            }
        }
        o.Keep = {"K*"};
        // Two files of pads, a few of them kept, and vias: a few dozen sizes in all.
        std::vector<int64_t> pool;
        for (int k = 0; k < 24; ++k) {
            pool.push_back(pick(500, 900));
        }
        std::string text[2] = {"(kicad_pcb (version 20221018)\n", "(kicad_pcb (version 3)\n"};
        std::vector<Made> made;
        std::vector<int64_t> free;
        size_t count[2] = {0, 0};
        for (int k = 0; k < 36; ++k) {
            Made h{pool[static_cast<size_t>(pick(0, 23))],
                   0,
                   0,
                   pick(0, 9) != 0,
                   static_cast<size_t>(k % 2),
                   count[k % 2]++};
            h.Length = pick(0, 7) == 0 ? h.Size + pick(300, 800) : 0;
            h.Copper = h.Length > 0 ? 3000 : h.Plated ? h.Size + pick(150, 450) : h.Size;
            const bool kept = trial % 5 != 0 && pick(0, 9) == 0;
            const std::string s = Mm(h.Size).ToText();
            const std::string copper = Mm(h.Copper).ToText();
            text[h.File] += std::string(" (footprint \"F\" (fp_text reference \"") +
                            (kept ? "K" : "R") + std::to_string(k) + "\" (at 0 0))\n  (pad \"1\" " +
                            (h.Plated ? "thru_hole" : "np_thru_hole") + " circle (size " + copper +
                            " " + copper + ") (drill " +
                            (h.Length > 0 ? "oval " + s + " " + Mm(h.Length).ToText() : s) +
                            ") (layers *.Cu)))\n";
            const bool via = trial % 5 != 0 && !kept && k % 9 == 0;
            if (kept || via) {
                free.push_back(h.Size);
            }
            if (via) {
                text[h.File] += " (via (size 1.5) (drill " + s + "))\n";
                ++count[h.File];
            }
            if (!kept) {
                made.push_back(h);
            }
        }
        rz::BoardRecords records[2];
        rz::PlanFile files[2];
        for (size_t f = 0; f < 2; ++f) {
            text[f] += ")\n";
            records[f] = rz::ReadBoard(text[f]);
            files[f] = {text[f], &records[f]};
            ASSERT_EQ(records[f].Holes.size(), count[f]);
        }
        const rz::DrillPlan plan = rz::PlanDrills(files, o);

        // The search's view: every size on the grid or in the table, and the free ones.
        std::vector<int64_t> steps;
        for (int64_t c = 1; c <= 1200; ++c) {
            const bool step =
                o.Rounding.Table.empty()
                    ? c * kMilli % o.Rounding.Grid.Units() == 0
                    : std::binary_search(o.Rounding.Table.begin(), o.Rounding.Table.end(), Mm(c));
            if (step) {
                steps.push_back(c);
            }
        }
        const auto options = [&](const Made& h, const std::vector<int64_t>& sizes) {
            std::vector<int64_t> out;
            std::copy_if(sizes.begin(), sizes.end(), std::back_inserter(out),
                         [&](int64_t c) { return Allowed(h, c, o); });
            return out;
        };
        std::vector<int64_t> freeNow = free;
        for (const Made& h : made) {
            if (options(h, steps).empty() && options(h, free).empty()) {
                freeNow.push_back(h.Size); // it stays, so its size is needed anyway
            }
        }
        std::vector<std::vector<int64_t>> needs;
        for (const Made& h : made) {
            const std::vector<int64_t> own = options(h, steps);
            if (!own.empty() && options(h, freeNow).empty()) {
                needs.push_back(own);
            }
        }
        std::vector<int64_t> chosen;
        size_t fewest = 0;
        while (!Hits(needs, chosen, fewest)) {
            ++fewest;
        }
        ASSERT_EQ(plan.Chosen.size(), fewest);

        std::vector<int64_t> sizes = freeNow;
        for (const Decimal c : plan.Chosen) {
            sizes.push_back(c.Units() / kMilli);
        }
        for (const Made& h : made) {
            const rz::PlannedHole& p = plan.Holes[h.File][h.Hole];
            ASSERT_EQ(p.Before[0], Mm(h.Size));
            const int64_t width = p.After[0].Units() / kMilli;
            const std::vector<int64_t> may = options(h, sizes);
            if (options(h, steps).empty() && options(h, free).empty()) {
                EXPECT_EQ(width, h.Size); // nothing in its window: it stays
                EXPECT_NE(p.Fate == rz::HoleFate::Stays, h.Length > 0 && p.After[1] != p.Before[1]);
                continue;
            }
            // In its window, on the nearest size it may take (a tie to the larger).
            ASSERT_FALSE(may.empty());
            const int64_t nearest = *std::min_element(may.begin(), may.end(), [&](auto a, auto b) {
                return std::abs(a - h.Size) != std::abs(b - h.Size)
                           ? std::abs(a - h.Size) < std::abs(b - h.Size)
                           : a > b;
            });
            EXPECT_EQ(width, nearest) << h.Size;
            if (h.Length > 0) {
                EXPECT_EQ(p.After[1], rz::SlotLengthAfter(Mm(h.Length), p.After[0], o.Rounding));
            }
        }
        // Rounding up, no chosen size could go one step lower and keep all of its holes.
        for (const Decimal c : plan.Chosen) {
            const auto lower = std::lower_bound(steps.begin(), steps.end(), c.Units() / kMilli);
            if (lower == steps.begin()) {
                continue;
            }
            const bool held = std::all_of(made.begin(), made.end(), [&](const Made& h) {
                return plan.Holes[h.File][h.Hole].After[0] != c || Allowed(h, *(lower - 1), o);
            });
            EXPECT_TRUE(!held || o.Rounding.Mode != rz::RoundMode::Up) << c.ToText();
        }
        // `apply` with the saved table gives each hole its planned sizes and thins no ring.
        std::string error;
        EXPECT_EQ(rz::ParseDrillFile(rz::PlanTableText(plan), error), plan.Sizes);
        const rz::PlanCheck check = rz::CheckPlanByApply(files, o, plan);
        if (o.Rounding.Mode != rz::RoundMode::Nearest) {
            EXPECT_TRUE(check.Misses.empty() && check.Warnings.empty());
            EXPECT_EQ(check.ToolsAfter, plan.ToolsAfter);
        }
    }
}

} // namespace
