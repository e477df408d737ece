#include "core/large_buffer.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace rz {

void AdviseLargeBuffer(const void* data, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    // Only the whole large pages inside the buffer; the advice is per mapping range.
    constexpr uintptr_t kLargePage = uintptr_t{1} << 21;
    const uintptr_t begin =
        (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLargePage - 1);
    if (data != nullptr && end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace rz
