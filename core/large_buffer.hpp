// A hint for the few buffers that hold a whole board.
#pragma once

#include <cstddef>

namespace rz {

// Tells the system that [data, data + bytes) is one large buffer filled from start
// to end. On Linux its memory is then handed out in large pages: a 100 MB board
// takes some fifty page faults instead of 25,000, which on a virtual machine cost
// more than the reading itself. Elsewhere, and when refused, nothing changes.
void AdviseLargeBuffer(const void* data, size_t bytes);

} // namespace rz
