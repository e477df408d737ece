// Reading, rounding and writing 32-bit drill values. Everything goes through
// std::from_chars / std::to_chars, which never look at the process locale, so "." is
// the decimal separator even after a toolkit has switched to a German locale.
#include "text/text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

namespace rz {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Whole-text comparison ignoring the case of ASCII letters only.
bool EqualsIgnoringAsciiCase(const Text& t, std::u16string_view word) {
    if (t.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        char16_t a = t[i];
        char16_t b = word[i];
        if (a >= u'A' && a <= u'Z') {
            a = static_cast<char16_t>(a - u'A' + u'a');
        }
        if (b >= u'A' && b <= u'Z') {
            b = static_cast<char16_t>(b - u'A' + u'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

// std::from_chars reports values that round to zero or beyond the float range without
// storing anything. The C library gives a zero or an infinity with the text's sign; which
// of the two follows from the decimal magnitude: such values are either >= 1e38 or
// < 1e-45, so "at least 1" tells them apart.
float OutOfRangeValue(bool negative, const std::string& whole, const std::string& fraction,
                      int64_t exponent) {
    const std::string digits = whole + fraction;
    const std::size_t firstNonZero = digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        return negative ? -0.0f : 0.0f;
    }
    const int64_t magnitude =
        static_cast<int64_t>(whole.size()) - 1 - static_cast<int64_t>(firstNonZero) + exponent;
    const float v = magnitude >= 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    return negative ? -v : v;
}

// The parts of a decimal number as the "%f" scan reads them: blanks, sign, digits,
// "." digits, and an exponent only once a digit has been seen. Every run may be empty;
// an exponent without digits is no exponent at all.
struct DecimalParts {
    bool Negative = false;
    std::string Whole;
    std::string Fraction;
    std::string ExponentText; // sign and digits, empty without an exponent
    int64_t Exponent = 0;     // its value, saturated
};

DecimalParts ScanDecimal(const Text& t) {
    DecimalParts d;
    std::size_t i = 0;
    const std::size_t n = t.size();
    while (i < n && IsBlank(t[i])) {
        ++i;
    }
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        d.Negative = t[i] == u'-';
        ++i;
    }
    while (i < n && IsDigit(t[i])) {
        d.Whole.push_back(static_cast<char>(t[i++]));
    }
    if (i < n && t[i] == u'.') {
        ++i;
        while (i < n && IsDigit(t[i])) {
            d.Fraction.push_back(static_cast<char>(t[i++]));
        }
    }
    if ((d.Whole.empty() && d.Fraction.empty()) || i >= n || (t[i] != u'e' && t[i] != u'E')) {
        return d;
    }
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < n && (t[j] == u'+' || t[j] == u'-')) {
        negativeExponent = t[j] == u'-';
        ++j;
    }
    if (j < n && IsDigit(t[j])) {
        d.ExponentText.push_back(negativeExponent ? '-' : '+');
        for (; j < n && IsDigit(t[j]); ++j) {
            d.ExponentText.push_back(static_cast<char>(t[j]));
            // Saturated: only the side of the float range matters beyond this.
            d.Exponent = std::min<int64_t>(d.Exponent * 10 + (t[j] - u'0'), 1000000000);
        }
        if (negativeExponent) {
            d.Exponent = -d.Exponent;
        }
    }
    return d;
}

} // namespace

float ParseFloat32(const Text& t) {
    if (EqualsIgnoringAsciiCase(t, u"+Infinity")) {
        return std::numeric_limits<float>::infinity();
    }
    if (EqualsIgnoringAsciiCase(t, u"-Infinity")) {
        return -std::numeric_limits<float>::infinity();
    }
    if (EqualsIgnoringAsciiCase(t, u"NaN")) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    const DecimalParts d = ScanDecimal(t);
    if (d.Whole.empty() && d.Fraction.empty()) {
        return 0.0f;
    }
    std::string number = d.Negative ? "-" : "";
    number += d.Whole.empty() ? "0" : d.Whole;
    if (!d.Fraction.empty()) {
        number += '.' + d.Fraction;
    }
    if (!d.ExponentText.empty()) {
        number += 'e' + d.ExponentText;
    }
    float value = 0.0f;
    const std::from_chars_result r =
        std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        return OutOfRangeValue(d.Negative, d.Whole, d.Fraction, d.Exponent);
    }
    if (r.ec != std::errc()) {
        return 0.0f;
    }
    return value;
}

float RoundNearest(float x) {
    // In 64 bits x + 0.5 and x - 0.5 are exact for every 32-bit x below 2^23, so halves
    // really go away from zero; x <= 0 takes the ceiling branch, which makes a zero -0.
    const double w = x;
    const double r = w > 0.0 ? std::floor(w + 0.5) : std::ceil(w - 0.5);
    return static_cast<float>(r);
}

Text FormatFloat32(float x) {
    if (std::isnan(x)) {
        return u"NaN";
    }
    if (std::isinf(x)) {
        return x > 0 ? u"+Infinity" : u"-Infinity";
    }
    if (x == 0.0f) {
        x = 0.0f; // a negative zero prints as "0"
    }
    // Fixed notation of the exact 64-bit value with ten decimals: sign, at most 39 whole
    // digits of a 32-bit float, the point and the decimals.
    std::array<char, 64> buffer;
    const std::to_chars_result r =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), static_cast<double>(x),
                      std::chars_format::fixed, 10);
    std::size_t len = static_cast<std::size_t>(r.ptr - buffer.data());
    while (buffer[len - 1] == '0') {
        --len;
    }
    if (buffer[len - 1] == '.') {
        --len;
    }
    Text out(len, u'0');
    for (std::size_t i = 0; i < len; ++i) {
        out[i] = static_cast<char16_t>(buffer[i]); // ASCII only
    }
    return out;
}

} // namespace rz
