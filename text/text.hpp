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
Text MidText(const Text& t, int32_t start, int32_t count);

// Position of the first occurrence of needle in t, 0 when there is none or when
// either text is empty. The second form only considers positions >= start (clamped
// to 1 .. TextLength(t) + 1); the result still counts from the start of t.
int32_t FindSubstring(const Text& t, const Text& needle);
int32_t FindSubstring(const Text& t, const Text& needle, int32_t start);

bool TextEquals(const Text& a, const Text& b);

// Leftmost, non-overlapping occurrences of needle are replaced; the replacement is
// never scanned again. An empty needle changes nothing.
Text ReplaceAllText(const Text& t, const Text& needle, const Text& replacement);

// Code unit by code unit as unsigned 16-bit numbers, a proper prefix first.
// Negative, zero or positive like strcmp.
int CompareTexts(const Text& a, const Text& b);

// The decimal number t begins with (after white space), as a 32-bit float; 0 when
// there is none. "+Infinity", "-Infinity" and "NaN" (ASCII case ignored, whole text)
// are the only special texts. "." is the decimal separator whatever the locale.
float ParseFloat32(const Text& t);

// Nearest whole number, halves away from zero; values in (-0.5, 0] give -0.
float RoundNearest(float x);

// decimals == -1: ten decimals, then trailing zeros (and a bare ".") trimmed.
// Otherwise decimals is clamped to 0..512 and nothing is trimmed.
Text FormatFloat32(float x, int32_t decimals = -1);

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

} // namespace rz
