// Drill values at the edges of 32-bit floats. Whatever the rounding gives, the board
// must still hold a number where a number stood: KiCad cannot load "(drill +Infinit.y)".
#include "support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace rzsafe;

namespace {

class SafetyExtremeValue : public ::testing::TestWithParam<const char*> {};

TEST_P(SafetyExtremeValue, StaysANumber) {
    TempDir dir("values");
    const fs::path board = dir / "board.kicad_pcb";
    const std::string value = GetParam();
    WriteBytes(board, "(kicad_pcb\n  (pad \"1\" thru_hole circle (drill " + value + "))\n)\n");
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    ASSERT_EQ(s.rows.size(), 1u);
    ASSERT_EQ(s.Apply(), rz::ApplyOutcome::Written);

    const std::string after = ReadBytes(board);
    const std::size_t at = after.find("(drill ");
    ASSERT_NE(at, std::string::npos);
    const std::size_t end = after.find(')', at);
    const std::string written = after.substr(at + 7, end - at - 7);
    EXPECT_EQ(rz::TextToUtf8(s.rows[0].After), written);
    char* stop = nullptr;
    const double number = std::strtod(written.c_str(), &stop);
    EXPECT_TRUE(stop != written.c_str() && *stop == '\0' && std::isfinite(number))
        << "(drill " << value << ") was written as (drill " << written << ")";
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyExtremeValue,
                         ::testing::Values("3e38", "-3e38", "3.4e38", "3.5e37", "1e30", "123456789",
                                           "1e-45", "0.0000001", "-0", "+0.8", ".5", "5.", "1e-3",
                                           "0.35"));

} // namespace
