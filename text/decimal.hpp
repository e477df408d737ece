// Exact decimal numbers for drill sizes, steps and tolerances in millimetres.
//
// Binary floating point cannot hold 0.35 or 1.15, so a tie between two grid steps could
// round either way depending on how the number happened to be stored. A Decimal is a
// whole number of 10^-12 mm: every size a board, a fab table or an option writes is held
// exactly, and the arithmetic on it is exact or refused. A text with a nonzero digit
// beyond the twelfth decimal, or a value beyond about 9.2 km, is refused rather than
// rounded or wrapped.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rz {

enum class RoundMode {
    Nearest, // the nearer multiple; a tie goes away from zero
    Up,      // the next multiple at or above
    Down,    // the next multiple at or below
};

class Decimal {
public:
    static constexpr int kPlaces = 12;

    constexpr Decimal() = default;
    // The value units * 10^-12.
    static constexpr Decimal FromUnits(int64_t units) { return Decimal(units); }

    // The whole text must be one number as a board writes sizes: an optional sign,
    // digits with at most one ".", at least one digit, and an optional exponent
    // ("1e-3", "2.5E+1"). Nothing else, not even a blank.
    static std::optional<Decimal> Parse(std::string_view text);

    int64_t Units() const { return units_; }
    bool IsPositive() const { return units_ > 0; }
    friend constexpr auto operator<=>(Decimal, Decimal) = default;

    std::optional<Decimal> Plus(Decimal other) const;
    std::optional<Decimal> Minus(Decimal other) const;
    Decimal Abs() const { return Decimal(units_ < 0 ? -units_ : units_); }
    // The multiple of `step` (which must be positive) the mode picks.
    std::optional<Decimal> RoundTo(Decimal step, RoundMode mode) const;

    // The shortest text with at least one decimal: "1.0", "0.45", "-1.05".
    std::string ToText() const;
    // Only for what is reported, never for deciding a size.
    double ToDouble() const;

private:
    constexpr explicit Decimal(int64_t units) : units_(units) {}
    int64_t units_ = 0; // always within +-INT64_MAX, so its negation exists
};

} // namespace rz
