// Value texts, rounding to 0.1 mm, and the rows the main window lists.
#include "core/pipeline.hpp"

#include <cmath>
#include <span>
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

// A number token: a number followed by a blank or the end. Gives its length, 0 when
// there is none. Whether its value can be rounded is the rule's to say.
size_t NumberTokenLength(std::u16string_view s) {
    const size_t n = NumberLength(s);
    return n == 0 || (n < s.size() && !IsBlank(s[n])) ? 0 : n;
}

size_t BlankRunLength(std::u16string_view s) {
    size_t k = 0;
    while (k < s.size() && IsBlank(s[k])) {
        ++k;
    }
    return k;
}

// Where the size numbers of a value text stand.
struct SizeSpans {
    bool Oval = false;
    size_t Count = 0;
    size_t At[2] = {0, 0};
    size_t Length[2] = {0, 0};
};

// The forms whose sizes are rounded: one number; "oval W H"; either followed by blanks
// and "(offset ...". Every other form is written back as it stands (Count 0), since
// rounding it could drop a hole's shape or offset.
SizeSpans FindSizeNumbers(std::u16string_view v) {
    SizeSpans found;
    size_t at = 0;
    size_t sizes = 1;
    if (v.substr(0, 4) == u"oval" && v.size() > 4 && IsBlank(v[4])) {
        at = 4 + BlankRunLength(v.substr(4));
        sizes = 2;
        found.Oval = true;
    }
    for (size_t k = 0; k < sizes; ++k) {
        if (k > 0) {
            const size_t blanks = BlankRunLength(v.substr(at));
            if (blanks == 0) {
                return SizeSpans();
            }
            at += blanks;
        }
        const size_t n = NumberTokenLength(v.substr(at));
        if (n == 0) {
            return SizeSpans();
        }
        found.At[k] = at;
        found.Length[k] = n;
        at += n;
    }
    found.Count = sizes;
    if (at == v.size()) {
        return found;
    }
    const size_t blanks = BlankRunLength(v.substr(at));
    const std::u16string_view rest = v.substr(at + blanks);
    if (blanks == 0 || rest.substr(0, 7) != u"(offset" || rest.size() == 7 || !IsBlank(rest[7])) {
        return SizeSpans();
    }
    return found;
}

// Today's rounding of one size number; a value whose tenfold is beyond the float range
// would be written as "+Infinit.y", which KiCad cannot read, so such a drill is kept.
class WindowRule final : public SizeRule {
public:
    SizeVerdict NewSizes(bool, std::span<const Text> sizes, std::span<Text> out) const override {
        for (const Text& size : sizes) {
            const float value = ParseFloat32(size);
            if (!std::isfinite(value) || !std::isfinite(value * 10.0f)) {
                return SizeVerdict::NotANumber;
            }
        }
        for (size_t k = 0; k < sizes.size(); ++k) {
            out[k] = RoundedDrillText(sizes[k]);
        }
        return SizeVerdict::Rounded;
    }
};

} // namespace

const SizeRule& WindowSizeRule() {
    static const WindowRule rule;
    return rule;
}

ListedDrill ListDrill(const Text& valueText, const SizeRule& rule) {
    ListedDrill listed;
    listed.After = valueText;
    const SizeSpans spans = FindSizeNumbers(valueText);
    if (spans.Count == 0) {
        listed.Verdict = SizeVerdict::NotANumber;
        return listed;
    }
    for (size_t k = 0; k < spans.Count; ++k) {
        listed.Sizes.push_back(valueText.substr(spans.At[k], spans.Length[k]));
    }
    listed.Oval = spans.Oval;
    listed.NewSizes.resize(spans.Count);
    listed.Verdict = rule.NewSizes(spans.Oval, listed.Sizes, listed.NewSizes);
    if (listed.Verdict != SizeVerdict::Rounded) {
        listed.NewSizes = listed.Sizes;
        return listed;
    }
    // Only the numbers change; blanks, "oval" and the offset stay as written.
    for (size_t k = spans.Count; k-- > 0;) {
        listed.After.replace(spans.At[k], spans.Length[k], listed.NewSizes[k]);
    }
    return listed;
}

Text ListedDrillText(const Text& valueText, const SizeRule& rule) {
    return ListDrill(valueText, rule).After;
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
