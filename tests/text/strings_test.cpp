#include "text/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using rz::Text;

namespace {

// Code units compare as unsigned numbers, a proper prefix first: ")" before "." before the
// digits, surrogates after every other unit below 0xE000.
TEST(SortTextRange, RangesAndAgreementWithSortingByCompareTexts) {
    const char16_t units[] = {u'(', u')', u'.', u'1', u'a', 0xD7FF, 0xD800, 0xDC00, 0xFFFD, 0xFFFF};
    std::mt19937 rng(77);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Text> table(rng() % 60);
        for (Text& t : table) {
            for (std::size_t k = rng() % 5; k > 0; --k) {
                t += units[rng() % std::size(units)];
            }
        }
        // Ranges beyond the table are kept to it.
        const int size = static_cast<int>(table.size());
        const int first = static_cast<int>(rng() % 70) - 5, last = static_cast<int>(rng() % 70) - 5;
        const int from = std::min(std::max(first, 0), size);
        const int to = std::max(from, std::min(last, size - 1) + 1);
        std::vector<Text> want = table; // std::u16string's order: unsigned, prefix first
        std::sort(want.begin() + from, want.begin() + to);
        rz::SortTextRange(table, first, last);
        ASSERT_EQ(table, want) << "round " << round;
    }
}

// clang-format off
// Each maximal malformed subpart becomes one U+FFFD, written "?" here: overlong forms,
// encoded surrogates, values above U+10FFFF, sequences cut short at the end or by a byte
// that starts anew (a line end after Latin-1 is kept). Well-formed bytes come back as they
// were, a byte-order mark and NUL included.
const std::pair<std::string, std::string> kDecoded[] = {
    {"a\xBFz", "a?z"}, {"\xC1\xBF", "??"}, {"\xE0\x80\xAF", "???"}, {"\xED\xA0\x80", "???"},
    {"\xF4\x90\x80\x80", "????"}, {"\xF0\x9F\x98", "?"}, {"\xE2\x82z", "?z"}, {"\xE4\n", "?\n"},
    {"\xF0\x9F\x98\xC3\xA4", "?\xC3\xA4"}, {"0123456789abcde\xE9z234567890abcde", "0123456789abcde?z234567890abcde"},
    {"\xEF\xBB\xBF\xF4\x8F\xBF\xBF", "\xEF\xBB\xBF\xF4\x8F\xBF\xBF"}, {std::string("A\0B", 3), std::string("A\0B", 3)}};
// clang-format on

TEST(Utf8, MaximalSubpartsAndVerdict) {
    for (const auto& [bytes, shape] : kDecoded) {
        Text want = rz::Utf8ToText(shape);
        std::replace(want.begin(), want.end(), u'?', u'\uFFFD');
        EXPECT_EQ(rz::Utf8ToText(bytes), want) << ::testing::PrintToString(bytes);
        EXPECT_EQ(rz::IsWellFormedUtf8(bytes), bytes == shape) << ::testing::PrintToString(bytes);
    }
}

} // namespace
