#include "text/text.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using rz::Text;

namespace {

std::string Show(const Text& t) {
    return rz::TextToUtf8(t);
}

TEST(CutText, LeftRightAndMidClampCountsAndPositions) {
    struct Row {
        Text got;
        Text want;
    };
    const Text abc = u"abc";
    const Text abcdef = u"abcdef";
    const Row rows[] = {
        {rz::LeftText(abc, -1), u""},
        {rz::LeftText(abc, 0), u""},
        {rz::LeftText(abc, 2), u"ab"},
        {rz::LeftText(abc, 5), u"abc"},
        {rz::LeftText(u"", 3), u""},
        {rz::RightText(abc, -7), u""},
        {rz::RightText(abc, 0), u""},
        {rz::RightText(abc, 5), u"abc"},
        {rz::RightText(u"(drill 0.8)", 4), u"0.8)"},
        {rz::MidText(abcdef, 3, 2), u"cd"},
        {rz::MidText(abcdef, 0, 2), u"ab"},
        {rz::MidText(abcdef, -5, 2), u"ab"},
        {rz::MidText(abcdef, 5, 10), u"ef"},
        {rz::MidText(abcdef, 6, 1), u"f"},
        {rz::MidText(abcdef, 7, 1), u""},
        {rz::MidText(abcdef, 2, -1), u""},
        {rz::MidText(abcdef, 2, 0), u""},
        {rz::MidText(abcdef, INT32_MAX, INT32_MAX), u""},
        {rz::MidText(abcdef, 2, INT32_MAX), u"bcdef"},
        {rz::LeftText(abc, INT32_MIN), u""},
        {rz::RightText(abc, INT32_MAX), u"abc"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].got, rows[i].want) << "row " << i << ": " << Show(rows[i].got);
    }
    EXPECT_EQ(rz::TextLength(u""), 0);
    EXPECT_EQ(rz::TextLength(Text()), 0);
    EXPECT_EQ(rz::TextLength(u"(drill 0.8)"), 11);
    EXPECT_EQ(rz::TextLength(u"\U0001F600"), 2); // a surrogate pair counts twice
}

TEST(FindSubstring, PositionsAreOneBasedAndZeroMeansNotFound) {
    const Text t = u"a(b)c)";
    EXPECT_EQ(rz::FindSubstring(t, u")"), 4);
    struct Row {
        int32_t start;
        int32_t want;
    };
    const Row rows[] = {{4, 4},         {5, 6}, {6, 6},  {7, 0},         {100, 0},
                        {INT32_MAX, 0}, {0, 4}, {-3, 4}, {INT32_MIN, 4}, {1, 4}};
    for (const Row& r : rows) {
        EXPECT_EQ(rz::FindSubstring(t, u")", r.start), r.want) << "start " << r.start;
    }
    EXPECT_EQ(rz::FindSubstring(t, u""), 0);
    EXPECT_EQ(rz::FindSubstring(t, u"", 2), 0);
    EXPECT_EQ(rz::FindSubstring(u"", u")"), 0);
    EXPECT_EQ(rz::FindSubstring(u"", u")", 1), 0);
    EXPECT_EQ(rz::FindSubstring(u"", u""), 0);
    EXPECT_EQ(rz::FindSubstring(u"(Drill 1.0)", u"(drill "), 0);
    EXPECT_EQ(rz::FindSubstring(u"x (drill 1.0)", u"(drill "), 3);
    EXPECT_EQ(rz::FindSubstring(u"ab", u"abc"), 0);
    EXPECT_EQ(rz::FindSubstring(u"abcabc", u"abc", 2), 4);
}

TEST(TextEquals, ExactAndCaseSensitive) {
    EXPECT_FALSE(rz::TextEquals(u"(drill 1)", u"(drill 1.0)"));
    EXPECT_FALSE(rz::TextEquals(u"(drill 1.0)", u"(drill 1)"));
    EXPECT_FALSE(rz::TextEquals(u"Drill", u"drill"));
    EXPECT_TRUE(rz::TextEquals(u"(drill 1)", u"(drill 1)"));
    EXPECT_TRUE(rz::TextEquals(u"", Text()));
    EXPECT_FALSE(rz::TextEquals(u"", u" "));
}

TEST(CompareTexts, UnsignedCodeUnitsProperPrefixFirst) {
    struct Row {
        Text a;
        Text b;
        int sign;
    };
    const Row rows[] = {
        {u"", u"", 0},
        {u"", u"a", -1},
        {u"(drill 1)", u"(drill 1.0)", -1},
        {u"(drill 1.0)", u"(drill 10)", -1},
        {u"(drill 10)", u"(drill 2)", -1},
        {u")", u".", -1},
        {u".", u"0", -1},
        {u"9", u"A", -1},
        {u"Z", u"a", -1},
        {u"abc", u"ab", 1},
        {u"abc", u"abc", 0},
        {u"\u00E4", u"z", 1},                       // no collation
        {Text(1, char16_t(0xD800)), u"\uFFFF", -1}, // surrogates sort as plain numbers
        {Text(1, char16_t(0xFFFF)), Text(1, char16_t(0x7FFF)), 1},
        {Text(1, char16_t(0x8000)), Text(1, char16_t(0x7FFF)), 1}, // not signed 16-bit
    };
    for (const Row& r : rows) {
        const int got = rz::CompareTexts(r.a, r.b);
        const int sign = (got > 0) - (got < 0);
        EXPECT_EQ(sign, r.sign) << Show(r.a) << " vs " << Show(r.b);
        const int back = rz::CompareTexts(r.b, r.a);
        EXPECT_EQ((back > 0) - (back < 0), -r.sign);
    }
}

TEST(ReplaceAllText, LeftmostNonOverlappingAndNeverRescanned) {
    struct Row {
        Text t, needle, replacement, want;
    };
    const Row rows[] = {
        {u"(drill 1)(drill 1)", u"(drill 1)", u"(drill 1.0)", u"(drill 1.0)(drill 1.0)"},
        {u"aaa", u"aa", u"b", u"ba"},
        {u"aaaa", u"aa", u"b", u"bb"},
        {u"abc", u"", u"x", u"abc"},
        {u"", u"a", u"x", u""},
        {u"", u"", u"x", u""},
        {u"banana", u"a", u"aa", u"baanaanaa"},
        {u"banana", u"ana", u"", u"bna"},
        {u"abc", u"abc", u"", u""},
        {u"abc", u"abcd", u"x", u"abc"},
        {u"ABC abc", u"abc", u"x", u"ABC x"},
        {u"(drill 0.8) (drill 0.8)) x", u"(drill 0.8)", u"(drill 0.8)",
         u"(drill 0.8) (drill 0.8)) x"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(rz::ReplaceAllText(r.t, r.needle, r.replacement), r.want)
            << Show(r.t) << " / " << Show(r.needle) << " -> " << Show(r.replacement);
    }
}

// The scan as a plain loop: at each position, an occurrence is replaced and skipped,
// otherwise one code unit is copied.
Text NaiveReplace(const Text& t, const Text& needle, const Text& replacement) {
    if (needle.empty()) {
        return t;
    }
    Text out;
    std::size_t i = 0;
    while (i < t.size()) {
        if (t.compare(i, needle.size(), needle) == 0) {
            out += replacement;
            i += needle.size();
        } else {
            out += t[i];
            ++i;
        }
    }
    return out;
}

TEST(ReplaceAllText, AgreesWithNaiveScanOnRandomTexts) {
    std::mt19937 rng(20240611);
    const Text alphabets[] = {u"ab", u"abc", Text{u'a', char16_t(0xD800)}};
    auto randomText = [&](const Text& alphabet, int maxLen) {
        Text s(std::uniform_int_distribution<int>(0, maxLen)(rng), u'a');
        for (char16_t& c : s) {
            c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        }
        return s;
    };
    for (int n = 0; n < 100000; ++n) {
        const Text& alphabet = alphabets[n % 3];
        const Text t = randomText(alphabet, 12);
        const Text needle = randomText(alphabet, 3);
        const Text replacement = randomText(alphabet, 4);
        const Text got = rz::ReplaceAllText(t, needle, replacement);
        ASSERT_EQ(got, NaiveReplace(t, needle, replacement))
            << Show(t) << " / " << Show(needle) << " -> " << Show(replacement);
    }
}

} // namespace
