#include "text/decimal.hpp"

#include <algorithm>
#include <limits>

namespace rz {

namespace {

constexpr int64_t kMaxUnits = std::numeric_limits<int64_t>::max();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The significant digits of a number text and the power of ten of its last one.
struct Digits {
    std::string_view Whole, Fraction;
    int64_t Exponent = 0;
    bool Negative = false;
};

// Splits the text by the number syntax; false when it is not exactly one number.
bool SplitNumber(std::string_view t, Digits& d) {
    size_t k = 0;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) {
        d.Negative = t[k] == '-';
        ++k;
    }
    const size_t wholeBegin = k;
    while (k < t.size() && IsDigit(t[k])) {
        ++k;
    }
    d.Whole = t.substr(wholeBegin, k - wholeBegin);
    if (k < t.size() && t[k] == '.') {
        const size_t fractionBegin = ++k;
        while (k < t.size() && IsDigit(t[k])) {
            ++k;
        }
        d.Fraction = t.substr(fractionBegin, k - fractionBegin);
    }
    if (d.Whole.empty() && d.Fraction.empty()) {
        return false;
    }
    if (k < t.size() && (t[k] == 'e' || t[k] == 'E')) {
        ++k;
        bool negative = false;
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) {
            negative = t[k] == '-';
            ++k;
        }
        if (k == t.size()) {
            return false;
        }
        for (; k < t.size() && IsDigit(t[k]); ++k) {
            // Saturated: far beyond any exponent that can still give a value we hold.
            d.Exponent = std::min<int64_t>(d.Exponent * 10 + (t[k] - '0'), 1000000);
        }
        d.Exponent = negative ? -d.Exponent : d.Exponent;
    }
    return k == t.size();
}

} // namespace

std::optional<Decimal> Decimal::Parse(std::string_view text) {
    Digits d;
    if (!SplitNumber(text, d)) {
        return std::nullopt;
    }
    // The digits of whole and fraction as one run, without copying them.
    const size_t count = d.Whole.size() + d.Fraction.size();
    const auto digit = [&](size_t k) {
        return k < d.Whole.size() ? d.Whole[k] : d.Fraction[k - d.Whole.size()];
    };
    size_t first = 0;
    while (first < count && digit(first) == '0') {
        ++first;
    }
    if (first == count) {
        return Decimal(0);
    }
    size_t end = count;
    while (digit(end - 1) == '0') {
        --end;
    }
    // units = digits[first, end) * 10^shift. A nonzero digit below 10^-12 cannot be held,
    // and 19 digits always fit in 64 bits.
    int64_t shift = d.Exponent - static_cast<int64_t>(d.Fraction.size()) + kPlaces +
                    static_cast<int64_t>(count - end);
    if (shift < 0 || end - first > 19) {
        return std::nullopt;
    }
    uint64_t units = 0;
    for (size_t k = first; k < end; ++k) {
        units = units * 10 + static_cast<uint64_t>(digit(k) - '0');
    }
    for (; shift > 0; --shift) {
        if (units > static_cast<uint64_t>(kMaxUnits) / 10) {
            return std::nullopt;
        }
        units *= 10;
    }
    if (units > static_cast<uint64_t>(kMaxUnits)) {
        return std::nullopt;
    }
    const auto value = static_cast<int64_t>(units);
    return Decimal(d.Negative ? -value : value);
}

std::optional<Decimal> Decimal::Plus(Decimal other) const {
    const int64_t a = units_;
    const int64_t b = other.units_;
    if ((b > 0 && a > kMaxUnits - b) || (b < 0 && a < -kMaxUnits - b)) {
        return std::nullopt;
    }
    return Decimal(a + b);
}

std::optional<Decimal> Decimal::Minus(Decimal other) const {
    return Plus(Decimal(-other.units_));
}

std::optional<Decimal> Decimal::RoundTo(Decimal step, RoundMode mode) const {
    if (step.units_ <= 0) {
        return std::nullopt;
    }
    const int64_t s = step.units_;
    int64_t q = units_ / s; // toward zero
    const int64_t r = units_ % s;
    if (r != 0) {
        const bool negative = units_ < 0;
        switch (mode) {
        case RoundMode::Up:
            q += negative ? 0 : 1;
            break;
        case RoundMode::Down:
            q -= negative ? 1 : 0;
            break;
        case RoundMode::Nearest: {
            const int64_t rest = negative ? -r : r;
            if (rest >= s - rest) {
                q += negative ? -1 : 1;
            }
            break;
        }
        }
    }
    if (q != 0 && (q > kMaxUnits / s || q < -kMaxUnits / s)) {
        return std::nullopt;
    }
    return Decimal(q * s);
}

std::string Decimal::ToText() const {
    const uint64_t magnitude = static_cast<uint64_t>(units_ < 0 ? -units_ : units_);
    constexpr uint64_t kOne = 1000000000000ULL; // 10^kPlaces
    std::string fraction = std::to_string(magnitude % kOne);
    fraction.insert(0, static_cast<size_t>(kPlaces) - fraction.size(), '0');
    const size_t kept = std::max<size_t>(fraction.find_last_not_of('0') + 1, 1);
    fraction.resize(std::min(kept, fraction.size()));
    std::string text = units_ < 0 ? "-" : "";
    text += std::to_string(magnitude / kOne);
    text += '.';
    text += fraction;
    return text;
}

double Decimal::ToDouble() const {
    return static_cast<double>(units_) / 1e12;
}

} // namespace rz
