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
        for (const std::string_view w : wanted) {
            if (all_.compare(at + 1, w.size(), w) == 0) {
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
        auto mask = static_cast<uint32_t>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, openParen), _mm_cmpeq_epi8(v, closeParen)),
                         _mm_cmpeq_epi8(v, quote))));
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
