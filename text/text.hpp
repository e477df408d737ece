// Texts and 32-bit drill numbers: the small primitives every other module builds on.
//
// A Text is a sequence of UTF-16 code units that never holds the code unit 0.
// Positions are 1-based; a search result of 0 means "not found". None of these
// functions fails: counts and positions out of range are clamped, and a text that
// is not a number reads as 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

using Text = std::u16string;

int32_t TextLength(const Text& t);
Text LeftText(const Text& t, int32_t count);
Text RightText(const Text& t, int32_t count);

// Position of the first occurrence of needle in t, 0 when there is none or when
// either text is empty.
int32_t FindSubstring(const Text& t, const Text& needle);

// Code unit by code unit as unsigned 16-bit numbers, a proper prefix first.
// Negative, zero or positive like strcmp.
int CompareTexts(const Text& a, const Text& b);

// The decimal number t begins with (after white space), as a 32-bit float; 0 when
// there is none. "+Infinity", "-Infinity" and "NaN" (ASCII case ignored, whole text)
// are the only special texts. "." is the decimal separator whatever the locale.
float ParseFloat32(const Text& t);

// Nearest whole number, halves away from zero; values in (-0.5, 0] give -0.
float RoundNearest(float x);

// Ten decimals, then trailing zeros (and a bare ".") trimmed; "NaN", "+Infinity" and
// "-Infinity" for the special values, "0" for either zero.
Text FormatFloat32(float x);

// Quicksort of table[first..last] (both included) into CompareTexts order. Nothing
// happens when last <= first; indices beyond the table are kept to the table.
void SortTextRange(std::vector<Text>& table, int32_t first, int32_t last);

// Conversions at the edges of the program (files, toolkits, the console).
// Utf8ToText decodes well-formed UTF-8; every malformed sequence (its longest valid
// beginning, or one stray byte) becomes one U+FFFD. A NUL byte becomes the code unit 0:
// callers that keep texts free of it split at NUL bytes first.
// TextToUtf8 encodes; a lone surrogate becomes U+FFFD (EF BF BD).
Text Utf8ToText(std::string_view bytes);
std::string TextToUtf8(const Text& t);

// What a byte says as the first byte of a UTF-8 sequence. Every reader of UTF-8 in the
// program goes by this one table, so that the file layer's verdict "well-formed" and
// the decoder can never disagree.
struct Utf8Lead {
    // Bytes its high bits announce after it: 1 for 0xC0..0xDF, 2 for 0xE0..0xEF, 3 for
    // 0xF0..0xF7, 0 for every other byte.
    int Following = 0;
    // Whether a well-formed sequence can begin with it (0xC2..0xF4), and the range its
    // second byte must then lie in: narrower than 0x80..0xBF after 0xE0, 0xED, 0xF0 and
    // 0xF4, which rules out overlong forms, surrogates and values above U+10FFFF.
    bool CanStart = false;
    unsigned char SecondLow = 0x80;
    unsigned char SecondHigh = 0xBF;
};

constexpr Utf8Lead ClassifyUtf8Lead(unsigned char b) {
    Utf8Lead lead;
    lead.Following = b >= 0xF0 ? (b <= 0xF7 ? 3 : 0) : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    lead.CanStart = b >= 0xC2 && b <= 0xF4;
    lead.SecondLow = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    lead.SecondHigh = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    return lead;
}

// Strict UTF-8: exactly the bytes that decoding and encoding again give back unchanged.
bool IsWellFormedUtf8(std::string_view bytes);

} // namespace rz
