#include "text/text.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

using rz::Text;

namespace {

std::string Hex(const Text& t) {
    std::string s;
    char buffer[8];
    for (char16_t c : t) {
        std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(c));
        s += buffer;
    }
    return s;
}

TEST(Utf8ToText, WellFormedSequences) {
    struct Row {
        std::string bytes;
        Text want;
    };
    const Row rows[] = {
        {"", u""},
        {"(drill 0.8)", u"(drill 0.8)"},
        {"\xC3\xA4", u"\u00E4"},
        {"\xC2\x80", u"\u0080"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xEF\xBB\xBF"
         "x",
         u"\uFEFFx"}, // a byte-order mark is an ordinary character
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"Widerst\xC3\xA4nde 12345678 \xE2\x82\xAC\xE2\x82\xAC",
         u"Widerst\u00E4nde 12345678 \u20AC\u20AC"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Hex(rz::Utf8ToText(r.bytes)), Hex(r.want));
        EXPECT_EQ(rz::TextToUtf8(r.want), r.bytes);
    }
    // NUL is decoded like any character; splitting lines at it is the caller's business.
    EXPECT_EQ(rz::Utf8ToText(std::string_view("A\0B", 3)), Text(u"A\0B", 3));
    EXPECT_EQ(rz::TextToUtf8(Text(u"A\0B", 3)), std::string("A\0B", 3));
}

TEST(Utf8ToText, EachMaximalMalformedSubpartBecomesOneReplacement) {
    struct Row {
        std::string bytes;
        int replacements; // U+FFFD expected, each standing where "?" is in want
        std::string want;
    };
    const Row rows[] = {
        {"\x80", 1, "?"},
        {"a\xBF"
         "b",
         1, "a?b"},
        {"\xC0\xAF", 2, "??"}, // overlong lead bytes are never valid
        {"\xC1\xBF", 2, "??"},
        {"\xE0\x80\xAF", 3, "???"},      // overlong three-byte form
        {"\xED\xA0\x80", 3, "???"},      // an encoded surrogate
        {"\xF0\x80\x80\x80", 4, "????"}, // overlong four-byte form
        {"\xF4\x90\x80\x80", 4, "????"}, // above U+10FFFF
        {"\xF5\x80", 2, "??"},
        {"\xFF\xFE", 2, "??"},
        {"\xC3", 1, "?"}, // cut short at the end
        {"\xE2\x82", 1, "?"},
        {"\xF0\x9F\x98", 1, "?"},
        {"\xE2\x82"
         "a",
         1, "?a"}, // the byte that breaks a sequence starts anew
        {"\xE2\x82\n", 1, "?\n"},
        {"\xF0\x9F\x98\xC3\xA4", 1, "?\xC3\xA4"},
        {"\xE4\n", 1, "?\n"}, // Latin-1 before a line end keeps the line end
        {"\xC3\xC3\xA4", 1, "?\xC3\xA4"},
        {"a\x80\x80\x80"
         "b",
         3, "a???b"},
        {"12345678\xE9"
         "12345678",
         1, "12345678?12345678"},
    };
    for (const Row& r : rows) {
        const Text got = rz::Utf8ToText(r.bytes);
        Text want = rz::Utf8ToText(r.want);
        int count = 0;
        for (char16_t& c : want) {
            if (c == u'?') {
                c = 0xFFFD;
                ++count;
            }
        }
        ASSERT_EQ(count, r.replacements);
        EXPECT_EQ(Hex(got), Hex(want)) << "bytes of row " << &r - rows;
    }
}

TEST(TextToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(rz::TextToUtf8(Text{0xD800}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{0xDC00}), fffd);
    EXPECT_EQ(rz::TextToUtf8(Text{u'a', 0xD83D, u'b'}), "a" + fffd + "b");
    EXPECT_EQ(rz::TextToUtf8(Text{0xDE00, 0xD83D}), fffd + fffd); // reversed pair
    EXPECT_EQ(rz::TextToUtf8(Text{0xD83D, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
    EXPECT_EQ(rz::TextToUtf8(u""), "");
}

TEST(Utf8RoundTrip, RandomTextsAndBytes) {
    std::mt19937 rng(4242);
    // Any text without lone surrogates survives UTF-8 and back.
    for (int n = 0; n < 20000; ++n) {
        Text t;
        const int len = std::uniform_int_distribution<int>(0, 40)(rng);
        while (static_cast<int>(t.size()) < len) {
            const uint32_t kind = rng() % 5;
            const uint32_t limit[] = {0x80, 0x800, 0xD800, 0x10000, 0x110000};
            uint32_t cp = 1 + rng() % (limit[kind] - 1);
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = 0xE000;
            }
            if (cp >= 0x10000) {
                cp -= 0x10000;
                t += static_cast<char16_t>(0xD800 + (cp >> 10));
                t += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                t += static_cast<char16_t>(cp);
            }
        }
        ASSERT_EQ(rz::Utf8ToText(rz::TextToUtf8(t)), t) << Hex(t);
    }
    // Any bytes at all decode to well-formed text, which encodes to well-formed UTF-8,
    // which decodes again to the same text.
    for (int n = 0; n < 20000; ++n) {
        std::string bytes(std::uniform_int_distribution<int>(0, 24)(rng), '\0');
        for (char& b : bytes) {
            b = static_cast<char>(rng() % 3 == 0 ? 0x80 + rng() % 0x80 : rng() % 256);
        }
        const Text t = rz::Utf8ToText(bytes);
        const std::string again = rz::TextToUtf8(t);
        ASSERT_EQ(rz::Utf8ToText(again), t);
        ASSERT_EQ(rz::TextToUtf8(rz::Utf8ToText(again)), again);
    }
}

} // namespace
