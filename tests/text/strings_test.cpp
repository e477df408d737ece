#include "text/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

using rz::Text;

namespace {

// clang-format off
const Text kAbc = u"abc", kAbcdef = u"abcdef";
const std::pair<Text, Text> kCutRows[] = { // result, expected
    {rz::LeftText(kAbc, -1), u""}, {rz::LeftText(kAbc, 0), u""}, {rz::LeftText(kAbc, 2), u"ab"},
    {rz::LeftText(kAbc, 5), u"abc"}, {rz::LeftText(u"", 3), u""}, {rz::LeftText(kAbc, INT32_MIN), u""},
    {rz::RightText(kAbc, -7), u""}, {rz::RightText(kAbc, 0), u""}, {rz::RightText(kAbc, 5), u"abc"},
    {rz::RightText(kAbc, INT32_MAX), u"abc"}, {rz::RightText(u"(drill 0.8)", 4), u"0.8)"},
    {rz::MidText(kAbcdef, 3, 2), u"cd"}, {rz::MidText(kAbcdef, 0, 2), u"ab"},
    {rz::MidText(kAbcdef, -5, 2), u"ab"}, {rz::MidText(kAbcdef, 5, 10), u"ef"},
    {rz::MidText(kAbcdef, 6, 1), u"f"}, {rz::MidText(kAbcdef, 7, 1), u""},
    {rz::MidText(kAbcdef, 2, -1), u""}, {rz::MidText(kAbcdef, 2, 0), u""},
    {rz::MidText(kAbcdef, INT32_MAX, INT32_MAX), u""}, {rz::MidText(kAbcdef, 2, INT32_MAX), u"bcdef"}};

// Text, needle, start, result; a start of 1 also checks the form without a start.
const Text kT = u"a(b)c)";
const std::tuple<Text, Text, int32_t, int32_t> kFindRows[] = {
    {kT, u")", 1, 4}, {kT, u")", 4, 4}, {kT, u")", 5, 6}, {kT, u")", 6, 6}, {kT, u")", 7, 0},
    {kT, u")", 100, 0}, {kT, u")", 0, 4}, {kT, u")", -3, 4}, {kT, u")", INT32_MIN, 4},
    {kT, u")", INT32_MAX, 0}, {kT, u"", 1, 0}, {kT, u"", 2, 0}, {u"", u")", 1, 0}, {u"", u"", 1, 0},
    {u"(Drill 1.0)", u"(drill ", 1, 0}, {u"x (drill 1.0)", u"(drill ", 1, 3},
    {u"ab", u"abc", 1, 0}, {u"abcabc", u"abc", 2, 4}};

// No collation; surrogates sort as plain numbers, unsigned.
const std::tuple<Text, Text, int> kCompareRows[] = {
    {u"", Text(), 0}, {u"", u"a", -1}, {u"", u" ", -1}, {u"(drill 1)", u"(drill 1.0)", -1},
    {u"(drill 1.0)", u"(drill 10)", -1}, {u"(drill 10)", u"(drill 2)", -1}, {u")", u".", -1},
    {u".", u"0", -1}, {u"9", u"A", -1}, {u"Z", u"a", -1}, {u"Drill", u"drill", -1},
    {u"abc", u"ab", 1}, {u"abc", u"abc", 0}, {u"\u00E4", u"z", 1},
    {Text(1, char16_t(0xD800)), u"\uFFFF", -1}, {Text(1, char16_t(0x8000)), Text(1, char16_t(0x7FFF)), 1}};

const Text kReplaceRows[][4] = { // text, needle, replacement, result
    {u"(drill 1)(drill 1)", u"(drill 1)", u"(drill 1.0)", u"(drill 1.0)(drill 1.0)"},
    {u"aaa", u"aa", u"b", u"ba"}, {u"abc", u"", u"x", u"abc"},
    {u"banana", u"a", u"aa", u"baanaanaa"}, {u"ABC abc", u"abc", u"x", u"ABC x"}};

// Both ways; a byte-order mark is an ordinary character, NUL too (splitting lines at it is the
// caller's business).
const std::pair<std::string, Text> kWellFormed[] = {
    {"", u""}, {"(drill 0.8)", u"(drill 0.8)"}, {"\xC3\xA4", u"\u00E4"}, {"\xC2\x80", u"\u0080"},
    {"\xDF\xBF", u"\u07FF"}, {"\xE0\xA0\x80", u"\u0800"}, {"\xED\x9F\xBF", u"\uD7FF"},
    {"\xEE\x80\x80", u"\uE000"}, {"\xEF\xBF\xBF", u"\uFFFF"}, {"\xEF\xBB\xBFx", u"\uFEFFx"},
    {"\xF0\x90\x80\x80", u"\U00010000"}, {"\xF0\x9F\x98\x80", u"\U0001F600"},
    {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"}, {std::string("A\0B", 3), Text(u"A\0B", 3)}};

// Each maximal malformed subpart becomes one U+FFFD, written "?" here. Overlong forms, encoded
// surrogates and values above U+10FFFF are never valid; nor is a sequence cut short at the end
// or by a byte that starts anew (a line end after Latin-1 is kept).
const std::pair<std::string, std::string> kMalformed[] = {
    {"\x80", "?"}, {"a\xBFz", "a?z"}, {"\xC0\xAF", "??"}, {"\xC1\xBF", "??"},
    {"\xE0\x80\xAF", "???"}, {"\xED\xA0\x80", "???"}, {"\xF0\x80\x80\x80", "????"},
    {"\xF4\x90\x80\x80", "????"}, {"\xF5\x80", "??"}, {"\xFF\xFE", "??"}, {"\xC3", "?"},
    {"\xE2\x82", "?"}, {"\xF0\x9F\x98", "?"}, {"\xE2\x82z", "?z"}, {"\xE2\x82\n", "?\n"},
    {"\xF0\x9F\x98\xC3\xA4", "?\xC3\xA4"}, {"\xE4\n", "?\n"}, {"\xC3\xC3\xA4", "?\xC3\xA4"},
    {"z\x80\x80\x80z", "z???z"}, {"12345678\xE9z2345678", "12345678?z2345678"}};
// clang-format on

TEST(CutText, LeftRightAndMidClampCountsAndPositions) {
    for (std::size_t i = 0; i < std::size(kCutRows); ++i) {
        EXPECT_EQ(kCutRows[i].first, kCutRows[i].second) << "row " << i;
    }
}

TEST(FindSubstring, PositionsAreOneBasedAndZeroMeansNotFound) {
    for (const auto& [text, needle, start, want] : kFindRows) {
        EXPECT_EQ(rz::FindSubstring(text, needle, start), want) << start;
        if (start == 1) {
            EXPECT_EQ(rz::FindSubstring(text, needle), want);
        }
    }
}

TEST(CompareTexts, UnsignedCodeUnitsProperPrefixFirstAndTextEquals) {
    for (const auto& [a, b, sign] : kCompareRows) {
        const int got = rz::CompareTexts(a, b), back = rz::CompareTexts(b, a);
        EXPECT_EQ((got > 0) - (got < 0), sign) << ::testing::PrintToString(a);
        EXPECT_EQ((back > 0) - (back < 0), -sign) << ::testing::PrintToString(a);
        EXPECT_EQ(rz::TextEquals(a, b), sign == 0) << ::testing::PrintToString(a);
        EXPECT_EQ(rz::TextEquals(b, a), sign == 0) << ::testing::PrintToString(a);
    }
}

TEST(ReplaceAllText, TableAndAgreementWithNaiveScanOnRandomTexts) {
    for (const auto& r : kReplaceRows) {
        EXPECT_EQ(rz::ReplaceAllText(r[0], r[1], r[2]), r[3]) << ::testing::PrintToString(r[1]);
    }
    std::mt19937 rng(20240611);
    const Text alphabets[] = {u"ab", u"abc", Text{u'a', char16_t(0xD800)}};
    for (int n = 0; n < 100000; ++n) {
        const auto random = [&](unsigned maxLen) {
            Text s(rng() % (maxLen + 1), u'a');
            for (char16_t& c : s) {
                c = alphabets[n % 3][rng() % alphabets[n % 3].size()];
            }
            return s;
        };
        const Text t = random(12), needle = random(3), replacement = random(4);
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

bool ByCompareTexts(const Text& a, const Text& b) {
    return rz::CompareTexts(a, b) < 0;
}

TEST(SortTextRange, DrillTokensRangesAndAgreementWithSortingByCompareTexts) {
    std::vector<Text> tokens = {u"(drill 2)", u"(drill 10)", u"", u"(drill 1.0)", u"(drill 1)"};
    const std::vector<Text> untouched = tokens;
    for (const auto& [first, last] : {std::pair{0, -1}, {3, 3}, {4, 2}}) {
        rz::SortTextRange(tokens, first, last);
        EXPECT_EQ(tokens, untouched);
    }
    const std::vector<Text> inOrder = {u"", u"(drill 1)", u"(drill 1.0)", u"(drill 10)",
                                       u"(drill 2)"};
    rz::SortTextRange(tokens, 0, 4);
    EXPECT_EQ(tokens, inOrder);
    std::reverse(tokens.begin(), tokens.end());
    rz::SortTextRange(tokens, -5, 10); // indices beyond the table are kept to it
    EXPECT_EQ(tokens, inOrder);
    tokens.clear();
    rz::SortTextRange(tokens, 0, 3);
    EXPECT_TRUE(tokens.empty());
    // Few distinct code units give many duplicates and shared prefixes; code units at and
    // above 0xD800 must sort as unsigned numbers, after the ASCII ones.
    const char16_t units[] = {u'(', u')', u'.', u'1', u'a', 0xD7FF, 0xD800, 0xDC00, 0xFFFD, 0xFFFF};
    std::mt19937 rng(77);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Text> table(1 + rng() % 60);
        for (Text& t : table) {
            for (std::size_t k = rng() % 5; k > 0; --k) {
                t += units[rng() % std::size(units)];
            }
        }
        const int first = static_cast<int>(rng() % table.size());
        const int last = first + static_cast<int>(rng() % (table.size() - first));
        std::vector<Text> want = table;
        std::sort(want.begin() + first, want.begin() + last + 1, ByCompareTexts);
        rz::SortTextRange(table, first, last);
        ASSERT_EQ(table, want) << "round " << round;
    }
    // Sorted, reversed and equal tables push a quicksort to its worst case; a deep recursion
    // would overflow the stack.
    std::vector<Text> sorted, same(200000, u"(drill 0.8)");
    for (int i = 100000; i < 300000; ++i) {
        const std::string digits = std::to_string(i);
        sorted.emplace_back(digits.begin(), digits.end());
    }
    for (auto table : {sorted, std::vector<Text>(sorted.rbegin(), sorted.rend()), same}) {
        std::vector<Text> want = table;
        std::sort(want.begin(), want.end(), ByCompareTexts);
        rz::SortTextRange(table, 0, static_cast<int>(table.size()) - 1);
        EXPECT_EQ(table, want);
    }
}

TEST(Utf8ToText, WellFormedMalformedAndLoneSurrogates) {
    for (const auto& [bytes, text] : kWellFormed) {
        EXPECT_EQ(rz::Utf8ToText(bytes), text);
        EXPECT_EQ(rz::TextToUtf8(text), bytes);
    }
    for (const auto& [bytes, shape] : kMalformed) {
        Text want = rz::Utf8ToText(shape);
        std::replace(want.begin(), want.end(), u'?', u'\uFFFD');
        EXPECT_EQ(rz::Utf8ToText(bytes), want) << ::testing::PrintToString(bytes);
    }
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(rz::TextToUtf8(Text{0xD800}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{0xDC00}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{u'a', 0xD83D, u'b'}), "a" + fffd + "b");
    EXPECT_EQ(rz::TextToUtf8(Text{0xDE00, 0xD83D}), fffd + fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{0xD83D, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
}

TEST(Utf8RoundTrip, AnyBytesGiveTextThatSurvivesEncodingAndDecoding) {
    // Random bytes decode to well-formed texts (sequences of every length, and U+FFFD),
    // which encoding and decoding again leave unchanged.
    std::mt19937 rng(4242);
    for (int n = 0; n < 40000; ++n) {
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
