#include "text/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using rz::Text;

namespace {

TEST(SortTextRange, DrillTokensSortByCodeUnits) {
    std::vector<Text> table = {u"(drill 2)", u"(drill 10)", u"", u"(drill 1.0)", u"(drill 1)"};
    const std::vector<Text> untouched = table;

    rz::SortTextRange(table, 0, -1);
    EXPECT_EQ(table, untouched);
    rz::SortTextRange(table, 3, 3);
    EXPECT_EQ(table, untouched);
    rz::SortTextRange(table, 4, 2);
    EXPECT_EQ(table, untouched);

    rz::SortTextRange(table, 0, 4);
    const std::vector<Text> want = {u"", u"(drill 1)", u"(drill 1.0)", u"(drill 10)", u"(drill 2)"};
    EXPECT_EQ(table, want);
}

TEST(SortTextRange, OnlyTheRangeIsTouched) {
    std::vector<Text> table = {u"z", u"d", u"c", u"b", u"a", u"0"};
    rz::SortTextRange(table, 1, 4);
    const std::vector<Text> want = {u"z", u"a", u"b", u"c", u"d", u"0"};
    EXPECT_EQ(table, want);
}

TEST(SortTextRange, IndicesOutsideTheTableAreKeptToTheTable) {
    std::vector<Text> table = {u"c", u"a", u"b"};
    rz::SortTextRange(table, -5, 10);
    const std::vector<Text> want = {u"a", u"b", u"c"};
    EXPECT_EQ(table, want);
    std::vector<Text> empty;
    rz::SortTextRange(empty, 0, 3);
    EXPECT_TRUE(empty.empty());
}

bool ByCompareTexts(const Text& a, const Text& b) {
    return rz::CompareTexts(a, b) < 0;
}

TEST(SortTextRange, AgreesWithSortingByCompareTexts) {
    std::mt19937 rng(77);
    // Few distinct code units give many duplicates and shared prefixes; code units at and
    // above 0xD800 must sort as unsigned numbers, after the ASCII ones.
    const char16_t units[] = {u'(', u')', u'.', u'1', u'a', 0xD7FF, 0xD800, 0xDC00, 0xFFFD, 0xFFFF};
    for (int round = 0; round < 3000; ++round) {
        std::vector<Text> table(std::uniform_int_distribution<int>(0, 60)(rng));
        for (Text& t : table) {
            t.resize(std::uniform_int_distribution<std::size_t>(0, 4)(rng));
            for (char16_t& c : t) {
                c = units[std::uniform_int_distribution<std::size_t>(0, std::size(units) - 1)(rng)];
            }
        }
        const int size = static_cast<int>(table.size());
        const int first = size == 0 ? 0 : std::uniform_int_distribution<int>(0, size - 1)(rng);
        const int last = size == 0 ? -1 : std::uniform_int_distribution<int>(first, size - 1)(rng);
        std::vector<Text> want = table;
        if (size > 0) {
            std::sort(want.begin() + first, want.begin() + last + 1, ByCompareTexts);
        }
        rz::SortTextRange(table, first, last);
        ASSERT_EQ(table, want) << "round " << round;
    }
}

TEST(SortTextRange, SortedReversedAndEqualTablesStayFast) {
    // Inputs that push a quicksort to its worst case; a deep recursion here would
    // overflow the stack.
    const int n = 200000;
    std::vector<Text> sorted(n);
    for (int i = 0; i < n; ++i) {
        const std::u16string digits = u"0123456789";
        Text t;
        for (int v = i, k = 0; k < 6; ++k, v /= 10) {
            t.insert(t.begin(), digits[v % 10]);
        }
        sorted[i] = t;
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

} // namespace
