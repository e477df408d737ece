// Reading, rounding and writing 32-bit values. The second run sets REZURUDEV_TEST_LOCALE to a
// German locale, where the C library writes ","; every expectation must hold unchanged, and
// the C library's own strtof and printf, run in "C", are the oracles.
#define _CRT_SECURE_NO_WARNINGS // getenv is fine here
#include "text/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

#if defined(__GLIBC__)
#include <locale.h>
#endif

using rz::Text;

namespace {

// A locale that cannot be set ends the program rather than letting the run pass in "C".
[[maybe_unused]] const bool kLocaleSet = [] {
    const char* name = std::getenv("REZURUDEV_TEST_LOCALE");
    if (name != nullptr && *name != '\0' && std::setlocale(LC_ALL, name) == nullptr) {
        std::fprintf(stderr, "error: no locale \"%s\" (see scripts/setup.sh)\n", name);
        std::exit(1);
    }
    return true;
}();

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMin = std::numeric_limits<float>::denorm_min();
constexpr float kMax = std::numeric_limits<float>::max();

// Compared by bits, so that the sign of a zero or a NaN counts, but not a NaN's payload.
uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f) & (std::isnan(f) ? 0xFFC00000u : 0xFFFFFFFFu);
}

// clang-format off
// What the oracles below cannot cover: the special texts (whole text, ASCII case ignored),
// what is no number, the exact edges of the float range, halves and zeros.
const std::pair<Text, float> kParseRows[] = {
    {u" 0.8mm", 0.8f}, {u"0,8", 0.0f}, {u"oval 1.2", 0.0f}, {u"0x1p3", 0.0f}, {u"\uFF12", 0.0f},
    {u"+infinity", kInf}, {u"-iNfInItY", -kInf}, {u"nAN", kNaN}, {u"Infinity", 0.0f}, {u"inf", 0.0f},
    {u" NaN", 0.0f}, {u"+Infinity ", 0.0f}, {u"340282356779733661637539395458142568447", kMax},
    {u"340282356779733661637539395458142568448", kInf}, {u"-1e-46", -0.0f}, {u"-1.4e-45", -kMin}};
// 0.49999997 + 0.5 in 32 bits would round up to 1.
const std::pair<float, float> kRoundRows[] = {
    {2.5f, 3.0f}, {-2.5f, -3.0f}, {2.4999998f, 2.0f}, {0.49999997f, 0.0f}, {-0.4f, -0.0f},
    {0.0f, -0.0f}, {-8388607.5f, -8388608.0f}, {8388609.0f, 8388609.0f}, {kMax, kMax}, {kNaN, kNaN}};
// clang-format on

TEST(Numbers, ParseAndRoundAtTheEdges) {
    for (const auto& [text, want] : kParseRows) {
        EXPECT_EQ(Bits(rz::ParseFloat32(text)), Bits(want)) << rz::TextToUtf8(text);
    }
    for (const auto& [x, want] : kRoundRows) {
        EXPECT_EQ(Bits(rz::RoundNearest(x)), Bits(want)) << x;
    }
    // The other special values are in the rounding of drill values.
    EXPECT_EQ(rz::FormatFloat32(-kInf) + rz::FormatFloat32(-kNaN), u"-InfinityNaN");
}

#if defined(__GLIBC__) || defined(__MINGW32__)
// glibc's and mingw-w64's own strtof and printf are correctly rounded and exact: oracles in
// "C", on glibc that of this thread only (the code under test sees the process locale).
struct CLocale {
#if defined(__GLIBC__)
    static inline const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    locale_t previous = uselocale(c);
    ~CLocale() {
        uselocale(previous);
    }
#endif
    float Strtof(const std::string& s) const {
        char* end = nullptr;
        const float v = std::strtof(s.c_str(), &end);
        return end == s.c_str() ? 0.0f : v; // mingw-w64 gives -0 for "-" and the like
    }
};

// A "%f" text (a float or a tie of two, an edge of the range, or parts at random) between
// blanks and text a scan must stop at; no letters strtof would read as inf, nan or hex.
std::string RandomNumberText(std::mt19937_64& rng) {
    const auto pick = [&](std::initializer_list<const char*> list) {
        return std::string(list.begin()[rng() % list.size()]);
    };
    const auto digits = [&](std::size_t most) {
        std::string s(rng() % (most + 1), '0');
        std::generate(s.begin(), s.end(), [&] { return static_cast<char>('0' + rng() % 10); });
        return s;
    };
    std::string s = pick({"", "", " ", "\t", "\n ", "\r\f\v"}) + pick({"", "", "+", "-"});
    char text[128];
    const float f = std::bit_cast<float>(std::min<uint32_t>(rng() & 0x7FFFFFFF, 0x7F7FFFFE));
    std::snprintf(text, sizeof text, "%.*e", static_cast<int>(rng() % 60),
                  rng() % 2 ? f : (static_cast<double>(f) + std::nextafter(f, kInf)) / 2);
    s += rng() % 6 == 0 ? text
         : rng() % 5 == 0
             ? pick({"3.4028234", "3.4028236", "1.17549", "1.4012", "7.0064923"}) + digits(30) +
                   pick({"e38", "e-38", "e-45", "e-46", "e37", "e-39"})
             : std::string(rng() % 8 ? 0 : rng() % 40, '0') + digits(rng() % 5 ? 6 : 60) +
                   pick({"", ".", "."}) + digits(rng() % 5 ? 6 : 60) +
                   (rng() % 3
                        ? ""
                        : pick({"e", "E"}) + pick({"", "+", "-"}) + digits(rng() % 9 ? 2 : 25));
    return s + pick({"", "", ")", "mm", ",5", " 7", "e", "e+", "E-", ".", ".5", "-", "(drill 1)"});
}

TEST(ParseFloat32, AgreesWithStrtofInTheCLocale) {
    std::mt19937_64 rng(0x5EED0001);
    for (int n = 0; n < 150000; ++n) {
        const std::string s = RandomNumberText(rng);
        ASSERT_EQ(Bits(rz::ParseFloat32(Text(s.begin(), s.end()))), Bits(CLocale().Strtof(s))) << s;
    }
}

TEST(FormatFloat32, AgreesWithPrintfInTheCLocale) {
    std::mt19937_64 rng(0x5EED0002);
    for (int n = 0; n < 150000; ++n) {
        const auto bits = static_cast<uint32_t>(rng() % 0x7F800000) | (n & 1u) << 31; // finite
        const float x = n % 4 == 0 ? std::bit_cast<float>(bits & 0x807FFFFF)          // subnormals
                        : n % 4 == 1
                            ? static_cast<float>(static_cast<int>(bits % 200001) - 100000) / 1000
                            : std::bit_cast<float>(bits);
        [[maybe_unused]] const CLocale c;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.10f", x == 0.0f ? 0.0 : x);
        std::string want = buffer;
        want.erase(want.find_last_not_of('0') + 1);
        want.erase(want.find_last_not_of('.') + 1);
        ASSERT_EQ(rz::TextToUtf8(rz::FormatFloat32(x)), want) << std::bit_cast<uint32_t>(x);
    }
}
#endif

} // namespace
