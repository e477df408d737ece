#include "text/pattern.hpp"

#include "text/text.hpp"

#include <string>

namespace rz {

namespace {

// Characters, not UTF-16 code units: "?" stands for one character of any plane.
std::u32string CodePoints(std::string_view utf8) {
    const Text units = Utf8ToText(utf8);
    std::u32string out;
    out.reserve(units.size());
    for (size_t k = 0; k < units.size(); ++k) {
        const char32_t u = units[k];
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units.size() && units[k + 1] >= 0xDC00 &&
            units[k + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (units[k + 1] - 0xDC00));
            ++k;
        } else {
            out.push_back(u);
        }
    }
    return out;
}

// A "[...]" set at p[at] (the "["): the position behind its "]", and whether c is in it.
// Gives `at` when the set never closes, so the "[" is then a plain character.
size_t MatchSet(const std::u32string& p, size_t at, char32_t c, bool& in) {
    size_t k = at + 1;
    const bool negated = k < p.size() && (p[k] == U'!' || p[k] == U'^');
    k += negated ? 1 : 0;
    bool found = false;
    for (bool first = true; k < p.size() && (first || p[k] != U']'); first = false) {
        char32_t low = p[k];
        if (low == U'\\' && k + 1 < p.size()) {
            low = p[++k];
        }
        char32_t high = low;
        if (k + 2 < p.size() && p[k + 1] == U'-' && p[k + 2] != U']') {
            high = p[k + 2];
            k += 2;
        }
        found = found || (c >= low && c <= high);
        ++k;
    }
    if (k >= p.size()) {
        return at;
    }
    in = found != negated;
    return k + 1;
}

// Whether pattern element p[at] matches c; `next` is where the following element starts.
bool MatchOne(const std::u32string& p, size_t at, char32_t c, size_t& next) {
    if (p[at] == U'?') {
        next = at + 1;
        return true;
    }
    if (p[at] == U'[') {
        bool in = false;
        next = MatchSet(p, at, c, in);
        if (next != at) {
            return in;
        }
    }
    if (p[at] == U'\\' && at + 1 < p.size()) {
        next = at + 2;
        return p[at + 1] == c;
    }
    next = at + 1;
    return p[at] == c;
}

} // namespace

bool MatchesPattern(std::string_view pattern, std::string_view text) {
    const std::u32string p = CodePoints(pattern);
    const std::u32string t = CodePoints(text);
    // The classic two-cursor walk: on a mismatch, the last "*" takes one more
    // character. Each "*" only ever moves forward, so this is linear per star.
    size_t pi = 0;
    size_t ti = 0;
    size_t starP = std::u32string::npos;
    size_t starT = 0;
    while (ti < t.size()) {
        size_t next = 0;
        if (pi < p.size() && p[pi] == U'*') {
            starP = ++pi;
            starT = ti;
        } else if (pi < p.size() && MatchOne(p, pi, t[ti], next)) {
            pi = next;
            ++ti;
        } else if (starP != std::u32string::npos) {
            pi = starP;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') {
        ++pi;
    }
    return pi == p.size();
}

} // namespace rz
