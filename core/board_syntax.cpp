// KiCad writes a line break inside a string as "\n", so a string never spans lines: an
// unbalanced quote then hides at most the rest of its line, never the rest of the file.
#include "core/board_syntax.hpp"

#include <bit>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RZ_SYNTAX_SSE2 1
#endif

namespace rz {

size_t SkipString(std::string_view all, size_t quote) {
    const size_t n = all.size();
    const char* const data = all.data();
    size_t k = quote + 1;
#ifdef RZ_SYNTAX_SSE2
    // Names and uuids: sixteen bytes at a time to the next quote, backslash or line end.
    const __m128i quoteByte = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lineEnd = _mm_set1_epi8('\n');
    while (k + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quoteByte), _mm_cmpeq_epi8(v, backslash)),
                         _mm_cmpeq_epi8(v, lineEnd))));
        if (mask == 0) {
            k += 16;
            continue;
        }
        k += static_cast<size_t>(std::countr_zero(mask));
        if (data[k] == '\n') {
            return k;
        }
        if (data[k] == '"') {
            return k + 1;
        }
        k += k + 1 < n && data[k + 1] != '\n' ? 2 : 1;
    }
#endif
    while (k < n) {
        const char c = data[k];
        if (c == '\n') {
            return k;
        }
        if (c == '"') {
            return k + 1;
        }
        k += c == '\\' && k + 1 < n && data[k + 1] != '\n' ? 2 : 1;
    }
    return n;
}

size_t CloseOfList(std::string_view all, size_t open) {
    int64_t depth = 0;
    for (size_t k = open; k < all.size();) {
        const char c = all[k];
        if (c == '"') {
            k = SkipString(all, k);
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return k;
        }
        ++k;
    }
    return all.empty() ? 0 : all.size() - 1;
}

} // namespace rz
