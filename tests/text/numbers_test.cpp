// Reading, rounding and writing 32-bit values. The whole file also runs a second time
// under a German locale (see locale_env.cpp), where the C library writes "," instead of
// ".": every expectation here must hold unchanged.
#include "text/text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#if defined(__GLIBC__)
#include <locale.h>
#endif

using rz::Text;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kDenormMin = std::numeric_limits<float>::denorm_min();
constexpr float kMax = std::numeric_limits<float>::max();

std::string Show(const Text& t) {
    return rz::TextToUtf8(t);
}

// Same value and same sign bit; every NaN equals every NaN.
::testing::AssertionResult SameFloat(float got, float want) {
    if ((std::isnan(got) && std::isnan(want)) ||
        std::bit_cast<uint32_t>(got) == std::bit_cast<uint32_t>(want)) {
        return ::testing::AssertionSuccess();
    }
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "got %.9g (0x%08x), want %.9g (0x%08x)", got,
                  static_cast<unsigned>(std::bit_cast<uint32_t>(got)), want,
                  static_cast<unsigned>(std::bit_cast<uint32_t>(want)));
    return ::testing::AssertionFailure() << buffer;
}

TEST(ParseFloat32, LeadingNumberSpecialTextsAndNonNumbers) {
    struct Row {
        const char16_t* text;
        float want;
    };
    const Row rows[] = {
        {u"0.762", 0.762f},
        {u"0.8", 0.8f},
        {u" 0.8mm", 0.8f},
        {u"\t\n\v\f\r 12", 12.0f},
        {u".5", 0.5f},
        {u"5.", 5.0f},
        {u"-.5", -0.5f},
        {u"+.5e1", 5.0f},
        {u"1e-3", 0.001f},
        {u"1.5E+2x", 150.0f},
        {u"1e", 1.0f}, // an exponent needs digits; the "e" is trailing text
        {u"1e+", 1.0f},
        {u"2e-", 2.0f},
        {u"-0.8", -0.8f},
        {u"-0", -0.0f},
        {u"0,8", 0.0f}, // never a decimal comma, whatever the locale
        {u"1,5", 1.0f},
        {u"1 000", 1.0f},
        {u"oval 1.2", 0.0f},
        {u"", 0.0f},
        {u".", 0.0f},
        {u"-", 0.0f},
        {u"+", 0.0f},
        {u"e5", 0.0f},
        {u".e5", 0.0f},
        {u"- 1", 0.0f},
        {u"0x1p3", 0.0f},  // no hexadecimal
        {u"\uFF12", 0.0f}, // fullwidth digit two is not a digit
        {u"+infinity", kInf},
        {u"+INFINITY", kInf},
        {u"+Infinity", kInf},
        {u"-Infinity", -kInf},
        {u"-iNfInItY", -kInf},
        {u"Infinity", 0.0f},
        {u"inf", 0.0f},
        {u"-inf", 0.0f},
        {u" NaN", 0.0f},
        {u"NaN ", 0.0f},
        {u"+Infinity ", 0.0f},
        {u"nanx", 0.0f},
        {u"123456789012345678901234567890", 123456789012345678901234567890.0f},
        {u"0.00000000000000000000000000000000000000000000000000000001e56", 1.0f},
        {u"0e999999999999999999", 0.0f},
        // Beyond the 32-bit range: infinity with the sign; below it: zero with the sign.
        {u"1e39", kInf},
        {u"-1e39", -kInf},
        {u"1e999999999999999999999", kInf},
        {u"-0.000001e99999", -kInf},
        {u"1e-50", 0.0f},
        {u"-1e-50", -0.0f},
        {u"-123456789e-99999999999", -0.0f},
        {u"340282346638528859811704183484516925440", kMax},
        {u"340282356779733661637539395458142568447", kMax},
        {u"340282356779733661637539395458142568448", kInf}, // half-way rounds to even: up
        {u"1.4e-45", kDenormMin},
        {u"-1.4e-45", -kDenormMin},
        {u"1e-40", 1e-40f}, // subnormal results are kept
        // Half the smallest subnormal rounds to even (zero); a hair more does not.
        {u"7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743"
         u"319094181060791015625e-46",
         0.0f},
        {u"7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743"
         u"319094181060791015626e-46",
         kDenormMin},
    };
    for (const Row& r : rows) {
        EXPECT_TRUE(SameFloat(rz::ParseFloat32(r.text), r.want)) << Show(r.text);
    }
    EXPECT_TRUE(std::isnan(rz::ParseFloat32(u"NaN")));
    EXPECT_TRUE(std::isnan(rz::ParseFloat32(u"nan")));
    EXPECT_TRUE(std::isnan(rz::ParseFloat32(u"nAN")));
    EXPECT_FALSE(std::signbit(rz::ParseFloat32(u"NaN")));
}

TEST(RoundNearest, HalvesAwayFromZeroAndNegativeZero) {
    struct Row {
        float x;
        float want;
    };
    const Row rows[] = {
        {7.62f, 8.0f},
        {3.5f, 4.0f},
        {4.5f, 5.0f},
        {2.5f, 3.0f},
        {0.5f, 1.0f},
        {-0.5f, -1.0f},
        {-2.5f, -3.0f},
        {-8.5f, -9.0f},
        {2.4999998f, 2.0f},
        {0.49999997f, 0.0f}, // x + 0.5 in 32 bits would round up to 1
        {-0.49999997f, -0.0f},
        {0.4f, 0.0f},
        {-0.4f, -0.0f},
        {0.0f, -0.0f},
        {-0.0f, -0.0f},
        {kDenormMin, 0.0f},
        {-kDenormMin, -0.0f},
        {8388607.5f, 8388608.0f},
        {-8388607.5f, -8388608.0f},
        {8388609.0f, 8388609.0f},
        {16777216.0f, 16777216.0f},
        {1e30f, 1e30f},
        {kMax, kMax},
        {-kMax, -kMax},
        {kInf, kInf},
        {-kInf, -kInf},
    };
    for (const Row& r : rows) {
        EXPECT_TRUE(SameFloat(rz::RoundNearest(r.x), r.want)) << r.x;
    }
    EXPECT_TRUE(std::isnan(rz::RoundNearest(std::numeric_limits<float>::quiet_NaN())));
}

TEST(FormatFloat32, TenDecimalsTrimmed) {
    struct Row {
        float x;
        const char16_t* want;
    };
    const Row rows[] = {
        {8.0f, u"8"},
        {0.5f, u"0.5"},
        {12.0f, u"12"},
        {100.0f, u"100"},
        {1.25f, u"1.25"},
        {-3.0f, u"-3"},
        {0.0f, u"0"},
        {-0.0f, u"0"},
        {0.1f, u"0.1000000015"},
        {0.00001f, u"0.00001"},
        {-0.00000000001f, u"-0"},
        {123.45f, u"123.4499969482"},
        {1e10f, u"10000000000"},
        {kMax, u"340282346638528859811704183484516925440"},
        {-kMax, u"-340282346638528859811704183484516925440"},
        {kDenormMin, u"0"},
        {-kDenormMin, u"-0"},
        {0.00000000005f, u"0.0000000001"},
        {kInf, u"+Infinity"},
        {-kInf, u"-Infinity"},
        {std::numeric_limits<float>::quiet_NaN(), u"NaN"},
        {-std::numeric_limits<float>::quiet_NaN(), u"NaN"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Show(rz::FormatFloat32(r.x)), Show(r.want)) << r.x;
    }
    EXPECT_EQ(rz::FormatFloat32(rz::RoundNearest(0.0f)), u"0");
}

TEST(FormatFloat32, ExplicitDecimalsClampedAndNeverTrimmed) {
    struct Row {
        float x;
        int32_t decimals;
        std::string want;
    };
    const Row rows[] = {
        {8.0f, 2, "8.00"},
        {8.0f, 0, "8"},
        {8.0f, -5, "8"}, // negative counts other than -1 mean 0
        {8.0f, INT32_MIN, "8"},
        {8.0f, -1, "8"}, // -1 is the trimmed form
        {0.5f, -1, "0.5"},
        {0.5f, 0, "0"}, // the exact value is rounded half to even, as printf does
        {1.5f, 0, "2"},
        {1.25f, 1, "1.2"},
        {0.1f, 10, "0.1000000015"},
        {0.1f, 30, "0.100000001490116119384765625000"},
        {-0.0f, 3, "0.000"},
        {-1.0f, 3, "-1.000"},
        {kInf, 3, "+Infinity"},
        {std::numeric_limits<float>::quiet_NaN(), 0, "NaN"},
        {1.0f, 512, "1." + std::string(512, '0')},
        {1.0f, 513, "1." + std::string(512, '0')},
        {1.0f, INT32_MAX, "1." + std::string(512, '0')},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Show(rz::FormatFloat32(r.x, r.decimals)), r.want)
            << r.x << " with " << r.decimals;
    }
    // The largest text: all digits of the largest float and 512 decimals.
    const Text longest = rz::FormatFloat32(-kMax, 512);
    EXPECT_EQ(longest.size(), 1u + 39u + 1u + 512u);
    EXPECT_EQ(Show(rz::LeftText(longest, 41)), "-340282346638528859811704183484516925440.");
}

// The chain that turns a drill value text into its text rounded to 0.1 mm, written out
// here to pin down how the primitives behave together at halves and zeros.
TEST(DrillValueChain, WorkedValues) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    // x is the 32-bit product; where it cannot be exact (marked approximate) it is only
    // checked to lie near the decimal, the exact value being what the product gives.
    struct Row {
        const char16_t* value;
        float x;
        bool approximate;
        float r;
        const char16_t* formatted;
        const char16_t* result;
    };
    const Row rows[] = {
        {u"0.762", 7.62f, true, 8.0f, u"8", u"0.8"},
        {u"0.8", 8.0f, false, 8.0f, u"8", u"0.8"},
        {u"1.016", 10.16f, true, 10.0f, u"10", u"1.0"},
        {u"1", 10.0f, false, 10.0f, u"10", u"1.0"},
        {u"1.0", 10.0f, false, 10.0f, u"10", u"1.0"},
        {u"0.35", 3.5f, false, 4.0f, u"4", u"0.4"}, // 0.35f is below 0.35, the product is not
        {u"0.45", 4.5f, false, 5.0f, u"5", u"0.5"},
        {u"0.85", 8.5f, false, 9.0f, u"9", u"0.9"},
        {u"0.04", 0.4f, true, 0.0f, u"0", u"0.0"},
        {u"2.54", 25.4f, true, 25.0f, u"25", u"2.5"},
        {u"12.345", 123.45f, true, 123.0f, u"123", u"12.3"},
        {u"10", 100.0f, false, 100.0f, u"100", u"10.0"},
        {u"0", 0.0f, false, -0.0f, u"0", u"0.0"},
        {u"-0.8", -8.0f, false, -8.0f, u"-8", u"-.8"},
        {u"3.2", 32.0f, false, 32.0f, u"32", u"3.2"},
        {u"0.05", 0.5f, false, 1.0f, u"1", u"0.1"},
        {u"-0.04", -0.4f, true, -0.0f, u"0", u"0.0"},
        {u"-0.05", -0.5f, false, -1.0f, u"-1", u"-.1"},
        {u"oval 1.2 2.0", 0.0f, false, -0.0f, u"0", u"0.0"},
        {u"NaN", kNaN, false, kNaN, u"NaN", u"Na.N"},
        {u"+Infinity", kInf, false, kInf, u"+Infinity", u"+Infinit.y"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Show(row.value));
        const float f = rz::ParseFloat32(row.value);
        const float x = f * 10.0f;
        if (row.approximate) {
            EXPECT_NEAR(x, row.x, 1e-5f * std::fabs(row.x));
        } else {
            EXPECT_TRUE(SameFloat(x, row.x));
        }
        const float r = rz::RoundNearest(x);
        EXPECT_TRUE(SameFloat(r, row.r));
        Text t = rz::FormatFloat32(r);
        EXPECT_EQ(Show(t), Show(row.formatted));
        t = rz::LeftText(t, rz::TextLength(t) - 1) + u"." + rz::RightText(t, 1);
        if (rz::TextEquals(rz::LeftText(t, 1), u".")) {
            t = u"0" + t;
        }
        EXPECT_EQ(Show(t), Show(row.result));
    }
}

TEST(NumberLocale, RequestedLocaleIsInEffect) {
    // Guards the second run: without this, a locale that silently failed to apply would
    // make the German run a copy of the first.
    const char* requested = std::getenv("REZURUDEV_TEST_LOCALE"); // NOLINT
    if (requested == nullptr || *requested == '\0') {
        EXPECT_STREQ(std::localeconv()->decimal_point, ".");
        return;
    }
    const std::string name = requested;
    if (name.rfind("de_", 0) == 0) {
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
        EXPECT_STREQ(buffer, "0,5");
    }
    EXPECT_EQ(Show(rz::FormatFloat32(0.5f)), "0.5");
    EXPECT_TRUE(SameFloat(rz::ParseFloat32(u"0.5"), 0.5f));
}

#if defined(__GLIBC__) || defined(__MINGW32__)
// glibc's strtof and printf are correctly rounded and exact, and so are mingw-w64's own
// (its C++ programs use them instead of the Microsoft runtime's), so they serve as
// oracles. On glibc they run in the "C" locale of this thread only, while the code under
// test sees the process locale; the Windows run never leaves the "C" locale.
class CLocaleOracle {
public:
#if defined(__GLIBC__)
    CLocaleOracle() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))) {}
    ~CLocaleOracle() {
        freelocale(c_);
    }
#else
    CLocaleOracle() {
        EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
    }
#endif
    CLocaleOracle(const CLocaleOracle&) = delete;
    CLocaleOracle& operator=(const CLocaleOracle&) = delete;

    float Strtof(const std::string& s) const {
        char* end = nullptr;
#if defined(__GLIBC__)
        const float v = strtof_l(s.c_str(), &end, c_);
#else
        const float v = std::strtof(s.c_str(), &end);
#endif
        // No conversion reads as +0 in C; mingw-w64's strtof gives -0 for "-" and the like.
        return end == s.c_str() ? 0.0f : v;
    }

    std::string Fixed(double x, int decimals) const {
        char buffer[700];
#if defined(__GLIBC__)
        const locale_t previous = uselocale(c_);
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
        uselocale(previous);
#else
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
#endif
        return buffer;
    }

#if defined(__GLIBC__)
private:
    locale_t c_;
#endif
};

Text Widen(const std::string& s) {
    return Text(s.begin(), s.end());
}

std::string RandomDigits(std::mt19937_64& rng, int minLen, int maxLen) {
    std::string s(std::uniform_int_distribution<int>(minLen, maxLen)(rng), '0');
    for (char& c : s) {
        c = static_cast<char>('0' + rng() % 10);
    }
    return s;
}

// A text of the "%f" form with all the parts the scan knows, plus blanks in front and
// trailing text that a scan must stop at. No letters that strtof would read as inf, nan
// or hexadecimal are produced.
std::string RandomNumberText(std::mt19937_64& rng) {
    static const char* const blanks[] = {"", "", "", " ", "  ", "\t", "\n ", "\r\f\v"};
    static const char* const signs[] = {"", "", "+", "-"};
    static const char* const tails[] = {"",   "",   "",  ")",  "mm", ",5", " 7",        "e",
                                        "e+", "E-", ".", ".5", "-",  "+3", "(drill 1)", ";"};
    std::string s = blanks[rng() % std::size(blanks)];
    s += signs[rng() % std::size(signs)];
    switch (rng() % 6) {
    case 0: { // around the edges of the float range, in decimal
        static const char* const edges[] = {"3.40282", "3.4028234", "3.4028236", "1.17549",
                                            "1.4012",  "1.4013",    "7.00649",   "7.0064923"};
        s += edges[rng() % std::size(edges)] + RandomDigits(rng, 0, 30);
        static const char* const exps[] = {"e38", "e-38", "e-45", "e-46", "E+38", "e37", "e-39"};
        s += exps[rng() % std::size(exps)];
        break;
    }
    case 1: { // a float or a near-tie between two neighbours, with many digits
        const float f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        if (!std::isfinite(f)) {
            s += "1";
            break;
        }
        const double next = std::nextafter(f, kInf);
        const double v = rng() % 2 ? f : (static_cast<double>(f) + next) / 2;
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, "%.*e", static_cast<int>(rng() % 60), std::fabs(v));
        s += buffer;
        break;
    }
    default: { // parts at random, each possibly empty
        if (rng() % 8 == 0) {
            s += std::string(rng() % 40, '0');
        }
        s += RandomDigits(rng, 0, rng() % 5 == 0 ? 60 : 6);
        if (rng() % 2) {
            s += '.';
            s += RandomDigits(rng, 0, rng() % 5 == 0 ? 60 : 6);
        }
        if (rng() % 3 == 0) {
            s += rng() % 2 ? 'e' : 'E';
            s += signs[rng() % std::size(signs)];
            s += rng() % 10 == 0 ? RandomDigits(rng, 0, 25) : std::to_string(rng() % 60);
        }
        break;
    }
    }
    s += tails[rng() % std::size(tails)];
    return s;
}

TEST(ParseFloat32, AgreesWithStrtofInTheCLocale) {
    const CLocaleOracle oracle;
    std::mt19937_64 rng(0x5EED0001);
    for (int n = 0; n < 150000; ++n) {
        const std::string s = RandomNumberText(rng);
        ASSERT_TRUE(SameFloat(rz::ParseFloat32(Widen(s)), oracle.Strtof(s))) << "\"" << s << "\"";
    }
}

std::string Trimmed(std::string s) {
    if (!s.empty() && s.back() == '0' && s.find('.') != std::string::npos) {
        while (s.back() == '0') {
            s.pop_back();
        }
        if (s.back() == '.') {
            s.pop_back();
        }
    }
    return s;
}

float RandomFormatValue(std::mt19937_64& rng) {
    switch (rng() % 5) {
    case 0: // whole numbers
        return static_cast<float>(static_cast<int32_t>(rng()) >> (rng() % 32));
    case 1: // subnormals
        return std::bit_cast<float>(static_cast<uint32_t>(rng() & 0x807FFFFF));
    case 2: // drill-like values with few decimals
        return static_cast<float>(static_cast<int32_t>(rng() % 200001) - 100000) / 1000.0f;
    default: // any pattern
        return std::bit_cast<float>(static_cast<uint32_t>(rng()));
    }
}

TEST(FormatFloat32, AgreesWithPrintfInTheCLocale) {
    const CLocaleOracle oracle;
    std::mt19937_64 rng(0x5EED0002);
    for (int n = 0; n < 150000; ++n) {
        float x = RandomFormatValue(rng);
        if (!std::isfinite(x)) {
            continue;
        }
        const std::string got = Show(rz::FormatFloat32(x));
        if (x == 0.0f) {
            x = 0.0f;
        }
        ASSERT_EQ(got, Trimmed(oracle.Fixed(x, 10))) << std::bit_cast<uint32_t>(x);
    }
    for (int n = 0; n < 20000; ++n) {
        float x = RandomFormatValue(rng);
        if (!std::isfinite(x)) {
            continue;
        }
        const int decimals = rng() % 16 == 0 ? 512 : static_cast<int>(rng() % 60);
        const std::string got = Show(rz::FormatFloat32(x, decimals));
        if (x == 0.0f) {
            x = 0.0f;
        }
        ASSERT_EQ(got, oracle.Fixed(x, decimals)) << std::bit_cast<uint32_t>(x) << " " << decimals;
    }
}
#endif

} // namespace
