// UTF-8 <-> UTF-16 at the edges of the program. Whole board files pass through here, so
// runs of ASCII are handled eight bytes at a time and every result is allocated once.
#include "text/text.hpp"

#include <cstddef>
#include <cstring>

namespace rz {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool AllAscii8(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

} // namespace

Text Utf8ToText(std::string_view bytes) {
    // Never more code units than bytes: one byte gives at most one unit, four give two.
    Text out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();

    while (p < end) {
        if (end - p >= 8 && AllAscii8(p)) {
            for (int k = 0; k < 8; ++k) {
                o[k] = p[k];
            }
            p += 8;
            o += 8;
            continue;
        }
        const unsigned char b0 = *p;
        if (b0 < 0x80) {
            *o++ = b0;
            ++p;
            continue;
        }
        // Sequence length and the allowed range of the second byte (which rules out
        // overlong forms, surrogates and values above U+10FFFF). A malformed sequence
        // yields one U+FFFD for its longest valid beginning ("maximal subpart"), and the
        // byte that broke it is read again as the start of the next one.
        int need;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        uint32_t cp;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
            cp = b0 & 0x1Fu;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            cp = b0 & 0x0Fu;
            if (b0 == 0xE0) {
                lo = 0xA0;
            } else if (b0 == 0xED) {
                hi = 0x9F;
            }
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            cp = b0 & 0x07u;
            if (b0 == 0xF0) {
                lo = 0x90;
            } else if (b0 == 0xF4) {
                hi = 0x8F;
            }
        } else {
            *o++ = kReplacement; // a stray continuation byte or a byte never used
            ++p;
            continue;
        }
        ++p;
        bool ok = true;
        for (int k = 0; k < need; ++k) {
            if (p == end || *p < lo || *p > hi) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (*p & 0x3Fu);
            ++p;
            lo = 0x80;
            hi = 0xBF;
        }
        if (!ok) {
            *o++ = kReplacement;
        } else if (cp < 0x10000) {
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
