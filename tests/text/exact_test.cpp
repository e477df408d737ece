// Exact decimal sizes and the shell patterns of --keep.
#include "text/decimal.hpp"
#include "text/pattern.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace {

using rz::Decimal;
using rz::RoundMode;

std::string Shown(const std::optional<Decimal>& d) {
    return d ? d->ToText() : "refused";
}

Decimal D(const char* text) {
    return Decimal::Parse(text).value();
}

TEST(Decimal, ReadExactlyOrRefused) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"0.762", "0.762"}, {"1", "1.0"}, {"+.5", "0.5"}, {"5.", "5.0"}, {"-0.8", "-0.8"},
        {"1e-3", "0.001"}, {"2.5E+1", "25.0"}, {"0.30000000000000004", "refused"},
        {"0.000000000001", "0.000000000001"}, {"0.0000000000010000", "0.000000000001"},
        {"1.199896", "1.199896"}, {"000123.4500", "123.45"}, {"-0", "0.0"}, {"0e999999999", "0.0"},
        {"9223372.036854775807", "9223372.036854775807"}, {"9223372.036854775808", "refused"},
        {"1e7", "refused"}, {"1e-13", "refused"}, {"12345678901234567890e-13", "1234567.890123456789"}, {"1234567890123456789e-12", "1234567.890123456789"},
        // Not one number: blanks, a comma, a second point, half an exponent, words.
        {"", "refused"}, {".", "refused"}, {" 1", "refused"}, {"1 ", "refused"}, {"0,8", "refused"},
        {"1.2.3", "refused"}, {"1e", "refused"}, {"1e+", "refused"}, {"e3", "refused"},
        {"0x10", "refused"}, {"NaN", "refused"}, {"oval", "refused"}, {"1mm", "refused"}};
    // clang-format on
    for (const auto& [text, shown] : rows) {
        EXPECT_EQ(Shown(Decimal::Parse(text)), shown) << text;
    }
    EXPECT_LT(D("0.35"), D("0.350000000001"));
    EXPECT_EQ(D("1.0"), D("1"));
    EXPECT_EQ(Shown(D("9223372").Plus(D("0.036854775807"))), "9223372.036854775807");
    EXPECT_EQ(Shown(D("9223372").Plus(D("0.036854775808"))), "refused");
    EXPECT_EQ(Shown(D("-9223372").Minus(D("0.036854775808"))), "refused");
    EXPECT_EQ(Shown(D("0.3").Minus(D("0.45"))), "-0.15");
}

TEST(Decimal, RoundToAStepLikeDecimalsDo) {
    // Ties that binary floating point gets wrong one way or the other: 1.15 and 2.675 are
    // stored below the tie, 0.35 and 1.005 too.
    // clang-format off
    const std::tuple<const char*, const char*, RoundMode, const char*> rows[] = {
        {"0.35", "0.1", RoundMode::Nearest, "0.4"}, {"1.15", "0.1", RoundMode::Nearest, "1.2"},
        {"2.675", "0.01", RoundMode::Nearest, "2.68"}, {"1.005", "0.01", RoundMode::Nearest, "1.01"},
        {"0.325", "0.05", RoundMode::Nearest, "0.35"}, {"0.324", "0.05", RoundMode::Nearest, "0.3"},
        {"-0.35", "0.1", RoundMode::Nearest, "-0.4"}, {"0.04", "0.1", RoundMode::Nearest, "0.0"},
        {"1.016", "0.1", RoundMode::Up, "1.1"}, {"1.0", "0.1", RoundMode::Up, "1.0"},
        {"0.254", "0.05", RoundMode::Up, "0.3"}, {"-1.05", "0.1", RoundMode::Up, "-1.0"},
        {"0.84", "0.1", RoundMode::Down, "0.8"}, {"0.8", "0.1", RoundMode::Down, "0.8"},
        {"-1.05", "0.1", RoundMode::Down, "-1.1"}, {"2.54", "0.3", RoundMode::Nearest, "2.4"},
        {"9223372.036854775807", "0.1", RoundMode::Up, "refused"},
        {"1", "0", RoundMode::Nearest, "refused"}, {"1", "-0.1", RoundMode::Up, "refused"}};
    // clang-format on
    for (const auto& [value, step, mode, want] : rows) {
        EXPECT_EQ(Shown(D(value).RoundTo(D(step), mode)), want)
            << value << " step " << step << " mode " << static_cast<int>(mode);
    }
}

TEST(Pattern, ShellStyleOnReferencesAndFootprintNames) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"H1", "H1", true}, {"H1", "H10", false}, {"H*", "H10", true}, {"H*", "h1", false},
        {"*", "", true}, {"?", "", false}, {"J?", "J1", true}, {"J?", "J12", false},
        {"MountingHole:*", "MountingHole:MountingHole_3.2mm_M3", true},
        {"*:MountingHole_*_M3", "MountingHole:MountingHole_3.2mm_M3", true},
        {"*M3", "MountingHole:MountingHole_3.2mm_M3_Pad", false},
        {"R[0-9]", "R7", true}, {"R[0-9]", "RA", false}, {"R[!0-9]*", "RV1", true},
        {"R[^0-9]*", "R1", false}, {"[]]", "]", true}, {"[a-]", "-", true}, {"[ab", "[ab", true},
        {"\\*", "*", true}, {"\\*", "x", false}, {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false}, {"**?", "x", true}, {"?", "Ω", true}, {"U?", "U🙂", true},
        {"*[ü]", "Füß", false}, {"*[ß]", "Füß", true}};
    // clang-format on
    for (const auto& [pattern, text, want] : rows) {
        EXPECT_EQ(rz::MatchesPattern(pattern, text), want) << pattern << " on " << text;
    }
}

} // namespace
