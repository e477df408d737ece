#include "core/content_hash.hpp"

#include <bit>
#include <cstring>

namespace rz {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

uint64_t Rotl(uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

// Byte order is fixed to little-endian so the digest does not depend on the
// machine; it is only compared within one run anyway.
uint64_t Load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t swapped = 0;
        for (int k = 0; k < 8; ++k) {
            swapped = (swapped << 8) | (v & 0xFF);
            v >>= 8;
        }
        v = swapped;
    }
    return v;
}

uint64_t Round(uint64_t acc, uint64_t input) {
    acc += input * kPrime2;
    acc = Rotl(acc, 31);
    return acc * kPrime1;
}

uint64_t Merge(uint64_t acc, uint64_t lane) {
    acc ^= Round(0, lane);
    return acc * kPrime1 + kPrime4;
}

void Stripe(uint64_t* lanes, const unsigned char* p) {
    lanes[0] = Round(lanes[0], Load64(p));
    lanes[1] = Round(lanes[1], Load64(p + 8));
    lanes[2] = Round(lanes[2], Load64(p + 16));
    lanes[3] = Round(lanes[3], Load64(p + 24));
}

} // namespace

void ContentHash::Update(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    total_ += size;
    if (stripeUsed_ > 0) {
        const size_t take = size < 32 - stripeUsed_ ? size : 32 - stripeUsed_;
        std::memcpy(stripe_ + stripeUsed_, p, take);
        stripeUsed_ += take;
        p += take;
        size -= take;
        if (stripeUsed_ < 32) {
            return;
        }
        Stripe(lanes_, stripe_);
        stripeUsed_ = 0;
    }
    while (size >= 32) {
        Stripe(lanes_, p);
        p += 32;
        size -= 32;
    }
    std::memcpy(stripe_, p, size);
    stripeUsed_ = size;
}

uint64_t ContentHash::Digest() const {
    uint64_t h =
        Rotl(lanes_[0], 1) + Rotl(lanes_[1], 7) + Rotl(lanes_[2], 12) + Rotl(lanes_[3], 18);
    for (const uint64_t lane : lanes_) {
        h = Merge(h, lane);
    }
    h += total_;
    const unsigned char* p = stripe_;
    size_t left = stripeUsed_;
    while (left >= 8) {
        h ^= Round(0, Load64(p));
        h = Rotl(h, 27) * kPrime1 + kPrime4;
        p += 8;
        left -= 8;
    }
    while (left > 0) {
        h ^= *p * kPrime5;
        h = Rotl(h, 11) * kPrime1;
        ++p;
        --left;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

} // namespace rz
