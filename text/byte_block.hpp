// Sixteen bytes compared at once. Whole boards are searched and cut into lines with
// this, so it uses SSE2 where the compiler offers it; the plain loop beside it gives
// the same masks everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RZ_BYTE_BLOCK_SSE2 1
#endif

namespace rz {

// Each result is a mask with bit k set when byte k of the block qualifies.
class ByteBlock {
public:
    static constexpr std::size_t kSize = 16;

    // Reads kSize bytes from p, which need not be aligned.
    explicit ByteBlock(const void* p) {
#ifdef RZ_BYTE_BLOCK_SSE2
        v_ = _mm_loadu_si128(static_cast<const __m128i*>(p));
#else
        std::memcpy(bytes_, p, kSize);
#endif
    }

    uint32_t Equal(char c) const {
#ifdef RZ_BYTE_BLOCK_SSE2
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v_, _mm_set1_epi8(c))));
#else
        uint32_t mask = 0;
        for (std::size_t k = 0; k < kSize; ++k) {
            mask |= static_cast<uint32_t>(bytes_[k] == static_cast<unsigned char>(c)) << k;
        }
        return mask;
#endif
    }

    // Bytes of 0x80 and above: those that are not ASCII.
    uint32_t High() const {
#ifdef RZ_BYTE_BLOCK_SSE2
        return static_cast<uint32_t>(_mm_movemask_epi8(v_));
#else
        uint32_t mask = 0;
        for (std::size_t k = 0; k < kSize; ++k) {
            mask |= static_cast<uint32_t>(bytes_[k] >> 7) << k;
        }
        return mask;
#endif
    }

private:
#ifdef RZ_BYTE_BLOCK_SSE2
    __m128i v_;
#else
    unsigned char bytes_[kSize];
#endif
};

} // namespace rz
