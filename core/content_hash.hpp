// A 64-bit fingerprint of a file's bytes, the same however the bytes are cut into
// pieces. It tells whether the board on disk is still the file that was loaded: a
// save by another program changes it with a chance of 1 in 2^64 to go unnoticed,
// and the size is compared as well.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rz {

class ContentHash {
public:
    void Update(const void* data, size_t size);
    uint64_t Digest() const;
    uint64_t Size() const { return total_; }

private:
    // Four lanes over 32-byte stripes (the xxHash64 scheme), so long inputs go at
    // memory speed.
    uint64_t lanes_[4] = {0x60EA27EEADC0B5D6ull, 0xC2B2AE3D27D4EB4Full, 0x0ull,
                          0x61C8864E7A143579ull};
    unsigned char stripe_[32] = {};
    size_t stripeUsed_ = 0;
    uint64_t total_ = 0;
};

} // namespace rz
