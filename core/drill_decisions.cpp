// Deciding each hole: the rule gives each distinct drill token its new text once; the
// selection (patterns, plating, locks, vias) then says which holes take it.
#include "core/drill_decisions.hpp"

#include "core/hole_measures.hpp"
#include "core/pipeline.hpp"
#include "text/pattern.hpp"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace rz {

namespace {

// A drill's new texts must be written over exactly the numbers the reader found; a
// token whose numbers the rule sees differently is left alone rather than guessed at.
bool Editable(std::string_view all, const HoleRecord& hole, const DrillToken& drill) {
    if (drill.Sizes.size() != hole.SizeCount) {
        return false;
    }
    for (size_t k = 0; k < drill.Sizes.size(); ++k) {
        if (SpanText(all, hole.Sizes[k]) != drill.Sizes[k]) {
            return false;
        }
    }
    return true;
}

bool SameValue(const std::string& a, const std::string& b) {
    const std::optional<Decimal> x = Decimal::Parse(a);
    const std::optional<Decimal> y = Decimal::Parse(b);
    return x && y ? *x == *y : a == b;
}

// Whether a size would move further than `limit`; `numbers` false when one is none.
bool MovesTooFar(const DrillToken& drill, Decimal limit, bool& numbers) {
    numbers = true;
    for (size_t k = 0; k < drill.Sizes.size(); ++k) {
        const std::optional<Decimal> before = Decimal::Parse(drill.Sizes[k]);
        const std::optional<Decimal> after = Decimal::Parse(drill.NewSizes[k]);
        const std::optional<Decimal> change =
            before && after ? after->Minus(*before) : std::optional<Decimal>();
        if (!change) {
            numbers = false;
            return false;
        }
        if (change->Abs() > limit) {
            return true;
        }
    }
    return false;
}

} // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ie = i;
            size_t je = j;
            while (ie < a.size() && digit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && digit(b[je])) {
                ++je;
            }
            std::string_view x = a.substr(i, ie - i);
            std::string_view y = b.substr(j, je - j);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size() || x != y) {
                return x.size() != y.size() ? x.size() < y.size() : x < y;
            }
            i = ie;
            j = je;
        } else if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i != b.size() - j ? a.size() - i < b.size() - j : a < b;
}

namespace {

// Hashes every lookup: the standard library compares a short table entry by entry
// instead, and a board asks about its tokens once per hole.
struct TokenHash {
    size_t operator()(std::string_view token) const { return std::hash<std::string_view>()(token); }
};

class Decider {
public:
    Decider(std::string_view all, const BoardRecords& records, const DrillOptions& options)
        : all_(all), records_(records), options_(options) {
        if (!IsWindowRounding(options.Rounding)) {
            decimal_.emplace(options.Rounding);
        }
    }

    DrillReport Run() {
        report_.KicadVersion = records_.Version;
        report_.Holes.resize(records_.Holes.size());
        DecidePads();
        SortRows();
        DecideVias();
        CollectEdits();
        report_.ToolsBefore = HoleTools(all_, records_, report_, false);
        report_.ToolsAfter = HoleTools(all_, records_, report_, true);
        report_.Warnings = HoleWarnings(all_, records_, report_, options_.MinRing);
        return std::move(report_);
    }

private:
    const SizeRule& Rule() const {
        return decimal_ ? static_cast<const SizeRule&>(*decimal_) : WindowSizeRule();
    }

    // The index of a hole's token in report_.Tokens, decided on first sight; -1 for a
    // drill without a token (never listed).
    int32_t TokenOf(const HoleRecord& hole) {
        const std::string_view token = records_.TokenOf(all_, hole);
        if (token.size() < 8) {
            return -1;
        }
        // The pads of a footprint mostly share their token: the last one is tried first.
        if (token == lastToken_) {
            return lastIndex_;
        }
        const auto index = static_cast<int32_t>(report_.Tokens.size());
        const auto [found, added] = indexOfToken_.emplace(token, index);
        lastToken_ = token;
        lastIndex_ = found->second;
        if (!added) {
            return found->second;
        }
        DrillToken& drill = report_.Tokens.emplace_back();
        drill.Value = std::string(token.substr(7, token.size() - 8));
        const ListedDrill listed = ListDrill(Utf8ToText(drill.Value), Rule());
        drill.After = TextToUtf8(listed.After);
        for (size_t k = 0; k < listed.Sizes.size(); ++k) {
            drill.Sizes.push_back(TextToUtf8(listed.Sizes[k]));
            drill.NewSizes.push_back(TextToUtf8(listed.NewSizes[k]));
        }
        if (listed.Verdict != SizeVerdict::Rounded) {
            drill.Reason = listed.Verdict == SizeVerdict::BeyondTable ? KeptReason::BeyondTable
                                                                      : KeptReason::NotANumber;
        } else if (options_.MaxChange) {
            bool numbers = true;
            if (MovesTooFar(drill, *options_.MaxChange, numbers)) {
                drill.Reason = KeptReason::MaxChange;
            } else if (!numbers) {
                drill.Reason = KeptReason::NotANumber;
            }
        }
        drill.Changes = drill.Reason == KeptReason::None && drill.After != drill.Value;
        // "1" written as "1.0" changes the text, not the hole.
        drill.Moves = drill.Changes && !std::equal(drill.Sizes.begin(), drill.Sizes.end(),
                                                   drill.NewSizes.begin(), SameValue);
        return index;
    }

    // Whether the user's selection leaves the footprint's holes alone, per footprint.
    bool MatchesKeep(int32_t footprint) {
        if (footprint < 0 || options_.Keep.empty()) {
            return false;
        }
        if (keepOfFootprint_.empty()) {
            keepOfFootprint_.resize(records_.Footprints.size(), -1);
        }
        int8_t& known = keepOfFootprint_[static_cast<size_t>(footprint)];
        if (known < 0) {
            const FootprintRecord& fp = records_.Footprints[static_cast<size_t>(footprint)];
            const std::string reference = AtomText(all_, fp.Reference);
            const std::string name = AtomText(all_, fp.Name);
            known = std::any_of(options_.Keep.begin(), options_.Keep.end(),
                                [&](const std::string& p) {
                                    return MatchesPattern(p, reference) || MatchesPattern(p, name);
                                })
                        ? 1
                        : 0;
        }
        return known == 1;
    }

    KeptReason PadSelection(const HoleRecord& hole) {
        if (MatchesKeep(hole.Footprint)) {
            return KeptReason::Pattern;
        }
        if (options_.PlatedOnly && hole.Type == PadType::NpThruHole) {
            return KeptReason::NonPlated;
        }
        const bool footprintLocked =
            hole.Footprint >= 0 && records_.Footprints[static_cast<size_t>(hole.Footprint)].Locked;
        if (options_.KeepLocked && (hole.Locked || footprintLocked)) {
            return KeptReason::Locked;
        }
        return KeptReason::None;
    }

    void DecidePads() {
        for (size_t i = 0; i < records_.Holes.size(); ++i) {
            const HoleRecord& hole = records_.Holes[i];
            if (hole.Via) {
                continue;
            }
            const int32_t token = TokenOf(hole);
            if (token < 0) {
                // Never listed nor rewritten: a drill list cut short, or one whose marker
                // is not "(drill ".
                report_.Holes[i].Kept = KeptReason::NotANumber;
                continue;
            }
            DrillToken* drill = &report_.Tokens[static_cast<size_t>(token)];
            if (drill->Row < 0) {
                drill->Row = static_cast<int32_t>(report_.Rows.size());
                report_.Rows.emplace_back().Before = drill->Value;
                rowToken_.push_back(static_cast<size_t>(token));
            }
            ReportRow& row = report_.Rows[static_cast<size_t>(drill->Row)];
            HoleDecision& decision = report_.Holes[i];
            decision.Token = token;
            decision.Row = drill->Row;
            decision.Kept = PadSelection(hole);
            if (decision.Kept == KeptReason::None) {
                decision.Kept =
                    Editable(all_, hole, *drill) ? drill->Reason : KeptReason::NotANumber;
            }
            decision.Changes = decision.Kept == KeptReason::None && drill->Changes;
            ++row.Pads;
            ++(hole.Type == PadType::NpThruHole ? row.NonPlated : row.Plated);
            row.PadsChanged += decision.Changes ? 1 : 0;
            if (decision.Kept != KeptReason::None && row.Kept == KeptReason::None) {
                row.Kept = decision.Kept;
            }
            if (hole.Footprint >= 0) {
                rowFootprints_.resize(report_.Rows.size());
                rowFootprints_[static_cast<size_t>(decision.Row)].push_back(hole.Footprint);
            }
        }
        for (size_t r = 0; r < report_.Rows.size(); ++r) {
            ReportRow& row = report_.Rows[r];
            row.After = row.PadsChanged > 0 ? report_.Tokens[rowToken_[r]].After : row.Before;
            row.References = References(r);
        }
    }

    // A row's references, each once: a footprint's pads mostly share a drill, and a
    // large board repeats its names, so each distinct name is unquoted and sorted once.
    std::vector<std::string> References(size_t row) {
        std::vector<std::string> names;
        if (row >= rowFootprints_.size()) {
            return names;
        }
        std::unordered_set<std::string_view, TokenHash> written;
        for (const int32_t fp : rowFootprints_[row]) {
            const ByteSpan reference = records_.Footprints[static_cast<size_t>(fp)].Reference;
            if (reference.Length > 0 && written.insert(SpanText(all_, reference)).second) {
                names.push_back(AtomText(all_, reference));
            }
        }
        std::sort(names.begin(), names.end(), NaturalLess);
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    }

    // The window's order: by token text, code unit by code unit. The closing ")" counts:
    // "(drill 0.9 (offset" comes before "(drill 0.9)".
    void SortRows() {
        std::vector<size_t> order(report_.Rows.size());
        std::iota(order.begin(), order.end(), 0);
        std::vector<Text> keys;
        for (const ReportRow& row : report_.Rows) {
            keys.push_back(Utf8ToText(row.Before + ")"));
        }
        std::sort(order.begin(), order.end(),
                  [&](size_t a, size_t b) { return CompareTexts(keys[a], keys[b]) < 0; });
        std::vector<int32_t> newIndex(order.size());
        std::vector<ReportRow> rows;
        std::vector<size_t> tokens;
        for (size_t k = 0; k < order.size(); ++k) {
            newIndex[order[k]] = static_cast<int32_t>(k);
            rows.push_back(std::move(report_.Rows[order[k]]));
            tokens.push_back(rowToken_[order[k]]);
        }
        report_.Rows = std::move(rows);
        rowToken_ = std::move(tokens);
        for (DrillToken& drill : report_.Tokens) {
            drill.Row = drill.Row < 0 ? -1 : newIndex[static_cast<size_t>(drill.Row)];
        }
        for (HoleDecision& decision : report_.Holes) {
            decision.Row = decision.Row < 0 ? -1 : newIndex[static_cast<size_t>(decision.Row)];
        }
    }

    void DecideVias();
    void CollectEdits();

    std::string_view all_;
    const BoardRecords& records_;
    const DrillOptions& options_;
    std::optional<DecimalSizeRule> decimal_;
    std::unordered_map<std::string_view, int32_t, TokenHash> indexOfToken_;
    std::string_view lastToken_;
    int32_t lastIndex_ = -1;
    std::vector<size_t> rowToken_; // the token of each row
    std::vector<int8_t> keepOfFootprint_;
    std::vector<std::vector<int32_t>> rowFootprints_; // the footprints of each row's pads
    DrillReport report_;
};

void Decider::DecideVias() {
    std::unordered_map<std::string_view, int32_t> countOfDrill;
    for (size_t i = 0; i < records_.Holes.size(); ++i) {
        const HoleRecord& hole = records_.Holes[i];
        if (!hole.Via) {
            continue;
        }
        const std::string_view token = records_.TokenOf(all_, hole);
        ++countOfDrill[token.size() >= 8 ? token.substr(7, token.size() - 8)
                                         : SpanText(all_, hole.Sizes[0])];
        // A via follows a pad token only when the texts are identical and a pad of it
        // changes: that keeps the fab's tool count down, as the window always did.
        const int32_t index = TokenOf(hole);
        if (index < 0) {
            continue;
        }
        HoleDecision& decision = report_.Holes[i];
        decision.Token = index;
        const DrillToken* drill = &report_.Tokens[static_cast<size_t>(index)];
        if (drill->Row < 0 || report_.Rows[static_cast<size_t>(drill->Row)].PadsChanged == 0) {
            continue;
        }
        decision.Row = drill->Row;
        if (!options_.ViasFollow) {
            decision.Kept = KeptReason::ViaKept;
        } else if (options_.KeepLocked && hole.Locked) {
            decision.Kept = KeptReason::Locked;
        } else if (!Editable(all_, hole, *drill)) {
            decision.Kept = KeptReason::NotANumber;
        } else {
            decision.Changes = true;
            ++report_.Rows[static_cast<size_t>(drill->Row)].ViasFollowing;
        }
    }
    for (const auto& [drill, count] : countOfDrill) {
        report_.Vias.push_back({std::string(drill), count});
    }
    std::sort(report_.Vias.begin(), report_.Vias.end(), [](const ViaDrill& a, const ViaDrill& b) {
        const std::optional<Decimal> x = Decimal::Parse(a.Drill);
        const std::optional<Decimal> y = Decimal::Parse(b.Drill);
        if (x && y && *x != *y) {
            return *x < *y;
        }
        return x.has_value() != y.has_value() ? x.has_value() : a.Drill < b.Drill;
    });
}

void Decider::CollectEdits() {
    for (size_t i = 0; i < records_.Holes.size(); ++i) {
        if (!report_.Holes[i].Changes) {
            continue;
        }
        const HoleRecord& hole = records_.Holes[i];
        const DrillToken& drill = report_.Tokens[static_cast<size_t>(report_.Holes[i].Token)];
        for (size_t k = 0; k < hole.SizeCount; ++k) {
            if (drill.NewSizes[k] != drill.Sizes[k]) {
                report_.Edits.push_back(
                    {hole.Sizes[k].At, hole.Sizes[k].Length, drill.NewSizes[k]});
            }
        }
    }
}

} // namespace

std::string_view KeptReasonName(KeptReason reason) {
    static constexpr std::string_view kNames[] = {
        "",         "pattern",      "non_plated", "locked",
        "via_kept", "beyond_table", "max_change", "not_a_number",
    };
    return kNames[static_cast<size_t>(reason)];
}

DrillReport DecideDrills(std::string_view all, const BoardRecords& records,
                         const DrillOptions& options) {
    return Decider(all, records, options).Run();
}

} // namespace rz
