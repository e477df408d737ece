// UTF-8 <-> UTF-16 at the edges of the program. Whole board files pass through here, so
// runs of ASCII are handled sixteen bytes at a time and every result is allocated once.
#include "text/byte_block.hpp"
#include "text/text.hpp"

#include <cstddef>

namespace rz {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The length of the well-formed sequence that `lead` begins at p, or 0 when the bytes
// there are malformed; then `valid` is how many of them form its longest valid
// beginning (the "maximal subpart" a decoder replaces as one).
int SequenceLength(const unsigned char* p, const unsigned char* end, int& valid) {
    const Utf8Lead lead = ClassifyUtf8Lead(*p);
    valid = 1;
    if (*p < 0x80) {
        return 1;
    }
    if (!lead.CanStart) {
        return 0;
    }
    unsigned char lo = lead.SecondLow;
    unsigned char hi = lead.SecondHigh;
    for (int k = 1; k <= lead.Following; ++k) {
        if (end - p <= k || p[k] < lo || p[k] > hi) {
            return 0;
        }
        ++valid;
        lo = 0x80;
        hi = 0xBF;
    }
    return lead.Following + 1;
}

} // namespace

bool IsWellFormedUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    while (p < end) {
        // A whole board may be one line: runs of ASCII are passed sixteen bytes at a time.
        if (static_cast<std::size_t>(end - p) >= ByteBlock::kSize && ByteBlock(p).High() == 0) {
            p += ByteBlock::kSize;
            continue;
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int valid = 0;
        const int n = SequenceLength(p, end, valid);
        if (n == 0) {
            return false;
        }
        p += n;
    }
    return true;
}

Text Utf8ToText(std::string_view bytes) {
    // Never more code units than bytes: one byte gives at most one unit, four give two.
    Text out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();

    while (p < end) {
        if (static_cast<std::size_t>(end - p) >= ByteBlock::kSize && ByteBlock(p).High() == 0) {
            for (std::size_t k = 0; k < ByteBlock::kSize; ++k) {
                o[k] = p[k];
            }
            p += ByteBlock::kSize;
            o += ByteBlock::kSize;
            continue;
        }
        // A malformed sequence yields one U+FFFD for its longest valid beginning, and
        // the byte that broke it is read again as the start of the next one.
        int valid = 0;
        const int n = SequenceLength(p, end, valid);
        if (n == 0) {
            *o++ = kReplacement;
            p += valid;
            continue;
        }
        uint32_t cp = n == 1 ? *p : *p & (0x7Fu >> n);
        for (int k = 1; k < n; ++k) {
            cp = (cp << 6) | (p[k] & 0x3Fu);
        }
        p += n;
        if (cp < 0x10000) {
            *o++ = static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string TextToUtf8(const Text& t) {
    const char16_t* const begin = t.data();
    const char16_t* const end = begin + t.size();

    // First pass: the exact length, so the result is allocated once.
    std::size_t size = 0;
    for (const char16_t* p = begin; p < end; ++p) {
        const char16_t c = *p;
        if (c < 0x80) {
            size += 1;
        } else if (c < 0x800) {
            size += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            size += 4;
            ++p;
        } else {
            size += 3; // includes a lone surrogate, written as U+FFFD
        }
    }

    std::string out(size, '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    for (const char16_t* p = begin; p < end; ++p) {
        uint32_t c = *p;
        if (c < 0x80) {
            *o++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            if (c >= 0xD800 && c <= 0xDFFF) {
                if (c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
                    const uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00u);
                    ++p;
                    *o++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
                    *o++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                    *o++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                    *o++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
                    continue;
                }
                c = kReplacement;
            }
            *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace rz
