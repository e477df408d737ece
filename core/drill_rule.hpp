// How the size numbers of one drill become new ones: the window's rounding, or a
// rounding the user chose (up, down or nearest, on a grid or to a fab's drill table).
#pragma once

#include "text/decimal.hpp"
#include "text/text.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

enum class SizeVerdict {
    Rounded,     // the new texts are set (they may equal the old ones)
    NotANumber,  // a size cannot be rounded: not a positive number the rule can hold
    BeyondTable, // the hole lies beyond the ends of the drill table
};

class SizeRule {
public:
    virtual ~SizeRule() = default;
    // `sizes` are the one or two size numbers as written; "oval W H" has two, W across
    // and H along the board's axes. `out` receives a text for each.
    virtual SizeVerdict NewSizes(bool oval, std::span<const Text> sizes,
                                 std::span<Text> out) const = 0;
};

// The window's rule: each size to the nearest 0.1 mm, in 32-bit floats, written with
// exactly one decimal ("1" becomes "1.0").
const SizeRule& WindowSizeRule();

struct RoundingOptions {
    RoundMode Mode = RoundMode::Nearest;
    Decimal Grid = Decimal::FromUnits(100000000000); // 0.1 mm
    std::vector<Decimal> Table; // a fab's sizes, ascending and distinct; empty for none
};

// Exact decimal rounding. Without a table every size goes to the grid. With a table a
// round hole goes to a table size; an oval hole's smaller size (the slot's width, the
// tool that routes it) goes to the table and its length to the grid, never shorter than
// the new width, so a slot keeps its direction. A size whose value stays keeps its text.
class DecimalSizeRule final : public SizeRule {
public:
    explicit DecimalSizeRule(RoundingOptions options) : options_(std::move(options)) {}
    SizeVerdict NewSizes(bool oval, std::span<const Text> sizes,
                         std::span<Text> out) const override;

private:
    std::optional<Decimal> FromTable(Decimal size) const;
    RoundingOptions options_;
};

// A slot's new length once its width is `widthAfter`: the length on the grid, never
// shorter than the new width; a slot no longer than its new width becomes round at that
// width. nullopt when the length cannot be held on the grid.
std::optional<Decimal> SlotLengthAfter(Decimal length, Decimal widthAfter,
                                       const RoundingOptions& options);

// Whether the options are the defaults (nearest, 0.1 mm, no table). Then the window's rule
// is the one to use, so that a run without options gives exactly the window's rows and
// bytes, odd forms included; the decimal rule otherwise.
bool IsWindowRounding(const RoundingOptions& options);

// A length in millimetres as the user writes it: "0.05", "0.3mm". nullopt unless it is
// a number above zero.
std::optional<Decimal> ParseMillimetres(std::string_view text);

// A fab's drill table, ascending and distinct. ParseDrillList takes "0.3,0.4,0.5";
// ParseDrillFile takes one size per line, blank lines and lines starting with "#"
// ignored. On a bad entry both give nullopt and a German message naming it.
std::optional<std::vector<Decimal>> ParseDrillList(std::string_view list, std::string& error);
std::optional<std::vector<Decimal>> ParseDrillFile(std::string_view content, std::string& error);

} // namespace rz
