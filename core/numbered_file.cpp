#include "core/numbered_file.hpp"

#include "text/byte_block.hpp"

#include <array>
#include <bit>
#include <cstring>

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

} // namespace

FileSlot* NumberedFiles::Slot(int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= slots_.size() ||
        !slots_[static_cast<size_t>(number)].File.IsOpen()) {
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
    lastOpen_ = os_.Hold(path, OsFiles::Access::Read, slot->File);
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
    lastOpen_ = os_.CreateHeld(path, slot->File);
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
        slot.ReadFailed ? 0 : os_.Read(slot.File.Get(), slot.Buffer.get(), slot.BufferSize);
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

// Walks the plain bytes and LFs of [p, stop), a block at a time where possible, and
// calls onLf with each LF's place in order; when onLf gives false the walk stops just
// behind that LF. Otherwise it stops at the first byte that is neither plain nor an
// LF (NUL, CR, 0x80 and above), or at `stop`. Gives where it stopped. Both readers
// cut lines with this one walk, so they cannot disagree.
template <class OnLf>
inline const unsigned char* ScanPlainRun(const unsigned char* p, const unsigned char* const stop,
                                         OnLf&& onLf) {
    while (static_cast<size_t>(stop - p) >= ByteBlock::kSize) {
        const ByteBlock block(p);
        const uint32_t special = block.Equal('\0') | block.Equal('\r') | block.High();
        uint32_t ends = block.Equal('\n');
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
        p += ByteBlock::kSize;
    }
    for (;;) {
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

// Appends the bytes of the next line to `out`, without its line end, and gives that end.
// `multiByte` is set when a character of two to four bytes was taken, `nulInside` when
// one of them holds a NUL.
LineEnd NumberedFiles::ReadLineBytes(FileSlot& slot, std::string& out, bool& multiByte,
                                     bool& nulInside) {
    for (;;) {
        if (slot.Pending == 0 && !Refill(slot)) {
            return LineEnd::None; // no further character: the line is complete
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
            return LineEnd::Lf;
        }
        if (p == stop) {
            continue;
        }
        const unsigned char first = *p;
        --slot.Pending;
        if (first == 0x0D) {
            unsigned char next;
            if (!FetchByte(slot, next)) {
                return LineEnd::Cr;
            }
            if (next != 0x0A) {
                ++slot.Pending; // it begins the next line
                return LineEnd::Cr;
            }
            return LineEnd::CrLf;
        }
        if (first == 0x00) {
            slot.Faithful = false;
            return LineEnd::Lf;
        }
        const int32_t more = ClassifyUtf8Lead(first).Following;
        if (more == 0) {
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
            return LineEnd::None;
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
                lines.EndLine(LineEnd::None);
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
            lines.EndLine(p[1] == 0x0A ? LineEnd::CrLf : LineEnd::Cr);
            ++taken;
            continue;
        }
        // A character of several bytes, or a CR whose follower is not read yet: the
        // rest of the line by the general rules.
        const size_t begin = lines.OpenLineBegin();
        bool multiByte = false;
        bool nulInside = false;
        const LineEnd end = ReadLineBytes(slot, out, multiByte, nulInside);
        if (nulInside) {
            // A NUL inside a character ends the decoding of the line.
            out.resize(out.find('\0', begin));
            slot.Faithful = false;
        }
        if (multiByte && !IsWellFormedUtf8(std::string_view(out).substr(begin))) {
            slot.Faithful = false;
        }
        lines.EndLine(end);
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
            os_.Write(slot.File.Get(), slot.Buffer.get(), slot.BufferSize - slot.Pending);
        slot.Pending = slot.BufferSize;
        if (slot.WriteResult != OsResult::Ok) {
            return;
        }
    }
    if (count >= slot.BufferSize) {
        slot.WriteResult = os_.Write(slot.File.Get(), bytes, count);
    } else {
        std::memcpy(slot.Buffer.get(), bytes, static_cast<size_t>(count));
        slot.Pending = slot.BufferSize - count;
    }
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
            os_.Write(slot->File.Get(), slot->Buffer.get(), slot->BufferSize - slot->Pending);
        slot->Pending = slot->BufferSize;
    }
    if (slot->WriteResult != OsResult::Ok) {
        return slot->WriteResult;
    }
    slot->WriteResult = os_.Flush(slot->File.Get());
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
                os_.Write(slot->File.Get(), slot->Buffer.get(), slot->BufferSize - slot->Pending);
        }
        result = slot->WriteResult;
    }
    const OsResult closed = slot->File.Close();
    if (result == OsResult::Ok && !slot->ReadOnly) {
        result = closed;
    }
    slot->Buffer.reset();
    return result;
}

} // namespace rz
