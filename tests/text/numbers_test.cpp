// Reading, rounding and writing 32-bit values. The second run sets REZURUDEV_TEST_LOCALE to a
// German locale, where the C library writes ","; every expectation must hold unchanged.
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
#include <tuple>

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

// The digits of half the smallest subnormal: it rounds to even (zero), a hair more does not.
const Text kHalfMin = u"7.0064923216240853546186479164495806564013097093825788587853414194489554"
                      u"1342930300743319094181060791015625";
const std::string k512Zeros(512, '0');

// clang-format off
// Beyond the 32-bit range: infinity with the sign, below it zero with the sign (more in the
// comparison with strtof); half-way to the next power of two rounds up.
const std::pair<Text, float> kParseRows[] = {
    {u"0.762", 0.762f}, {u" 0.8mm", 0.8f}, {u".5", 0.5f}, {u"5.", 5.0f}, {u"1e-3", 0.001f},
    {u"-0.8", -0.8f}, {u"0,8", 0.0f}, {u"oval 1.2", 0.0f}, {u"", 0.0f}, {u"0x1p3", 0.0f},
    {u"\uFF12", 0.0f}, {u"+infinity", kInf}, {u"+INFINITY", kInf}, {u"-iNfInItY", -kInf},
    {u"NaN", kNaN}, {u"nAN", kNaN}, {u"Infinity", 0.0f}, {u"inf", 0.0f}, {u"-inf", 0.0f},
    {u" NaN", 0.0f}, {u"NaN ", 0.0f}, {u"+Infinity ", 0.0f}, {u"nanx", 0.0f}, {u"1e39", kInf},
    {u"-1e-50", -0.0f}, {u"340282356779733661637539395458142568447", kMax},
    {u"340282356779733661637539395458142568448", kInf}, {kHalfMin + u"e-46", 0.0f},
    {u"-" + kHalfMin + u"1e-46", -kMin}};

// 0.49999997 + 0.5 in 32 bits would round up to 1.
const std::pair<float, float> kRoundRows[] = {
    {7.62f, 8.0f}, {3.5f, 4.0f}, {4.5f, 5.0f}, {2.5f, 3.0f}, {0.5f, 1.0f}, {-0.5f, -1.0f},
    {-2.5f, -3.0f}, {-8.5f, -9.0f}, {2.4999998f, 2.0f}, {0.49999997f, 0.0f}, {-0.49999997f, -0.0f},
    {0.4f, 0.0f}, {-0.4f, -0.0f}, {0.0f, -0.0f}, {-0.0f, -0.0f}, {kMin, 0.0f}, {-kMin, -0.0f},
    {8388607.5f, 8388608.0f}, {-8388607.5f, -8388608.0f}, {8388609.0f, 8388609.0f},
    {1e30f, 1e30f}, {kMax, kMax}, {-kMax, -kMax}, {kInf, kInf}, {-kInf, -kInf}, {kNaN, kNaN}};

// Value, decimals (-1: the trimmed form), text.
const std::tuple<float, int32_t, std::string> kFormatRows[] = {
    {8.0f, -1, "8"}, {0.5f, -1, "0.5"}, {12.0f, -1, "12"}, {100.0f, -1, "100"}, {1.25f, -1, "1.25"},
    {-3.0f, -1, "-3"}, {0.0f, -1, "0"}, {-0.0f, -1, "0"}, {0.1f, -1, "0.1000000015"},
    {0.00001f, -1, "0.00001"}, {-0.00000000001f, -1, "-0"}, {rz::RoundNearest(0.0f), -1, "0"},
    {kInf, -1, "+Infinity"}, {-kInf, -1, "-Infinity"}, {kNaN, -1, "NaN"}, {-kNaN, -1, "NaN"},
    {8.0f, 2, "8.00"}, {8.0f, -5, "8"}, {8.0f, INT32_MIN, "8"}, {kInf, 3, "+Infinity"},
    {kNaN, 0, "NaN"}, {1.0f, 513, "1." + k512Zeros}, {1.0f, INT32_MAX, "1." + k512Zeros},
    {-kMax, 512, "-340282346638528859811704183484516925440." + k512Zeros}};

// A drill value text rounded to 0.1 mm through the product with 10 in 32 bits: value text,
// rounded product, its text, the text with "." before the last character. It pins down how
// the primitives work together at halves and zeros (0.35f is below 0.35, its product 3.5).
const std::tuple<Text, float, Text, Text> kDrillRows[] = {
    {u"0.762", 8.0f, u"8", u"0.8"}, {u"0.8", 8.0f, u"8", u"0.8"}, {u"1.016", 10.0f, u"10", u"1.0"},
    {u"1", 10.0f, u"10", u"1.0"}, {u"1.0", 10.0f, u"10", u"1.0"}, {u"0.35", 4.0f, u"4", u"0.4"},
    {u"0.45", 5.0f, u"5", u"0.5"}, {u"0.85", 9.0f, u"9", u"0.9"}, {u"0.04", 0.0f, u"0", u"0.0"},
    {u"2.54", 25.0f, u"25", u"2.5"}, {u"12.345", 123.0f, u"123", u"12.3"},
    {u"10", 100.0f, u"100", u"10.0"}, {u"0", -0.0f, u"0", u"0.0"}, {u"-0.8", -8.0f, u"-8", u"-.8"},
    {u"3.2", 32.0f, u"32", u"3.2"}, {u"0.05", 1.0f, u"1", u"0.1"}, {u"-0.04", -0.0f, u"0", u"0.0"},
    {u"-0.05", -1.0f, u"-1", u"-.1"}, {u"oval 1.2 2.0", -0.0f, u"0", u"0.0"},
    {u"NaN", kNaN, u"NaN", u"Na.N"}, {u"+Infinity", kInf, u"+Infinity", u"+Infinit.y"}};
// clang-format on

TEST(ParseFloat32, LeadingNumberSpecialTextsAndNonNumbers) {
    for (const auto& [text, want] : kParseRows) {
        EXPECT_EQ(Bits(rz::ParseFloat32(text)), Bits(want)) << rz::TextToUtf8(text);
    }
}

TEST(RoundNearest, HalvesAwayFromZeroAndNegativeZero) {
    for (const auto& [x, want] : kRoundRows) {
        EXPECT_EQ(Bits(rz::RoundNearest(x)), Bits(want)) << x;
    }
}

TEST(FormatFloat32, TenDecimalsTrimmedOrExplicitDecimalsClamped) {
    for (const auto& [x, decimals, want] : kFormatRows) {
        EXPECT_EQ(rz::TextToUtf8(rz::FormatFloat32(x, decimals)), want) << x << ", " << decimals;
    }
}

TEST(DrillValueChain, WorkedValues) {
    for (const auto& [value, rounded, formatted, result] : kDrillRows) {
        const float r = rz::RoundNearest(rz::ParseFloat32(value) * 10.0f);
        EXPECT_EQ(Bits(r), Bits(rounded)) << rz::TextToUtf8(value);
        Text t = rz::FormatFloat32(r);
        EXPECT_EQ(t, formatted);
        t = rz::LeftText(t, rz::TextLength(t) - 1) + u"." + rz::RightText(t, 1);
        EXPECT_EQ(rz::TextEquals(rz::LeftText(t, 1), u".") ? u"0" + t : t, result);
    }
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
    std::string Fixed(float x, int decimals) const {
        char buffer[700];
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x == 0.0f ? 0.0 : x);
        return buffer;
    }
};

// A text of the "%f" form with blanks in front and trailing text a scan must stop at; no
// letters that strtof would read as inf, nan or hexadecimal.
std::string RandomNumberText(std::mt19937_64& rng) {
    const auto digits = [&](std::size_t most) {
        std::string s(rng() % (most + 1), '0');
        for (char& c : s) {
            c = static_cast<char>('0' + rng() % 10);
        }
        return s;
    };
    const auto pick = [&](std::initializer_list<const char*> list) {
        return std::string(list.begin()[rng() % list.size()]);
    };
    std::string s = pick({"", "", "", " ", "  ", "\t", "\n ", "\r\f\v"}) + pick({"", "", "+", "-"});
    if (rng() % 6 == 0) { // a float or a near-tie between two neighbours, with many digits
        const float f = std::bit_cast<float>(std::min<uint32_t>(rng() & 0x7FFFFFFF, 0x7F7FFFFE));
        char tie[128];
        std::snprintf(tie, sizeof tie, "%.*e", static_cast<int>(rng() % 60),
                      rng() % 2 ? f : (static_cast<double>(f) + std::nextafter(f, kInf)) / 2);
        s += tie;
    } else if (rng() % 5 == 0) { // around the edges of the float range
        s += pick({"3.40282", "3.4028234", "3.4028236", "1.17549", "1.4012", "1.4013", "7.00649",
                   "7.0064923"}) +
             digits(30) + pick({"e38", "e-38", "e-45", "e-46", "E+38", "e37", "e-39"});
    } else { // parts at random, each possibly empty
        s += std::string(rng() % 8 ? 0 : rng() % 40, '0') + digits(rng() % 5 ? 6 : 60);
        if (rng() % 2) {
            s += '.';
            s += digits(rng() % 5 ? 6 : 60);
        }
        if (rng() % 3 == 0) {
            s += pick({"e", "E"}) + pick({"", "+", "-"});
            s += rng() % 10 ? std::to_string(rng() % 60) : digits(25);
        }
    }
    return s + pick({"", "", "", ")", "mm", ",5", " 7", "e", "e+", "E-", ".", ".5", "-", "+3",
                     "(drill 1)", ";"});
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
    for (int n = 0; n < 170000; ++n) { // the last 20000 with explicit decimals
        const auto bits = static_cast<uint32_t>(rng() % 0x7F800000) | (n & 1u) << 31; // finite
        const float x = n % 5 == 0   ? static_cast<float>(static_cast<int32_t>(bits) >> (n % 32))
                        : n % 5 == 1 ? std::bit_cast<float>(bits & 0x807FFFFF) // subnormals
                        : n % 5 == 2
                            ? static_cast<float>(static_cast<int>(bits % 200001) - 100000) / 1000
                            : std::bit_cast<float>(bits);
        const int decimals = n < 150000 ? -1 : rng() % 16 == 0 ? 512 : static_cast<int>(rng() % 60);
        std::string want = CLocale().Fixed(x, decimals < 0 ? 10 : decimals);
        if (decimals < 0 && want.back() == '0') {
            want.erase(want.find_last_not_of('0') + 1);
            want.erase(want.find_last_not_of('.') + 1);
        }
        ASSERT_EQ(rz::TextToUtf8(rz::FormatFloat32(x, decimals)), want)
            << std::bit_cast<uint32_t>(x) << " " << decimals;
    }
}
#endif

} // namespace
