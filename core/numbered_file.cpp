#include "core/numbered_file.hpp"

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RZ_LINE_SSE2 1
#endif

namespace rz {

namespace {

// Bytes that go into a line as they are: everything below 0x80 except the three
// that end a line (NUL, LF, CR).
constexpr std::array<bool, 256> MakePlainTable() {
    std::array<bool, 256> plain{};
    for (int b = 1; b < 0x80; ++b) {
        plain[static_cast<size_t>(b)] = b != 0x0A && b != 0x0D;
    }
    return plain;
}
constexpr std::array<bool, 256> kPlain = MakePlainTable();

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no stray
// or missing continuation bytes. Only such bytes come back unchanged from decoding
// and encoding again.
bool IsWellFormedUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    while (p < end) {
        const unsigned char b0 = *p++;
        if (b0 < 0x80) {
            continue;
        }
        int need;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            lo = b0 == 0xE0 ? 0xA0 : 0x80;
            hi = b0 == 0xED ? 0x9F : 0xBF;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            lo = b0 == 0xF0 ? 0x90 : 0x80;
            hi = b0 == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p < need || p[0] < lo || p[0] > hi) {
            return false;
        }
        for (int k = 1; k < need; ++k) {
            if (p[k] < 0x80 || p[k] > 0xBF) {
                return false;
            }
        }
        p += need;
    }
    return true;
}

} // namespace

NumberedFiles::NumberedFiles(OsFiles& os) : os_(os) {}

NumberedFiles::~NumberedFiles() {
    for (size_t n = 0; n < slots_.size(); ++n) {
        CloseNumberedFile(static_cast<int32_t>(n));
    }
}

FileSlot* NumberedFiles::Slot(int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= slots_.size() ||
        !slots_[static_cast<size_t>(number)].Handle.IsOpen()) {
        return nullptr;
    }
    return &slots_[static_cast<size_t>(number)];
}

FileSlot* NumberedFiles::Prepare(int32_t number) {
    if (number < 0) {
        return nullptr;
    }
    if (static_cast<size_t>(number) >= slots_.size()) {
        slots_.resize(static_cast<size_t>(number) + 1);
    }
    // Opening a number that is still open closes it first, as a fresh slot is wanted.
    CloseNumberedFile(number);
    FileSlot& slot = slots_[static_cast<size_t>(number)];
    slot = FileSlot();
    return &slot;
}

int32_t NumberedFiles::OpenFileForReading(int32_t number, const Text& path) {
    FileSlot* slot = Prepare(number);
    if (slot == nullptr) {
        lastOpen_ = OsResult::Failed;
        return 0;
    }
    lastOpen_ = os_.OpenExisting(path, OsFiles::Access::Read, slot->Handle);
    if (lastOpen_ != OsResult::Ok) {
        *slot = FileSlot();
        return 0;
    }
    slot->Buffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBufferSize);
    slot->ReadOnly = true;
    return 1;
}

int32_t NumberedFiles::CreateFileForWriting(int32_t number, const Text& path) {
    FileSlot* slot = Prepare(number);
    if (slot == nullptr) {
        lastOpen_ = OsResult::Failed;
        return 0;
    }
    lastOpen_ = os_.CreateNew(path, slot->Handle);
    if (lastOpen_ != OsResult::Ok) {
        *slot = FileSlot();
        return 0;
    }
    slot->Buffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBufferSize);
    return 1;
}

bool NumberedFiles::Refill(FileSlot& slot) {
    // After a failed read the file counts as ended for good: reading on behind the
    // gap would make lines of bytes that were never next to each other.
    const int32_t got =
        slot.ReadFailed ? 0 : os_.Read(slot.Handle, slot.Buffer.get(), slot.BufferSize);
    if (got < 0) {
        // Counted as the end of the file, but remembered: a file read only in part
        // must never be written back.
        slot.ReadFailed = true;
    }
    slot.Filled = got > 0 ? got : 0;
    slot.Pending = slot.Filled;
    if (slot.Filled > 0) {
        slot.Received.Update(slot.Buffer.get(), static_cast<size_t>(slot.Filled));
    }
    return slot.Filled > 0;
}

int32_t NumberedFiles::FetchBytes(FileSlot& slot, unsigned char* out, int32_t count) {
    int32_t delivered = 0;
    while (delivered < count) {
        if (slot.Pending == 0 && !Refill(slot)) {
            break; // the end of the file (or a failed read)
        }
        const int32_t take = slot.Pending < count - delivered ? slot.Pending : count - delivered;
        std::memcpy(out + delivered, slot.Buffer.get() + (slot.Filled - slot.Pending),
                    static_cast<size_t>(take));
        slot.Pending -= take;
        delivered += take;
    }
    return delivered;
}

bool NumberedFiles::FetchByte(FileSlot& slot, unsigned char& byte) {
    return FetchBytes(slot, &byte, 1) == 1;
}

bool NumberedFiles::FileAtEnd(int32_t number) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr || slot->Writing) {
        return true;
    }
    if (slot->Pending > 0) {
        return false; // a fetch and a push-back would leave everything as it is
    }
    unsigned char byte;
    if (!FetchByte(*slot, byte)) {
        return true;
    }
    ++slot->Pending; // push the byte back
    return false;
}

namespace {

// True when one of the eight bytes of w is not plain: NUL, LF, CR, or a byte of 0x80
// and above.
inline bool HasSpecialByte(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    const auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    return ((w & kHighs) | hasZero(w) | hasZero(w ^ (kOnes * 0x0A)) |
            hasZero(w ^ (kOnes * 0x0D))) != 0;
}

// Walks the plain bytes and LFs of [p, stop), sixteen or eight at a time where
// possible, and calls onLf with each LF's place in order; when onLf gives false the
// walk stops just behind that LF. Otherwise it stops at the first byte that is
// neither plain nor an LF (NUL, CR, 0x80 and above), or at `stop`. Gives where it
// stopped. Both readers cut lines with this one walk, so they cannot disagree.
template <class OnLf>
inline const unsigned char* ScanPlainRun(const unsigned char* p, const unsigned char* const stop,
                                         OnLf&& onLf) {
#ifdef RZ_LINE_SSE2
    const __m128i nul = _mm_setzero_si128();
    const __m128i lf = _mm_set1_epi8(0x0A);
    const __m128i cr = _mm_set1_epi8(0x0D);
    while (stop - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // The high bit of v itself marks a byte of 0x80 and above.
        const auto special = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, nul), _mm_cmpeq_epi8(v, cr)), v)));
        auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        if (special != 0) {
            ends &= (special & (0u - special)) - 1; // only those before the first
        }
        while (ends != 0) {
            const int at = std::countr_zero(ends);
            if (!onLf(p + at)) {
                return p + at + 1;
            }
            ends &= ends - 1;
        }
        if (special != 0) {
            return p + std::countr_zero(special);
        }
        p += 16;
    }
#endif
    for (;;) {
        while (stop - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (HasSpecialByte(word)) {
                break;
            }
            p += 8;
        }
        while (p < stop && kPlain[*p]) {
            ++p;
        }
        if (p == stop || *p != 0x0A) {
            return p;
        }
        if (!onLf(p)) {
            return p + 1;
        }
        ++p;
    }
}

} // namespace

// Appends the bytes of the next line to `out`, without its line end. `multiByte` is
// set when a character of two to four bytes was taken, `nulInside` when one of them
// holds a NUL.
void NumberedFiles::ReadLineBytes(FileSlot& slot, std::string& out, bool& multiByte,
                                  bool& nulInside) {
    for (;;) {
        if (slot.Pending == 0 && !Refill(slot)) {
            return; // no further character: the line is complete
        }
        // Plain bytes are taken as a run straight from the buffer, up to the line end.
        const unsigned char* const start = slot.Buffer.get() + (slot.Filled - slot.Pending);
        const unsigned char* const stop = slot.Buffer.get() + slot.Filled;
        bool ended = false;
        const unsigned char* const p = ScanPlainRun(start, stop, [&](const unsigned char*) {
            ended = true;
            return false;
        });
        // Behind an LF the run holds it as its last byte; it is consumed, not kept.
        out.append(reinterpret_cast<const char*>(start),
                   static_cast<size_t>(p - start) - (ended ? 1 : 0));
        slot.Pending -= static_cast<int32_t>(p - start);
        if (ended) {
            return;
        }
        if (p == stop) {
            continue;
        }
        const unsigned char first = *p;
        --slot.Pending;
        if (first == 0x0D) {
            unsigned char next;
            if (FetchByte(slot, next) && next != 0x0A) {
                ++slot.Pending; // it begins the next line
            }
            return;
        }
        if (first == 0x00) {
            slot.Faithful = false;
            return;
        }
        int32_t more = 0;
        if (first >= 0xC0 && first <= 0xDF) {
            more = 1;
        } else if (first >= 0xE0 && first <= 0xEF) {
            more = 2;
        } else if (first >= 0xF0 && first <= 0xF7) {
            more = 3;
        } else {
            // A byte that cannot begin a character stands as "?".
            slot.Faithful = false;
            out.push_back('?');
            continue;
        }
        // The bytes after a lead byte are taken as they come, a line end included;
        // whether they form a valid character is judged once the line is complete.
        unsigned char rest[3];
        if (FetchBytes(slot, rest, more) < more) {
            slot.Faithful = false; // cut short by the end of the file: dropped
            return;
        }
        multiByte = true;
        out.push_back(static_cast<char>(first));
        for (int32_t k = 0; k < more; ++k) {
            nulInside = nulInside || rest[k] == 0;
            out.push_back(static_cast<char>(rest[k]));
        }
    }
}

size_t NumberedFiles::TakeLines(FileSlot& slot, LineStore& lines, size_t maxLines) {
    std::string& out = lines.Open();
    size_t taken = 0;
    while (taken < maxLines) {
        if (slot.Pending == 0 && !Refill(slot)) {
            // The end of the file ends a line that has begun.
            if (out.size() != lines.OpenLineBegin()) {
                lines.EndLine();
                ++taken;
            }
            return taken;
        }
        // A run of plain bytes and LFs goes over as it is: an LF ends a line and is
        // the store's separator byte too.
        const unsigned char* const start = slot.Buffer.get() + (slot.Filled - slot.Pending);
        const unsigned char* const stop = slot.Buffer.get() + slot.Filled;
        const size_t base = out.size(); // where *start lands in the store
        const unsigned char* const p = ScanPlainRun(start, stop, [&](const unsigned char* at) {
            lines.EndLineAt(base + static_cast<size_t>(at - start));
            return ++taken < maxLines;
        });
        out.append(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
        slot.Pending -= static_cast<int32_t>(p - start);
        if (taken == maxLines || p == stop) {
            continue;
        }
        // A byte that is neither plain nor an LF.
        if (*p == 0x00) {
            --slot.Pending;
            slot.Faithful = false;
            lines.EndLine();
            ++taken;
            continue;
        }
        if (*p == 0x0D && slot.Pending >= 2) {
            slot.Pending -= p[1] == 0x0A ? 2 : 1;
            lines.EndLine();
            ++taken;
            continue;
        }
        // A character of several bytes, or a CR whose follower is not read yet: the
        // rest of the line by the general rules.
        const size_t begin = lines.OpenLineBegin();
        bool multiByte = false;
        bool nulInside = false;
        ReadLineBytes(slot, out, multiByte, nulInside);
        if (nulInside) {
            // A NUL inside a character ends the decoding of the line.
            out.resize(out.find('\0', begin));
            slot.Faithful = false;
        }
        if (multiByte && !IsWellFormedUtf8(std::string_view(out).substr(begin))) {
            slot.Faithful = false;
        }
        lines.EndLine();
        ++taken;
    }
    return taken;
}

size_t NumberedFiles::ReadTextLines(int32_t number, LineStore& lines, size_t maxLines) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr || slot->Writing) {
        return 0;
    }
    return TakeLines(*slot, lines, maxLines);
}

void NumberedFiles::ReadTextLine(int32_t number, LineStore& lines) {
    // At the end of the file (or when the number is not open) the line is empty.
    if (ReadTextLines(number, lines, 1) == 0) {
        lines.EndLine();
    }
}

Text NumberedFiles::ReadTextLine(int32_t number) {
    LineStore one;
    ReadTextLine(number, one);
    return one[0];
}

void NumberedFiles::Put(FileSlot& slot, const char* bytes, int32_t count) {
    if (slot.ReadOnly || slot.WriteResult != OsResult::Ok || count <= 0) {
        return;
    }
    if (!slot.Writing) {
        // A created file starts in reading direction with nothing buffered, so the
        // switch needs no move of the file position.
        slot.Writing = true;
        slot.Pending = slot.BufferSize;
    }
    if (slot.Pending > count) {
        std::memcpy(slot.Buffer.get() + (slot.BufferSize - slot.Pending), bytes,
                    static_cast<size_t>(count));
        slot.Pending -= count;
        return;
    }
    if (slot.Pending < slot.BufferSize) {
        slot.WriteResult =
            os_.Write(slot.Handle, slot.Buffer.get(), slot.BufferSize - slot.Pending);
        slot.Pending = slot.BufferSize;
        if (slot.WriteResult != OsResult::Ok) {
            return;
        }
    }
    if (count >= slot.BufferSize) {
        slot.WriteResult = os_.Write(slot.Handle, bytes, count);
    } else {
        std::memcpy(slot.Buffer.get(), bytes, static_cast<size_t>(count));
        slot.Pending = slot.BufferSize - count;
    }
}

int64_t NumberedFiles::WriteTextLine(int32_t number, std::u16string_view text) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr || slot->ReadOnly || slot->WriteResult != OsResult::Ok) {
        return 0;
    }
    encoded_.clear();
    bool ascii = true;
    for (const char16_t unit : text) {
        if (unit >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        encoded_.resize(text.size());
        for (size_t k = 0; k < text.size(); ++k) {
            encoded_[k] = static_cast<char>(text[k]);
        }
    } else {
        encoded_ = TextToUtf8(Text(text));
    }
    encoded_ += "\r\n";
    PutBytes(number, encoded_);
    return slot->WriteResult == OsResult::Ok ? static_cast<int64_t>(encoded_.size()) : 0;
}

OsResult NumberedFiles::PutBytes(int32_t number, std::string_view bytes) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr || slot->ReadOnly) {
        return OsResult::Failed;
    }
    // A piece above 2 GiB goes out in parts; the buffer rules hold for each.
    while (!bytes.empty() && slot->WriteResult == OsResult::Ok) {
        const size_t piece = bytes.size() > 0x40000000u ? 0x40000000u : bytes.size();
        Put(*slot, bytes.data(), static_cast<int32_t>(piece));
        bytes.remove_prefix(piece);
    }
    return slot->WriteResult;
}

OsResult NumberedFiles::FlushNumberedFile(int32_t number) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr || slot->ReadOnly) {
        return OsResult::Failed;
    }
    if (slot->Writing && slot->WriteResult == OsResult::Ok && slot->Pending < slot->BufferSize) {
        slot->WriteResult =
            os_.Write(slot->Handle, slot->Buffer.get(), slot->BufferSize - slot->Pending);
        slot->Pending = slot->BufferSize;
    }
    if (slot->WriteResult != OsResult::Ok) {
        return slot->WriteResult;
    }
    slot->WriteResult = os_.Flush(slot->Handle);
    return slot->WriteResult;
}

OsResult NumberedFiles::CloseNumberedFile(int32_t number) {
    FileSlot* slot = Slot(number);
    if (slot == nullptr) {
        return OsResult::Ok;
    }
    OsResult result = OsResult::Ok;
    if (slot->Writing) {
        if (slot->WriteResult == OsResult::Ok && slot->Pending < slot->BufferSize) {
            slot->WriteResult =
                os_.Write(slot->Handle, slot->Buffer.get(), slot->BufferSize - slot->Pending);
        }
        result = slot->WriteResult;
    }
    const OsResult closed = os_.Close(slot->Handle);
    if (result == OsResult::Ok && !slot->ReadOnly) {
        result = closed;
    }
    slot->Buffer.reset();
    slot->Handle = OsHandle();
    return result;
}

} // namespace rz
