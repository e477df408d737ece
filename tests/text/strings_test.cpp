#include "text/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using rz::Text;

namespace {

TEST(CutText, LeftRightAndMidClampCountsAndPositions) {
    const Text abc = u"abc", abcdef = u"abcdef";
    // clang-format off
    const std::pair<Text, Text> rows[] = {
        {rz::LeftText(abc, -1), u""}, {rz::LeftText(abc, 0), u""}, {rz::LeftText(abc, 2), u"ab"},
        {rz::LeftText(abc, 5), u"abc"}, {rz::LeftText(u"", 3), u""},
        {rz::LeftText(abc, INT32_MIN), u""}, {rz::RightText(abc, -7), u""},
        {rz::RightText(abc, 0), u""}, {rz::RightText(abc, 5), u"abc"},
        {rz::RightText(abc, INT32_MAX), u"abc"}, {rz::RightText(u"(drill 0.8)", 4), u"0.8)"},
        {rz::MidText(abcdef, 3, 2), u"cd"}, {rz::MidText(abcdef, 0, 2), u"ab"},
        {rz::MidText(abcdef, -5, 2), u"ab"}, {rz::MidText(abcdef, 5, 10), u"ef"},
        {rz::MidText(abcdef, 6, 1), u"f"}, {rz::MidText(abcdef, 7, 1), u""},
        {rz::MidText(abcdef, 2, -1), u""}, {rz::MidText(abcdef, 2, 0), u""},
        {rz::MidText(abcdef, INT32_MAX, INT32_MAX), u""},
        {rz::MidText(abcdef, 2, INT32_MAX), u"bcdef"}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    }
    EXPECT_EQ(rz::TextLength(Text()), 0);
    EXPECT_EQ(rz::TextLength(u"\U0001F600"), 2); // a surrogate pair counts twice
}

TEST(FindSubstring, PositionsAreOneBasedAndZeroMeansNotFound) {
    // Text, needle, start, result; a start of 1 also checks the form without a start.
    const Text t = u"a(b)c)";
    // clang-format off
    const std::tuple<Text, Text, int32_t, int32_t> rows[] = {
        {t, u")", 1, 4}, {t, u")", 4, 4}, {t, u")", 5, 6}, {t, u")", 6, 6}, {t, u")", 7, 0},
        {t, u")", 100, 0}, {t, u")", 0, 4}, {t, u")", -3, 4}, {t, u")", INT32_MIN, 4},
        {t, u")", INT32_MAX, 0}, {t, u"", 1, 0}, {t, u"", 2, 0}, {u"", u")", 1, 0}, {u"", u"", 1, 0},
        {u"(Drill 1.0)", u"(drill ", 1, 0}, {u"x (drill 1.0)", u"(drill ", 1, 3},
        {u"ab", u"abc", 1, 0}, {u"abcabc", u"abc", 2, 4}};
    // clang-format on
    for (const auto& [text, needle, start, want] : rows) {
        EXPECT_EQ(rz::FindSubstring(text, needle, start), want) << start;
        if (start == 1) {
            EXPECT_EQ(rz::FindSubstring(text, needle), want);
        }
    }
}

TEST(CompareTexts, UnsignedCodeUnitsProperPrefixFirstAndTextEquals) {
    struct Row {
        Text a, b;
        int sign;
    };
    // No collation; surrogates sort as plain numbers, unsigned.
    // clang-format off
    const Row rows[] = {
        {u"", Text(), 0}, {u"", u"a", -1}, {u"", u" ", -1}, {u"(drill 1)", u"(drill 1.0)", -1},
        {u"(drill 1.0)", u"(drill 10)", -1}, {u"(drill 10)", u"(drill 2)", -1}, {u")", u".", -1},
        {u".", u"0", -1}, {u"9", u"A", -1}, {u"Z", u"a", -1}, {u"Drill", u"drill", -1},
        {u"abc", u"ab", 1}, {u"abc", u"abc", 0}, {u"\u00E4", u"z", 1},
        {Text(1, char16_t(0xD800)), u"\uFFFF", -1},
        {Text(1, char16_t(0x8000)), Text(1, char16_t(0x7FFF)), 1}};
    // clang-format on
    for (const Row& r : rows) {
        const int got = rz::CompareTexts(r.a, r.b), back = rz::CompareTexts(r.b, r.a);
        EXPECT_EQ((got > 0) - (got < 0), r.sign) << ::testing::PrintToString(r.a);
        EXPECT_EQ((back > 0) - (back < 0), -r.sign) << ::testing::PrintToString(r.a);
        EXPECT_EQ(rz::TextEquals(r.a, r.b), r.sign == 0) << ::testing::PrintToString(r.a);
        EXPECT_EQ(rz::TextEquals(r.b, r.a), r.sign == 0) << ::testing::PrintToString(r.a);
    }
}

TEST(ReplaceAllText, LeftmostNonOverlappingAndNeverRescanned) {
    // clang-format off
    // clang-format off
    const Text rows[][4] = {
        {u"(drill 1)(drill 1)", u"(drill 1)", u"(drill 1.0)", u"(drill 1.0)(drill 1.0)"},
        {u"aaa", u"aa", u"b", u"ba"}, {u"abc", u"", u"x", u"abc"},
        {u"banana", u"a", u"aa", u"baanaanaa"}, {u"ABC abc", u"abc", u"x", u"ABC x"}};
    // clang-format on
    for (const auto& r : rows) {
        EXPECT_EQ(rz::ReplaceAllText(r[0], r[1], r[2]), r[3]) << ::testing::PrintToString(r[1]);
    }
}

TEST(ReplaceAllText, AgreesWithNaiveScanOnRandomTexts) {
    std::mt19937 rng(20240611);
    const Text alphabets[] = {u"ab", u"abc", Text{u'a', char16_t(0xD800)}};
    for (int n = 0; n < 100000; ++n) {
        const Text& alphabet = alphabets[n % 3];
        const auto random = [&](unsigned maxLen) {
            Text s(rng() % (maxLen + 1), u'a');
            for (char16_t& c : s) {
                c = alphabet[rng() % alphabet.size()];
            }
            return s;
        };
        const Text t = random(12), needle = random(3), replacement = random(4);
        // At each position an occurrence is replaced and skipped, else one unit copied.
        Text want;
        for (std::size_t i = 0; i < t.size();) {
            const bool hit = !needle.empty() && t.compare(i, needle.size(), needle) == 0;
            want += hit ? replacement : Text(1, t[i]);
            i += hit ? needle.size() : 1;
        }
        ASSERT_EQ(rz::ReplaceAllText(t, needle, replacement), want)
            << ::testing::PrintToString(t) << " / " << ::testing::PrintToString(needle);
    }
}

TEST(SortTextRange, DrillTokensEmptyRangesAndIndicesKeptToTheTable) {
    std::vector<Text> table = {u"(drill 2)", u"(drill 10)", u"", u"(drill 1.0)", u"(drill 1)"};
    const std::vector<Text> untouched = table;
    for (const auto& [first, last] : {std::pair{0, -1}, {3, 3}, {4, 2}}) {
        rz::SortTextRange(table, first, last);
        EXPECT_EQ(table, untouched);
    }
    rz::SortTextRange(table, 0, 4);
    EXPECT_EQ(table,
              (std::vector<Text>{u"", u"(drill 1)", u"(drill 1.0)", u"(drill 10)", u"(drill 2)"}));
    table = {u"c", u"a", u"b"};
    rz::SortTextRange(table, -5, 10);
    EXPECT_EQ(table, (std::vector<Text>{u"a", u"b", u"c"}));
    table.clear();
    rz::SortTextRange(table, 0, 3);
    EXPECT_TRUE(table.empty());
}

TEST(SortTextRange, AgreesWithSortingByCompareTexts) {
    std::mt19937 rng(77);
    // Few distinct code units give many duplicates and shared prefixes; code units at and
    // above 0xD800 must sort as unsigned numbers, after the ASCII ones.
    const char16_t units[] = {u'(', u')', u'.', u'1', u'a', 0xD7FF, 0xD800, 0xDC00, 0xFFFD, 0xFFFF};
    for (int round = 0; round < 3000; ++round) {
        std::vector<Text> table(rng() % 61);
        for (Text& t : table) {
            t.resize(rng() % 5);
            for (char16_t& c : t) {
                c = units[rng() % std::size(units)];
            }
        }
        const int size = static_cast<int>(table.size());
        const int first = size == 0 ? 0 : static_cast<int>(rng() % size);
        const int last = size == 0 ? -1 : first + static_cast<int>(rng() % (size - first));
        std::vector<Text> want = table;
        std::sort(want.begin() + first, want.begin() + last + 1,
                  [](const Text& a, const Text& b) { return rz::CompareTexts(a, b) < 0; });
        rz::SortTextRange(table, first, last);
        ASSERT_EQ(table, want) << "round " << round;
    }
}

TEST(SortTextRange, SortedReversedAndEqualTablesStayFast) {
    // Inputs that push a quicksort to its worst case; a deep recursion would overflow the stack.
    const int n = 200000;
    std::vector<Text> sorted(n);
    for (int i = 0; i < n; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%06d", i);
        sorted[i] = Text(digits, digits + 6);
    }
    std::vector<Text> table = sorted;
    rz::SortTextRange(table, 0, n - 1);
    EXPECT_EQ(table, sorted);
    std::reverse(table.begin(), table.end());
    rz::SortTextRange(table, 0, n - 1);
    EXPECT_EQ(table, sorted);
    std::vector<Text> same(n, u"(drill 0.8)");
    rz::SortTextRange(same, 0, n - 1);
    EXPECT_EQ(same, std::vector<Text>(n, u"(drill 0.8)"));
}

TEST(Utf8ToText, WellFormedSequencesBothWays) {
    // A byte-order mark is an ordinary character; NUL too (splitting lines is the caller's).
    // clang-format off
    const std::pair<std::string, Text> rows[] = {
        {"", u""}, {"(drill 0.8)", u"(drill 0.8)"}, {"\xC3\xA4", u"\u00E4"},
        {"\xC2\x80", u"\u0080"}, {"\xDF\xBF", u"\u07FF"}, {"\xE0\xA0\x80", u"\u0800"},
        {"\xED\x9F\xBF", u"\uD7FF"}, {"\xEE\x80\x80", u"\uE000"}, {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xEF\xBB\xBFx", u"\uFEFFx"}, {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"}, {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {std::string("A\0B", 3), Text(u"A\0B", 3)}};
    // clang-format on
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(rz::Utf8ToText(bytes), text);
        EXPECT_EQ(rz::TextToUtf8(text), bytes);
    }
}

TEST(Utf8ToText, EachMaximalMalformedSubpartBecomesOneReplacement) {
    // Bytes, then the text they give with U+FFFD written as "?".
    // Overlong forms, encoded surrogates and values above U+10FFFF are never valid; a text
    // cut short at the end, or by a byte that starts anew (a line end after Latin-1), too.
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"\x80", "?"}, {"a\xBFz", "a?z"}, {"\xC0\xAF", "??"}, {"\xC1\xBF", "??"},
        {"\xE0\x80\xAF", "???"}, {"\xED\xA0\x80", "???"}, {"\xF0\x80\x80\x80", "????"},
        {"\xF4\x90\x80\x80", "????"}, {"\xF5\x80", "??"}, {"\xFF\xFE", "??"}, {"\xC3", "?"},
        {"\xE2\x82", "?"}, {"\xF0\x9F\x98", "?"}, {"\xE2\x82z", "?z"}, {"\xE2\x82\n", "?\n"},
        {"\xF0\x9F\x98\xC3\xA4", "?\xC3\xA4"}, {"\xE4\n", "?\n"}, {"\xC3\xC3\xA4", "?\xC3\xA4"},
        {"z\x80\x80\x80z", "z???z"}, {"12345678\xE9z2345678", "12345678?z2345678"}};
    // clang-format on
    for (const auto& [bytes, shape] : rows) {
        Text want = rz::Utf8ToText(shape);
        std::replace(want.begin(), want.end(), u'?', u'\uFFFD');
        EXPECT_EQ(rz::Utf8ToText(bytes), want) << ::testing::PrintToString(bytes);
    }
}

TEST(TextToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(rz::TextToUtf8(Text{0xD800}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{0xDC00}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{u'a', 0xD83D, u'b'}), "a" + fffd + "b");
    EXPECT_EQ(rz::TextToUtf8(Text{0xDE00, 0xD83D}), fffd + fffd); // reversed pair
    EXPECT_EQ(rz::TextToUtf8(Text{0xD83D, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
}

TEST(Utf8RoundTrip, RandomTextsAndBytes) {
    std::mt19937 rng(4242);
    // Any text without lone surrogates survives UTF-8 and back.
    for (int n = 0; n < 20000; ++n) {
        Text t;
        for (std::size_t len = rng() % 41; t.size() < len;) {
            const uint32_t limit[] = {0x80, 0x800, 0xD800, 0x10000, 0x110000};
            uint32_t cp = 1 + rng() % (limit[rng() % 5] - 1);
            cp = cp >= 0xD800 && cp <= 0xDFFF ? 0xE000 : cp;
            if (cp >= 0x10000) {
                t += {char16_t(0xD800 + ((cp - 0x10000) >> 10)), char16_t(0xDC00 + (cp & 0x3FF))};
            } else {
                t += char16_t(cp);
            }
        }
        ASSERT_EQ(rz::Utf8ToText(rz::TextToUtf8(t)), t);
    }
    // Any bytes at all decode to well-formed text, which encodes to well-formed UTF-8,
    // which decodes again to the same text.
    for (int n = 0; n < 20000; ++n) {
        std::string bytes(rng() % 25, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(rng() % 3 == 0 ? 0x80 + rng() % 0x80 : rng() % 256);
        }
        const Text t = rz::Utf8ToText(bytes);
        const std::string again = rz::TextToUtf8(t);
        ASSERT_EQ(rz::Utf8ToText(again), t) << ::testing::PrintToString(bytes);
        ASSERT_EQ(rz::TextToUtf8(rz::Utf8ToText(again)), again);
    }
}

} // namespace
