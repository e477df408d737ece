// Reading, rounding and writing 32-bit values. When REZURUDEV_TEST_LOCALE names a locale
// (the second run, German, where the C library writes ","), the whole program runs under it
// and every expectation here must hold unchanged.
#define _CRT_SECURE_NO_WARNINGS // getenv is fine here
#include "text/text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#if defined(__GLIBC__)
#include <locale.h>
#endif

using rz::Text;

namespace {

// A locale that cannot be set ends the program rather than letting the run pass in "C".
class LocaleFromEnvironment : public ::testing::Environment {
    void SetUp() override {
        const char* name = std::getenv("REZURUDEV_TEST_LOCALE");
        if (name != nullptr && *name != '\0' && std::setlocale(LC_ALL, name) == nullptr) {
            std::fprintf(stderr, "error: cannot set the locale \"%s\" (see scripts/setup.sh)\n",
                         name);
            std::exit(1);
        }
    }
};
[[maybe_unused]] ::testing::Environment* const kLocale =
    ::testing::AddGlobalTestEnvironment(new LocaleFromEnvironment);

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMin = std::numeric_limits<float>::denorm_min();
constexpr float kMax = std::numeric_limits<float>::max();

// Compared by bits, so that the sign of a zero counts; every NaN counts as the same.
uint32_t Bits(float f) {
    return std::isnan(f) ? 0x7FC00000u : std::bit_cast<uint32_t>(f);
}

TEST(ParseFloat32, LeadingNumberSpecialTextsAndNonNumbers) {
    // A fullwidth two is no digit. Beyond the 32-bit range: infinity with the sign; below it:
    // zero with the sign; half-way between the largest float and the next power rounds up.
    // clang-format off
    const std::pair<Text, float> rows[] = {
        {u"0.762", 0.762f}, {u" 0.8mm", 0.8f}, {u"\t\n\v\f\r 12", 12.0f}, {u".5", 0.5f},
        {u"5.", 5.0f}, {u"1e-3", 0.001f}, {u"1.5E+2x", 150.0f}, {u"1e+", 1.0f}, {u"-0.8", -0.8f},
        {u"-0", -0.0f}, {u"0,8", 0.0f}, {u"1,5", 1.0f}, {u"oval 1.2", 0.0f}, {u"", 0.0f},
        {u".", 0.0f}, {u"-", 0.0f}, {u".e5", 0.0f}, {u"- 1", 0.0f}, {u"0x1p3", 0.0f},
        {u"\uFF12", 0.0f}, {u"+infinity", kInf}, {u"+INFINITY", kInf}, {u"-iNfInItY", -kInf},
        {u"NaN", kNaN}, {u"nAN", kNaN}, {u"Infinity", 0.0f}, {u"inf", 0.0f}, {u"-inf", 0.0f},
        {u" NaN", 0.0f}, {u"NaN ", 0.0f}, {u"+Infinity ", 0.0f}, {u"nanx", 0.0f},
        {u"0e999999999999999999", 0.0f}, {u"1e39", kInf}, {u"-1e39", -kInf},
        {u"1e999999999999999999999", kInf}, {u"-1e-50", -0.0f}, {u"-123456789e-99999999999", -0.0f},
        {u"1e-40", 1e-40f}, {u"-1.4e-45", -kMin},
        {u"340282356779733661637539395458142568447", kMax},
        {u"340282356779733661637539395458142568448", kInf}};
    // clang-format on
    for (const auto& [text, want] : rows) {
        EXPECT_EQ(Bits(rz::ParseFloat32(text)), Bits(want)) << rz::TextToUtf8(text);
    }
    EXPECT_FALSE(std::signbit(rz::ParseFloat32(u"NaN")));
    // Half the smallest subnormal rounds to even (zero); a hair more does not.
    const Text half = u"7.0064923216240853546186479164495806564013097093825788587853414194489554"
                      u"1342930300743319094181060791015625";
    EXPECT_EQ(Bits(rz::ParseFloat32(half + u"e-46")), Bits(0.0f));
    EXPECT_EQ(Bits(rz::ParseFloat32(half + u"1e-46")), Bits(kMin));
}

TEST(RoundNearest, HalvesAwayFromZeroAndNegativeZero) {
    // 0.49999997 + 0.5 in 32 bits would round up to 1.
    // clang-format off
    const std::pair<float, float> rows[] = {
        {7.62f, 8.0f}, {3.5f, 4.0f}, {4.5f, 5.0f}, {2.5f, 3.0f}, {0.5f, 1.0f}, {-0.5f, -1.0f},
        {-2.5f, -3.0f}, {-8.5f, -9.0f}, {2.4999998f, 2.0f}, {0.49999997f, 0.0f},
        {-0.49999997f, -0.0f}, {0.4f, 0.0f}, {-0.4f, -0.0f}, {0.0f, -0.0f}, {-0.0f, -0.0f},
        {kMin, 0.0f}, {-kMin, -0.0f}, {8388607.5f, 8388608.0f}, {-8388607.5f, -8388608.0f},
        {8388609.0f, 8388609.0f}, {1e30f, 1e30f}, {kMax, kMax}, {-kMax, -kMax}, {kInf, kInf},
        {-kInf, -kInf}, {kNaN, kNaN}};
    // clang-format on
    for (const auto& [x, want] : rows) {
        EXPECT_EQ(Bits(rz::RoundNearest(x)), Bits(want)) << x;
    }
}

TEST(FormatFloat32, TenDecimalsTrimmedOrExplicitDecimalsClamped) {
    const std::string zeros(512, '0');
    struct Row {
        float x;
        int32_t decimals; // -1: the trimmed form
        std::string want;
    };
    // clang-format off
    const Row rows[] = {
        {8.0f, -1, "8"}, {0.5f, -1, "0.5"}, {12.0f, -1, "12"}, {100.0f, -1, "100"},
        {1.25f, -1, "1.25"}, {-3.0f, -1, "-3"}, {0.0f, -1, "0"}, {-0.0f, -1, "0"},
        {0.1f, -1, "0.1000000015"}, {0.00001f, -1, "0.00001"}, {-0.00000000001f, -1, "-0"},
        {rz::RoundNearest(0.0f), -1, "0"}, {kInf, -1, "+Infinity"}, {-kInf, -1, "-Infinity"},
        {kNaN, -1, "NaN"}, {-kNaN, -1, "NaN"}, {8.0f, 2, "8.00"}, {8.0f, -5, "8"},
        {8.0f, INT32_MIN, "8"}, {kInf, 3, "+Infinity"}, {kNaN, 0, "NaN"}, {1.0f, 513, "1." + zeros},
        {1.0f, INT32_MAX, "1." + zeros},
        {-kMax, 512, "-340282346638528859811704183484516925440." + zeros}};
    // clang-format on
    for (const Row& r : rows) {
        EXPECT_EQ(rz::TextToUtf8(rz::FormatFloat32(r.x, r.decimals)), r.want) << r.decimals;
    }
}

// The chain that turns a drill value text into its text rounded to 0.1 mm (through the
// product with 10 in 32 bits), pinning down how the primitives behave together at halves and
// zeros: 0.35f is below 0.35, but its product with 10 is 3.5 exactly.
TEST(DrillValueChain, WorkedValues) {
    // Value text, rounded product, its text, the text with "." before the last character.
    // clang-format off
    const std::tuple<Text, float, Text, Text> rows[] = {
        {u"0.762", 8.0f, u"8", u"0.8"}, {u"0.8", 8.0f, u"8", u"0.8"}, {u"1.016", 10.0f, u"10", u"1.0"},
        {u"1", 10.0f, u"10", u"1.0"}, {u"1.0", 10.0f, u"10", u"1.0"}, {u"0.35", 4.0f, u"4", u"0.4"},
        {u"0.45", 5.0f, u"5", u"0.5"}, {u"0.85", 9.0f, u"9", u"0.9"}, {u"0.04", 0.0f, u"0", u"0.0"},
        {u"2.54", 25.0f, u"25", u"2.5"}, {u"12.345", 123.0f, u"123", u"12.3"},
        {u"10", 100.0f, u"100", u"10.0"}, {u"0", -0.0f, u"0", u"0.0"}, {u"-0.8", -8.0f, u"-8", u"-.8"},
        {u"3.2", 32.0f, u"32", u"3.2"}, {u"0.05", 1.0f, u"1", u"0.1"}, {u"-0.04", -0.0f, u"0", u"0.0"},
        {u"-0.05", -1.0f, u"-1", u"-.1"}, {u"oval 1.2 2.0", -0.0f, u"0", u"0.0"},
        {u"NaN", kNaN, u"NaN", u"Na.N"}, {u"+Infinity", kInf, u"+Infinity", u"+Infinit.y"}};
    // clang-format on
    for (const auto& [value, rounded, formatted, result] : rows) {
        const float r = rz::RoundNearest(rz::ParseFloat32(value) * 10.0f);
        EXPECT_EQ(Bits(r), Bits(rounded)) << rz::TextToUtf8(value);
        Text t = rz::FormatFloat32(r);
        EXPECT_EQ(t, formatted);
        t = rz::LeftText(t, rz::TextLength(t) - 1) + u"." + rz::RightText(t, 1);
        EXPECT_EQ(rz::TextEquals(rz::LeftText(t, 1), u".") ? u"0" + t : t, result);
    }
}

TEST(NumberLocale, RequestedLocaleIsInEffect) {
    // Without this, a locale that silently failed to apply would make the German run a copy
    // of the first.
    const char* name = std::getenv("REZURUDEV_TEST_LOCALE");
    const bool german = name != nullptr && std::string(name).rfind("de_", 0) == 0;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
    EXPECT_STREQ(buffer, german ? "0,5" : "0.5");
    EXPECT_EQ(rz::FormatFloat32(0.5f), u"0.5");
    EXPECT_EQ(Bits(rz::ParseFloat32(u"0.5")), Bits(0.5f));
}

#if defined(__GLIBC__) || defined(__MINGW32__)
// glibc's strtof and printf are correctly rounded and exact, and so are mingw-w64's own,
// so they serve as oracles in the "C" locale: on glibc that of this thread only, while the
// code under test sees the process locale; the Windows run never leaves "C".
struct InCLocale {
#if defined(__GLIBC__)
    static inline const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    locale_t previous = uselocale(c);
    ~InCLocale() {
        uselocale(previous);
    }
#endif
};

float Strtof(const std::string& s) {
    [[maybe_unused]] const InCLocale c;
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    return end == s.c_str() ? 0.0f : v; // mingw-w64 gives -0 for "-" and the like
}

std::string Fixed(float x, int decimals) {
    [[maybe_unused]] const InCLocale c;
    char buffer[700];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x == 0.0f ? 0.0 : x);
    return buffer;
}

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
    const float f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
    char tie[128]; // a float or a near-tie between two neighbours, with many digits
    std::snprintf(
        tie, sizeof tie, "%.*e", static_cast<int>(rng() % 60),
        std::fabs(rng() % 2 ? f : (static_cast<double>(f) + std::nextafter(f, kInf)) / 2));
    if (rng() % 6 == 0) {
        s += std::isfinite(f) ? tie : "1";
    } else if (rng() % 5 == 0) { // around the edges of the float range
        s += pick({"3.40282", "3.4028234", "3.4028236", "1.17549", "1.4012", "1.4013", "7.00649",
                   "7.0064923"}) +
             digits(30) + pick({"e38", "e-38", "e-45", "e-46", "E+38", "e37", "e-39"});
    } else { // parts at random, each possibly empty
        s += std::string(rng() % 8 ? 0 : rng() % 40, '0') + digits(rng() % 5 ? 6 : 60);
        s += rng() % 2 ? "." + digits(rng() % 5 ? 6 : 60) : "";
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
        ASSERT_EQ(Bits(rz::ParseFloat32(Text(s.begin(), s.end()))), Bits(Strtof(s))) << s;
    }
}

TEST(FormatFloat32, AgreesWithPrintfInTheCLocale) {
    std::mt19937_64 rng(0x5EED0002);
    for (int n = 0; n < 170000; ++n) { // the last 20000 with explicit decimals
        const auto bits = static_cast<uint32_t>(rng());
        const float x = n % 5 == 0   ? static_cast<float>(static_cast<int32_t>(bits) >> (n % 32))
                        : n % 5 == 1 ? std::bit_cast<float>(bits & 0x807FFFFF) // subnormals
                        : n % 5 == 2
                            ? static_cast<float>(static_cast<int>(bits % 200001) - 100000) / 1000
                            : std::bit_cast<float>(bits);
        const int decimals = n < 150000 ? -1 : rng() % 16 == 0 ? 512 : static_cast<int>(rng() % 60);
        if (!std::isfinite(x)) {
            continue;
        }
        std::string want = Fixed(x, decimals < 0 ? 10 : decimals);
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
