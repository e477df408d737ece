// Value texts, rounding to 0.1 mm, and the rows the main window lists.
#include "core/pipeline.hpp"

#include <cmath>
#include <string_view>

namespace rz {

Text DrillValueText(const Text& token) {
    const Text t = RightText(token, TextLength(token) - 7);
    return LeftText(t, FindSubstring(t, u")") - 1);
}

Text RoundedDrillText(const Text& valueText) {
    const float f = ParseFloat32(valueText);
    const float x = f * 10.0f;
    const float r = RoundNearest(x);
    Text t = FormatFloat32(r);
    t = LeftText(t, TextLength(t) - 1) + u"." + RightText(t, 1);
    if (LeftText(t, 1) == u".") {
        t = u"0" + t;
    }
    return t;
}

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// Length of the decimal number (sign, digits, point, exponent, as ParseFloat32 reads
// one) at the start of s, 0 when there is none.
size_t NumberLength(std::u16string_view s) {
    size_t k = 0;
    if (k < s.size() && (s[k] == u'+' || s[k] == u'-')) {
        ++k;
    }
    size_t digits = 0;
    while (k < s.size() && IsDigit(s[k])) {
        ++k;
        ++digits;
    }
    if (k < s.size() && s[k] == u'.') {
        ++k;
        while (k < s.size() && IsDigit(s[k])) {
            ++k;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (k < s.size() && (s[k] == u'e' || s[k] == u'E')) {
        size_t e = k + 1;
        if (e < s.size() && (s[e] == u'+' || s[e] == u'-')) {
            ++e;
        }
        if (e < s.size() && IsDigit(s[e])) {
            while (e < s.size() && IsDigit(s[e])) {
                ++e;
            }
            k = e;
        }
    }
    return k;
}

// A size number: a whole number token (followed by a blank or the end) whose value
// and tenfold value are finite as 32-bit floats, so that rounding gives a number
// again (a tenfold beyond the float range would be written as "+Infinit.y", which
// KiCad cannot read). Gives its length, 0 when there is none.
size_t SizeNumberLength(std::u16string_view s) {
    const size_t n = NumberLength(s);
    if (n == 0 || (n < s.size() && !IsBlank(s[n]))) {
        return 0;
    }
    const float value = ParseFloat32(Text(s.substr(0, n)));
    return std::isfinite(value) && std::isfinite(value * 10.0f) ? n : 0;
}

size_t BlankRunLength(std::u16string_view s) {
    size_t k = 0;
    while (k < s.size() && IsBlank(s[k])) {
        ++k;
    }
    return k;
}

} // namespace

Text ListedDrillText(const Text& valueText) {
    const std::u16string_view v = valueText;
    // The plain form: the value text is one number and nothing else.
    const size_t whole = SizeNumberLength(v);
    if (whole != 0 && whole == v.size()) {
        return RoundedDrillText(valueText);
    }

    // "oval W H" and "N" or "oval W H" followed by " (offset ...": the size numbers
    // are rounded, every other character stays as it was.
    Text out;
    size_t at = 0;
    int sizes = 1;
    if (v.substr(0, 4) == u"oval" && v.size() > 4 && IsBlank(v[4])) {
        const size_t blanks = BlankRunLength(v.substr(4));
        out.append(v.substr(0, 4 + blanks));
        at = 4 + blanks;
        sizes = 2;
    }
    for (int k = 0; k < sizes; ++k) {
        if (k > 0) {
            const size_t blanks = BlankRunLength(v.substr(at));
            if (blanks == 0) {
                return valueText;
            }
            out.append(v.substr(at, blanks));
            at += blanks;
        }
        const size_t n = SizeNumberLength(v.substr(at));
        if (n == 0) {
            return valueText;
        }
        out += RoundedDrillText(Text(v.substr(at, n)));
        at += n;
    }
    if (at == v.size()) {
        return sizes == 2 ? out : valueText; // a lone number was handled above
    }
    const size_t blanks = BlankRunLength(v.substr(at));
    const std::u16string_view rest = v.substr(at + blanks);
    if (blanks == 0 || rest.substr(0, 7) != u"(offset" || rest.size() == 7 || !IsBlank(rest[7])) {
        return valueText;
    }
    out.append(v.substr(at));
    return out;
}

std::vector<DrillRow> PrepareDrillRows(BoardState& state) {
    --state.DrillCount;
    std::vector<DrillRow> rows;
    if (state.DrillCount < 1) {
        return rows;
    }
    const size_t last = static_cast<size_t>(state.DrillCount);
    if (state.DrillTokens.size() <= last) {
        state.DrillTokens.resize(last + 1);
    }
    state.NewDrillTokens.assign(last + 1, Text());
    rows.reserve(last);
    for (size_t i = 1; i <= last; ++i) {
        DrillRow row;
        row.Before = DrillValueText(state.DrillTokens[i]);
        row.After = ListedDrillText(row.Before);
        state.NewDrillTokens[i] = u"(drill " + row.After + u")";
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace rz
