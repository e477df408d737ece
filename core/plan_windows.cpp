#include "core/plan_windows.hpp"

#include "core/copper_ring.hpp"
#include "core/hole_measures.hpp"

#include <algorithm>

namespace rz {

namespace {

constexpr Decimal kUnit = Decimal::FromUnits(1);

HoleShape ShapeOf(const std::array<Decimal, 2>& sizes) {
    return {sizes[0].ToDouble(), sizes[1].ToDouble()};
}

// The last value on the way from `fits` to `misfits` that fits, for a test that holds up to
// some point on that way and fails beyond it.
template <typename Fits> Decimal Edge(Decimal fits, Decimal misfits, const Fits& test) {
    int64_t good = fits.Units();
    int64_t bad = misfits.Units();
    while (good - bad > 1 || bad - good > 1) {
        const int64_t mid = good + (bad - good) / 2;
        (test(Decimal::FromUnits(mid)) ? good : bad) = mid;
    }
    return Decimal::FromUnits(good);
}

} // namespace

void SortDistinct(std::vector<Decimal>& sizes) {
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
}

std::optional<Decimal> SizeSteps::AtOrAbove(Decimal x) const {
    const std::vector<Decimal>& t = rounding_.Table;
    if (t.empty()) {
        return x.RoundTo(rounding_.Grid, RoundMode::Up);
    }
    const auto above = std::lower_bound(t.begin(), t.end(), x);
    return above == t.end() ? std::nullopt : std::optional<Decimal>(*above);
}

std::optional<Decimal> SizeSteps::AtOrBelow(Decimal x) const {
    const std::vector<Decimal>& t = rounding_.Table;
    if (t.empty()) {
        const std::optional<Decimal> below = x.RoundTo(rounding_.Grid, RoundMode::Down);
        return below && below->IsPositive() ? below : std::nullopt;
    }
    const auto above = std::upper_bound(t.begin(), t.end(), x);
    return above == t.begin() ? std::nullopt : std::optional<Decimal>(*(above - 1));
}

Decimal SizeSteps::NearestWithin(Decimal x, Decimal lo, Decimal hi) const {
    if (x <= lo) {
        return lo;
    }
    if (x >= hi) {
        return hi;
    }
    // Between two steps of the range, so both neighbours exist.
    const Decimal below = AtOrBelow(x).value_or(lo);
    const Decimal above = AtOrAbove(x).value_or(hi);
    const Decimal up = above.Minus(x).value_or(Decimal());
    const Decimal down = x.Minus(below).value_or(Decimal());
    return up <= down ? above : below;
}

std::optional<std::array<Decimal, 2>> HoleSizes(std::string_view all, const HoleRecord& hole) {
    std::array<Decimal, 2> sizes;
    for (size_t k = 0; k < hole.SizeCount && k < 2; ++k) {
        const std::optional<Decimal> value = Decimal::Parse(SpanText(all, hole.Sizes[k]));
        if (!value) {
            return std::nullopt;
        }
        sizes[k] = *value;
    }
    if (hole.SizeCount == 0) {
        return std::nullopt;
    }
    if (!hole.Oval || hole.SizeCount < 2) {
        sizes[1] = sizes[0];
    }
    return sizes;
}

HoleWindows::HoleWindows(const DrillOptions& options)
    : options_(options), reach_(options.MaxChange.value_or(PlanDefaults().MaxChange.value())) {}

std::optional<std::array<Decimal, 2>> HoleWindows::SizesWith(const HoleWindow& window,
                                                             Decimal width) const {
    std::array<Decimal, 2> after{width, width};
    if (window.Slot) {
        const size_t length = 1 - window.Width;
        const std::optional<Decimal> l =
            SlotLengthAfter(window.Before[length], width, options_.Rounding);
        if (!l) {
            return std::nullopt;
        }
        after[length] = *l;
    }
    return after;
}

// Why a width does not fit the hole, or nullopt when it does.
std::optional<StayReason> HoleWindows::Misfit(const BoardRecords& records, const HoleRecord& hole,
                                              const HoleWindow& window, Decimal width) const {
    const std::optional<std::array<Decimal, 2>> after = SizesWith(window, width);
    if (!after) {
        return StayReason::SlotLength;
    }
    for (size_t k = 0; k < 2; ++k) {
        const std::optional<Decimal> change = (*after)[k].Minus(window.Before[k]);
        if (!change || change->Abs() > reach_) {
            return k == window.Width ? StayReason::NoSize : StayReason::SlotLength;
        }
    }
    const RingChange ring =
        JudgeRing(records, hole, ShapeOf(window.Before), ShapeOf(*after), options_.MinRing);
    return ring.Verdict == RingVerdict::Fine ? std::nullopt
                                             : std::optional<StayReason>(StayReason::Ring);
}

HoleWindow HoleWindows::Of(const BoardRecords& records, const HoleRecord& hole,
                           const std::array<Decimal, 2>& before) const {
    HoleWindow w;
    w.Before = before;
    w.Slot = hole.Oval && hole.SizeCount == 2;
    w.Width = w.Slot && before[1] < before[0] ? 1 : 0;
    const Decimal own = before[w.Width];
    const RoundMode mode = options_.Rounding.Mode;
    w.ReachLo = mode == RoundMode::Up ? own : std::max(own.Minus(reach_).value_or(kUnit), kUnit);
    w.ReachHi = mode == RoundMode::Down ? own : own.Plus(reach_).value_or(own);
    w.Lo = w.Hi = own;
    if (const std::optional<StayReason> why = Misfit(records, hole, w, own)) {
        w.Why = *why;
        return w;
    }
    w.Open = true;
    // Every test here holds up to some size and fails beyond it: a larger hole thins the
    // ring, and a slot's length only grows with its width. So each end is found by halving.
    const auto fits = [&](Decimal width) { return !Misfit(records, hole, w, width); };
    const std::optional<StayReason> above = Misfit(records, hole, w, w.ReachHi);
    const std::optional<StayReason> below = Misfit(records, hole, w, w.ReachLo);
    w.Hi = above ? Edge(own, w.ReachHi, fits) : w.ReachHi;
    w.Lo = below ? Edge(own, w.ReachLo, fits) : w.ReachLo;
    w.Why = above ? *above : below.value_or(StayReason::NoSize);
    return w;
}

std::vector<Decimal> CoverWindows(std::vector<StepWindow> windows, const SizeSteps& steps) {
    // Taken by their upper ends, the first window no step meets yet must get one of its
    // own in any solution; its greatest step meets every later window that any of its
    // steps could, as none of them ends lower. So each step here meets at least what the
    // matching step of any solution meets, and no solution has fewer.
    std::sort(windows.begin(), windows.end(), [](const StepWindow& a, const StepWindow& b) {
        return a.Hi != b.Hi ? a.Hi < b.Hi : a.Lo < b.Lo;
    });
    struct Group {
        Decimal Lo, Hi, Least, Most;
    };
    std::vector<Group> groups;
    for (const StepWindow& w : windows) {
        if (groups.empty() || w.Lo > groups.back().Hi) {
            groups.push_back({w.Lo, w.Hi, w.Least, w.Most});
            continue;
        }
        Group& g = groups.back();
        g.Lo = std::max(g.Lo, w.Lo);
        g.Least = std::min(g.Least, w.Least);
        g.Most = std::max(g.Most, w.Most);
    }
    // Each step may slide anywhere its group's windows overlap; it goes nearest the middle
    // of its holes' sizes, so that they move as little as they can.
    std::vector<Decimal> chosen;
    for (const Group& g : groups) {
        const Decimal middle =
            Decimal::FromUnits(g.Least.Units() + (g.Most.Units() - g.Least.Units()) / 2);
        chosen.push_back(steps.NearestWithin(middle, g.Lo, g.Hi));
    }
    return chosen;
}

} // namespace rz
