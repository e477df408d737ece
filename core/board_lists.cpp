#include "core/board_lists.hpp"

#include <bit>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RZ_LISTS_SSE2 1
#endif

namespace rz {

namespace {

bool IsDelimiter(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(' || c == ')' || c == '"';
}

#ifdef RZ_LISTS_SSE2
// The number of matching bytes (0xFF each) in a comparison's result.
int64_t Count(__m128i matches) {
    const __m128i sums =
        _mm_sad_epu8(_mm_and_si128(matches, _mm_set1_epi8(1)), _mm_setzero_si128());
    return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
}
#endif

} // namespace

std::string_view ListWalker::Keyword(size_t open) const {
    size_t k = open + 1;
    while (k < all_.size() && !IsDelimiter(all_[k])) {
        ++k;
    }
    return all_.substr(open + 1, k - open - 1);
}

size_t ListWalker::HeadAtoms(size_t open, Atoms& atoms) const {
    atoms.clear();
    size_t k = open + 1 + Keyword(open).size();
    while (k < all_.size()) {
        const char c = all_[k];
        if (c == '(' || c == ')') {
            break;
        }
        if (c == '"') {
            const size_t end = SkipString(all_, k);
            atoms.push_back({k, end - k});
            k = end;
        } else if (IsDelimiter(c)) {
            ++k;
        } else {
            const size_t begin = k;
            while (k < all_.size() && !IsDelimiter(all_[k])) {
                ++k;
            }
            atoms.push_back({begin, k - begin});
        }
    }
    return k;
}

size_t ListWalker::NextChild(size_t from, std::span<const std::string_view> wanted) const {
    const size_t n = all_.size();
    const char* const data = all_.data();
    int64_t depth = 0; // of lists inside the children passed over
    // Whether the "(" at `at` opens a child to hand out; false deeper down.
    const auto isWanted = [&](size_t at) {
        if (depth != 0) {
            return false;
        }
        // Most children are unwanted: their first letter rules them out without a call.
        const char first = at + 1 < n ? data[at + 1] : '\0';
        for (const std::string_view w : wanted) {
            if (w[0] == first && all_.compare(at + 1, w.size(), w) == 0) {
                return true;
            }
        }
        return false;
    };
    size_t k = from;
#ifdef RZ_LISTS_SSE2
    const __m128i openParen = _mm_set1_epi8('(');
    const __m128i closeParen = _mm_set1_epi8(')');
    const __m128i quote = _mm_set1_epi8('"');
    while (k + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        const __m128i opens = _mm_cmpeq_epi8(v, openParen);
        const __m128i closes = _mm_cmpeq_epi8(v, closeParen);
        const __m128i quotes = _mm_cmpeq_epi8(v, quote);
        // Deep inside a child, with fewer ")" than levels and no string: nothing here can
        // end the list or open a child of it, so only the count changes.
        if (depth > 0 && _mm_movemask_epi8(quotes) == 0) {
            const int64_t up = Count(opens);
            const int64_t down = Count(closes);
            if (depth > down) {
                depth += up - down;
                k += 16;
                continue;
            }
        }
        auto mask = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(opens, closes), quotes)));
        size_t next = k + 16;
        while (mask != 0) {
            const size_t at = k + static_cast<size_t>(std::countr_zero(mask));
            mask &= mask - 1;
            if (data[at] == '(') {
                if (isWanted(at)) {
                    return at;
                }
                ++depth;
            } else if (data[at] == ')') {
                if (depth-- == 0) {
                    return at;
                }
            } else {
                next = SkipString(all_, at);
                break;
            }
        }
        k = next;
    }
#endif
    while (k < n) {
        const char c = data[k];
        if (c == '"') {
            k = SkipString(all_, k);
            continue;
        }
        if (c == '(') {
            if (isWanted(k)) {
                return k;
            }
            ++depth;
        } else if (c == ')' && depth-- == 0) {
            return k;
        }
        ++k;
    }
    return n;
}

} // namespace rz
