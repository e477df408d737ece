#include "core/marker_search.hpp"

#include "text/byte_block.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace rz {

size_t FindEitherMarker(std::string_view all, size_t from, std::string_view one,
                        std::string_view other) {
    const size_t size = all.size();
    const char* const data = all.data();
    const auto at = [&](size_t k, std::string_view marker) {
        return marker.size() <= size - k &&
               std::memcmp(data + k, marker.data(), marker.size()) == 0;
    };
    size_t k = from;
    // Sixteen positions at a time: those whose first two bytes begin either marker, each
    // then compared in full. A block pair reads 17 bytes from k on.
    while (k < size && size - k > ByteBlock::kSize) {
        const ByteBlock first(data + k);
        const ByteBlock second(data + k + 1);
        uint32_t mask = first.Equal(one[0]) & (second.Equal(one[1]) | second.Equal(other[1]));
        while (mask != 0) {
            const size_t p = k + static_cast<size_t>(std::countr_zero(mask));
            if (at(p, one) || at(p, other)) {
                return p;
            }
            mask &= mask - 1;
        }
        k += ByteBlock::kSize;
    }
    for (; k < size; ++k) {
        if (data[k] == one[0] && (at(k, one) || at(k, other))) {
            return k;
        }
    }
    return size;
}

} // namespace rz
