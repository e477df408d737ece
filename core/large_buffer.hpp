// A hint for the few buffers that hold a whole board.
#pragma once

#include <cstddef>
#include <thread>

namespace rz {

// Tells the system that [data, data + bytes) is one large buffer filled from start
// to end. On Linux its memory is then handed out in large pages: a 100 MB board
// takes some fifty page faults instead of 25,000, which on a virtual machine cost
// more than the reading itself. Elsewhere, and when refused, nothing changes.
void AdviseLargeBuffer(const void* data, size_t bytes);

// While it lives, another thread asks the system for the memory of a large buffer
// ahead of the caller, who fills it from the start: on a virtual machine handing
// out fresh memory can take longer than reading the board. Only the memory is
// touched, never the bytes; the destructor waits for the thread. Linux only; where
// it cannot be done, nothing happens.
class LargeBufferPrefault {
public:
    LargeBufferPrefault(const void* data, size_t bytes);
    ~LargeBufferPrefault();
    LargeBufferPrefault(const LargeBufferPrefault&) = delete;
    LargeBufferPrefault& operator=(const LargeBufferPrefault&) = delete;

private:
    std::thread worker_;
};

} // namespace rz
