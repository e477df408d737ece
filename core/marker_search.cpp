#include "core/marker_search.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RZ_MARKER_SSE2 1
#endif

namespace rz {

size_t FindMarker(const std::string& all, size_t from, std::string_view marker) {
    const size_t size = all.size();
    if (from >= size || marker.empty() || marker.size() > size - from) {
        return size;
    }
    const char* const data = all.data();
    const size_t last = size - marker.size(); // the last position a marker can start at
    size_t k = from;
#ifdef RZ_MARKER_SSE2
    // Thirty-two positions at a time: those whose first two bytes are the marker's
    // (markers are at least two bytes long), each then compared in full.
    if (marker.size() >= 2) {
        const __m128i first = _mm_set1_epi8(marker[0]);
        const __m128i second = _mm_set1_epi8(marker[1]);
        const auto candidates = [&](size_t at) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
            return static_cast<uint32_t>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
        };
        // A load reads 17 bytes from k on; each candidate must leave room for the marker.
        while (k + 33 <= size) {
            uint32_t mask = candidates(k) | (candidates(k + 16) << 16);
            while (mask != 0) {
                const size_t at = k + static_cast<size_t>(std::countr_zero(mask));
                if (at <= last &&
                    std::memcmp(data + at + 2, marker.data() + 2, marker.size() - 2) == 0) {
                    return at;
                }
                mask &= mask - 1;
            }
            k += 32;
        }
    }
#endif
    for (; k <= last; ++k) {
        if (data[k] == marker[0] && std::memcmp(data + k, marker.data(), marker.size()) == 0) {
            return k;
        }
    }
    return size;
}

size_t FindEitherMarker(const std::string& all, size_t from, std::string_view one,
                        std::string_view other) {
    const size_t size = all.size();
    const auto at = [&](size_t k, std::string_view marker) {
        return marker.size() <= size - k &&
               std::memcmp(all.data() + k, marker.data(), marker.size()) == 0;
    };
    size_t k = from;
#ifdef RZ_MARKER_SSE2
    {
        const char* const data = all.data();
        const __m128i first = _mm_set1_epi8(one[0]);
        const __m128i secondOne = _mm_set1_epi8(one[1]);
        const __m128i secondOther = _mm_set1_epi8(other[1]);
        const auto candidates = [&](size_t p) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 1));
            return static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(
                _mm_cmpeq_epi8(a, first),
                _mm_or_si128(_mm_cmpeq_epi8(b, secondOne), _mm_cmpeq_epi8(b, secondOther)))));
        };
        while (k < size && size - k >= 33) {
            uint32_t mask = candidates(k) | (candidates(k + 16) << 16);
            while (mask != 0) {
                const size_t p = k + static_cast<size_t>(std::countr_zero(mask));
                if (at(p, one) || at(p, other)) {
                    return p;
                }
                mask &= mask - 1;
            }
            k += 32;
        }
    }
#endif
    for (; k < size; ++k) {
        if (all[k] == one[0] && (at(k, one) || at(k, other))) {
            return k;
        }
    }
    return size;
}

} // namespace rz
