#include "core/hole_measures.hpp"

#include "core/copper_ring.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

namespace rz {

namespace {

// Pad sizes are kept as floats and rings computed in doubles: 0.5 - 0.4 comes out as
// 0.0999999..., which must not count as below 0.1. Ten nanometres are far below
// anything a fab resolves.
constexpr double kSlack = 1e-5;

// A hole's size across and along the board's axes (equal for a round hole), as
// written, or after the change when it changes; nullopt when they are not numbers.
std::optional<std::array<Decimal, 2>> SizesOf(std::string_view all, const HoleRecord& hole,
                                              const DrillReport& report, size_t index, bool after) {
    const HoleDecision& decision = report.Holes[index];
    std::array<Decimal, 2> size;
    for (size_t k = 0; k < hole.SizeCount; ++k) {
        const std::string_view text =
            after && decision.Changes
                ? std::string_view(report.Tokens[static_cast<size_t>(decision.Token)].NewSizes[k])
                : SpanText(all, hole.Sizes[k]);
        const std::optional<Decimal> value = Decimal::Parse(text);
        if (!value) {
            return std::nullopt;
        }
        size[k] = *value;
    }
    if (!hole.Oval || hole.SizeCount < 2) {
        size[1] = size[0];
    }
    return size;
}

// A changed hole's shape before and after. Holes with one token have the same sizes,
// so each token's are worked out once.
class ChangedShapes {
public:
    ChangedShapes(std::string_view all, const DrillReport& report)
        : all_(all), report_(report), known_(report.Tokens.size()) {}

    const std::optional<std::pair<HoleShape, HoleShape>>& Of(const HoleRecord& hole, size_t index) {
        auto& [done, shapes] = known_[static_cast<size_t>(report_.Holes[index].Token)];
        if (!done) {
            done = true;
            const auto before = SizesOf(all_, hole, report_, index, false);
            const auto after = SizesOf(all_, hole, report_, index, true);
            if (before && after) {
                shapes.emplace(HoleShape{(*before)[0].ToDouble(), (*before)[1].ToDouble()},
                               HoleShape{(*after)[0].ToDouble(), (*after)[1].ToDouble()});
            }
        }
        return shapes;
    }

private:
    std::string_view all_;
    const DrillReport& report_;
    std::vector<std::pair<bool, std::optional<std::pair<HoleShape, HoleShape>>>> known_;
};

std::string Millimetres(double mm) {
    if (std::abs(mm) < 0.0005) {
        return "0.0";
    }
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, mm, std::chars_format::fixed, 3).ptr;
    std::string text(buffer, end);
    while (text.back() == '0' && text[text.size() - 2] != '.') {
        text.pop_back();
    }
    return text;
}

std::string Message(const DrillWarning& w, Decimal minRing) {
    const std::string rings =
        "Restring " + Millimetres(w.RingBefore) + " mm → " + Millimetres(w.RingAfter) + " mm";
    const std::string change = w.Before + " → " + w.After + " mm";
    // Pads of one number with holes alike (a thermal pad's vias) share one warning.
    const std::string pad = w.Reference + (w.Pad.empty() ? "" : " Pad " + w.Pad) +
                            (w.Count > 1 ? " (" + std::to_string(w.Count) + " Bohrungen)" : "");
    switch (w.Kind) {
    case WarningKind::RingBelowMinimum:
        return pad + ": Bohrung " + change + ", " + rings + ", unter dem Minimum von " +
               minRing.ToText() + " mm";
    case WarningKind::HoleFillsPad:
        return pad + ": Die neue Bohrung " + w.After + " mm ist so groß wie das Pad oder größer (" +
               rings + ")";
    case WarningKind::ViaRingBelowMinimum:
        return std::to_string(w.Count) + " Vias " + change + ": " + rings +
               ", unter dem Minimum von " + minRing.ToText() + " mm";
    case WarningKind::ViaHoleFillsPad:
        break;
    }
    return std::to_string(w.Count) + " Vias " + change +
           ": Die neue Bohrung ist so groß wie der Via oder größer (" + rings + ")";
}

} // namespace

RingChange JudgeRing(const BoardRecords& records, const HoleRecord& hole, const HoleShape& before,
                     const HoleShape& after, Decimal minRing) {
    RingChange ring;
    if (hole.Copper.SizeX <= 0) {
        return ring; // no copper was read for it
    }
    ring.Before = LeastRing(records, hole, before);
    ring.After = LeastRing(records, hole, after);
    if (ring.After >= ring.Before - kSlack) {
        return ring; // the change does not thin the ring
    }
    // A hole that already filled its pad (a non-plated peg drawn as its own hole) has
    // no ring to lose.
    if (ring.After <= kSlack && ring.Before > kSlack) {
        ring.Verdict = RingVerdict::FillsPad;
    } else if (ring.After > kSlack && ring.After < minRing.ToDouble() - kSlack &&
               hole.Type != PadType::NpThruHole) {
        ring.Verdict = RingVerdict::BelowMinimum;
    }
    return ring;
}

std::vector<Decimal> HoleTools(std::string_view all, const BoardRecords& records,
                               const DrillReport& report, bool after) {
    std::vector<Decimal> tools;
    // Holes with one token have the same sizes: each token is measured once.
    std::vector<char> seen(report.Tokens.size() * 2, 0);
    for (size_t i = 0; i < records.Holes.size(); ++i) {
        const HoleDecision& decision = report.Holes[i];
        if (decision.Token >= 0) {
            const size_t slot =
                static_cast<size_t>(decision.Token) * 2 + (decision.Changes ? 1 : 0);
            if (seen[slot] != 0) {
                continue;
            }
            seen[slot] = 1;
        }
        const auto size = SizesOf(all, records.Holes[i], report, i, after);
        if (size) {
            tools.push_back(std::min((*size)[0], (*size)[1]));
        }
    }
    std::sort(tools.begin(), tools.end());
    tools.erase(std::unique(tools.begin(), tools.end()), tools.end());
    return tools;
}

std::vector<DrillWarning> HoleWarnings(std::string_view all, const BoardRecords& records,
                                       const DrillReport& report, Decimal minRing) {
    std::vector<DrillWarning> warnings;
    std::map<std::pair<int32_t, WarningKind>, DrillWarning> viaSums;
    std::map<std::string, size_t> padWarnings; // by message, to the warning that stands for all
    ChangedShapes changed(all, report);
    for (size_t i = 0; i < records.Holes.size(); ++i) {
        const HoleRecord& hole = records.Holes[i];
        const HoleDecision& decision = report.Holes[i];
        if (!decision.Changes || hole.Copper.SizeX <= 0) {
            continue;
        }
        const auto& shapes = changed.Of(hole, i);
        if (!shapes) {
            continue;
        }
        const RingChange ring = JudgeRing(records, hole, shapes->first, shapes->second, minRing);
        if (ring.Verdict == RingVerdict::Fine) {
            continue;
        }
        const bool fills = ring.Verdict == RingVerdict::FillsPad;
        DrillWarning w;
        w.RingBefore = ring.Before;
        w.RingAfter = ring.After;
        const DrillToken& token = report.Tokens[static_cast<size_t>(decision.Token)];
        w.Before = token.Value;
        w.After = token.After;
        if (!hole.Via) {
            w.Kind = fills ? WarningKind::HoleFillsPad : WarningKind::RingBelowMinimum;
            if (hole.Footprint >= 0) {
                const FootprintRecord& fp = records.Footprints[static_cast<size_t>(hole.Footprint)];
                w.Reference = AtomText(all, fp.Reference);
            }
            w.Pad = AtomText(all, hole.Number);
            w.Message = Message(w, minRing);
            const auto [same, added] = padWarnings.try_emplace(w.Message, warnings.size());
            if (added) {
                warnings.push_back(std::move(w));
            } else {
                ++warnings[same->second].Count;
            }
            continue;
        }
        // Vias of one size are summed up: the least ring after the change stands for all.
        w.Kind = fills ? WarningKind::ViaHoleFillsPad : WarningKind::ViaRingBelowMinimum;
        const auto [sum, added] = viaSums.try_emplace({decision.Token, w.Kind}, w);
        if (!added) {
            ++sum->second.Count;
            if (w.RingAfter < sum->second.RingAfter) {
                sum->second.RingBefore = w.RingBefore;
                sum->second.RingAfter = w.RingAfter;
            }
        }
    }
    for (DrillWarning& w : warnings) {
        if (w.Count > 1) {
            w.Message = Message(w, minRing);
        }
    }
    for (auto& [key, w] : viaSums) {
        w.Message = Message(w, minRing);
        warnings.push_back(std::move(w));
    }
    return warnings;
}

std::string_view WarningKindName(WarningKind kind) {
    static constexpr std::string_view kNames[] = {"ring_below_minimum", "hole_fills_pad",
                                                  "via_ring_below_minimum", "via_hole_fills_pad"};
    return kNames[static_cast<size_t>(kind)];
}

} // namespace rz
