// What becomes of each hole of a board under the user's options, why a hole is left
// alone, what the user should be warned of, and the byte edits that carry it out.
#pragma once

#include "core/board_reader.hpp"
#include "core/drill_edits.hpp"
#include "core/drill_rule.hpp"
#include "text/decimal.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

struct DrillOptions {
    RoundingOptions Rounding;
    std::vector<std::string> Keep; // shell patterns for a footprint's reference or name
    bool PlatedOnly = false;       // leave np_thru_hole holes
    bool KeepLocked = false;       // leave holes of locked footprints, pads and vias
    bool ViasFollow = true;        // a via whose token equals a changed pad token follows it
    std::optional<Decimal> MaxChange;
    Decimal MinRing = Decimal::FromUnits(100000000000); // 0.1 mm
};

enum class KeptReason : uint8_t {
    None,
    Pattern,     // its footprint matches a --keep pattern
    NonPlated,   // np_thru_hole, with --plated-only
    Locked,      // its footprint, pad or via is locked, with --keep-locked
    ViaKept,     // a via, with --vias keep
    BeyondTable, // no table size in the rounding's direction
    MaxChange,   // it would move further than --max-change
    NotANumber,  // its sizes cannot be rounded (or its form is not one that is rewritten)
};
// "pattern", "non_plated", "locked", "via_kept", "beyond_table", "max_change",
// "not_a_number"; "" for None.
std::string_view KeptReasonName(KeptReason reason);

// What one distinct drill token becomes under the rounding rule.
struct DrillToken {
    std::string Value; // the token without "(drill " and its ")": "0.762", "oval 0.6 1.2"
    std::string After; // the value text with the new sizes
    std::vector<std::string> Sizes;       // the size numbers as written (none for a form
    std::vector<std::string> NewSizes;    // that is never rewritten) and their new texts
    KeptReason Reason = KeptReason::None; // the rule's or --max-change's
    bool Changes = false;                 // After differs and nothing forbids it
    bool Moves = false;                   // and a size's value differs, not only its text
    int32_t Row = -1;                     // the pad row of this token; -1: vias only
};

struct HoleDecision {
    int32_t Token = -1; // into DrillReport::Tokens; -1 for a drill the window never lists
    int32_t Row = -1;   // a pad: its row; a via: the row it follows (or would follow)
    KeptReason Kept = KeptReason::None;
    bool Changes = false; // its size numbers are rewritten with the token's new sizes
};

// One row per distinct pad drill token, in the window's order.
struct ReportRow {
    std::string Before; // the value text as found: "0.762", "oval 0.6 1.2"
    std::string After;  // as written: Before when no pad of the row changes
    int32_t Pads = 0;
    int32_t Plated = 0;
    int32_t NonPlated = 0;
    int32_t PadsChanged = 0;
    std::vector<std::string> References; // in natural order (R2 before R10), each once
    int32_t ViasFollowing = 0;
    KeptReason Kept = KeptReason::None; // why pads of the row are left alone, if any are
};

struct ViaDrill {
    std::string Drill; // the value text: "0.4"
    int32_t Count = 0;
};

enum class WarningKind : uint8_t {
    RingBelowMinimum,    // a plated pad's ring falls below --min-ring through the change
    HoleFillsPad,        // a new hole as large as its pad (its ring gone)
    ViaRingBelowMinimum, // vias following one size, summed up
    ViaHoleFillsPad,
};
// "ring_below_minimum", "hole_fills_pad", "via_ring_below_minimum", "via_hole_fills_pad"
std::string_view WarningKindName(WarningKind kind);

struct DrillWarning {
    WarningKind Kind = WarningKind::RingBelowMinimum;
    std::string Reference; // empty for vias
    std::string Pad;       // the pad's number; empty for vias
    std::string Before;    // the hole's value text before and after
    std::string After;
    double RingBefore = 0; // mm; for vias the least after the change, and its before
    double RingAfter = 0;
    int32_t Count = 1; // the number of vias summed up, or of pads with the same warning
    std::string Message;
};

struct DrillReport {
    int64_t KicadVersion = 0;
    std::vector<ReportRow> Rows;
    std::vector<ViaDrill> Vias;       // numerically ascending
    std::vector<Decimal> ToolsBefore; // distinct hole sizes of pads and vias, ascending;
    std::vector<Decimal> ToolsAfter;  // a slot counts as its width
    std::vector<DrillWarning> Warnings;
    std::vector<DrillToken> Tokens;  // every distinct token, pads' and vias'
    std::vector<HoleDecision> Holes; // parallel to BoardRecords::Holes
    std::vector<ByteEdit> Edits;     // ascending, apart, each inside one line
};

// The order references are listed in: digits compare as numbers, so R2 comes before R10.
bool NaturalLess(std::string_view a, std::string_view b);

// Decides every hole of `records` (read from `all`). With default options the rows are
// the window's rows and the edits give the bytes the window writes.
DrillReport DecideDrills(std::string_view all, const BoardRecords& records,
                         const DrillOptions& options);

} // namespace rz
