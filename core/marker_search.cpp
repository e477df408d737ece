#include "core/marker_search.hpp"

#include <algorithm>
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
    // Sixteen positions at a time: those whose first two bytes are the marker's
    // (markers are at least two bytes long), each then compared in full.
    if (marker.size() >= 2) {
        const __m128i first = _mm_set1_epi8(marker[0]);
        const __m128i second = _mm_set1_epi8(marker[1]);
        while (k + 16 <= last + 1 && k + 17 <= size) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + 1));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
            while (mask != 0) {
                unsigned bit = 0;
                while ((mask & (1u << bit)) == 0) {
                    ++bit;
                }
                const size_t at = k + bit;
                if (std::memcmp(data + at, marker.data(), marker.size()) == 0) {
                    return at;
                }
                mask &= mask - 1;
            }
            k += 16;
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

} // namespace rz
