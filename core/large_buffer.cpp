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

LargeBufferPrefault::LargeBufferPrefault(const void* data, size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
    // Whole pages only: the advice is per page, and a page belongs to the buffer
    // only when it lies inside it.
    constexpr uintptr_t kPage = 4096;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (data == nullptr || end <= begin) {
        return;
    }
    try {
        worker_ = std::thread(
            [=] { madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE); });
    } catch (...) {
        // Without the thread the memory comes page by page as it is filled.
    }
#else
    (void)data;
    (void)bytes;
#endif
}

LargeBufferPrefault::~LargeBufferPrefault() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace rz
