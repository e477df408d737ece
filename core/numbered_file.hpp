// Numbered files: the file layer the loader and the rewrite stand on.
//
// Files are addressed by a small number (the tool uses 0). Each open file has a
// transfer buffer; bytes become lines by fixed rules, whatever the buffer's size and
// however the system hands the bytes out:
// - line ends are LF, CR LF and a lone CR (a CR LF split across two refills is one
//   line end); a NUL byte ends a line too and is not part of it;
// - a byte 0xC0..0xF7 takes the next one to three bytes as they come; a sequence
//   cut short by the end of the file is dropped; a byte 0x80..0xBF or 0xF8..0xFF
//   where a character begins reads as "?";
// - each line's bytes, up to a NUL among them, are decoded as UTF-8 with U+FFFD for
//   what is malformed; a byte-order mark stays at the start of line 0.
// Each line's end is noted in the line store. The rewrite writes bytes it has gathered.
//
// Beyond those rules the reading side records whether the file can be written back
// byte for byte (apart from line ends), how many bytes it had and their hash, and
// whether a read failed; the writing side records the first failed write.
#pragma once

#include "core/content_hash.hpp"
#include "core/line_store.hpp"
#include "core/os_file.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

// Large enough that a 100 MB board takes a few hundred reads, small enough that the
// bytes are still in the processor's cache when they are hashed and cut into lines.
constexpr int32_t kFileBufferSize = 1 << 18;

struct FileSlot {
    HeldFile File; // open exactly while this is open
    std::unique_ptr<unsigned char[]> Buffer;
    int32_t BufferSize = kFileBufferSize;
    // Reading: bytes of the buffer not yet consumed. Writing: bytes still free.
    int32_t Pending = 0;
    // Bytes the last refill placed in the buffer; the next byte to consume is at
    // Filled - Pending.
    int32_t Filled = 0;
    bool Writing = false;
    bool ReadOnly = false;

    // Reading: every byte so far is well-formed UTF-8 without NUL, so writing the
    // lines back gives the same bytes apart from line ends.
    bool Faithful = true;
    // Reading: a platform read failed; what came before it was taken as the whole file.
    bool ReadFailed = false;
    // Reading: all bytes received from the platform, in order.
    ContentHash Received;
    // Writing: the first failure; nothing is written after it.
    OsResult WriteResult = OsResult::Ok;
};

class NumberedFiles {
public:
    // What is still open when it goes is closed without a report (and without writing
    // out buffered bytes: only a file closed through CloseNumberedFile is complete).
    explicit NumberedFiles(OsFiles& os) : os_(os) {}
    NumberedFiles(const NumberedFiles&) = delete;
    NumberedFiles& operator=(const NumberedFiles&) = delete;

    // Opens an existing file for reading (exclusively, as far as the platform
    // allows). Non-zero when open; 0 otherwise, with the reason in LastOpenResult.
    int32_t OpenFileForReading(int32_t number, const Text& path);

    // True when no further byte can be read (also when the number is not open).
    bool FileAtEnd(int32_t number);

    // Up to `maxLines` lines appended to `lines`, each without its line end, cut by the
    // rules above while FileAtEnd is false. Gives how many were read: fewer only at the
    // end of the file; 0 when the number is not open.
    size_t ReadTextLines(int32_t number, LineStore& lines, size_t maxLines);

    // Creates a new file for writing. Unlike a plain truncating create it never opens
    // an existing file: the rewrite writes a fresh temporary file and puts it in the
    // board's place only when all of it is on the disk. Non-zero when created.
    int32_t CreateFileForWriting(int32_t number, const Text& path);

    // Puts bytes as they are, through the buffer; a piece as large as the buffer or more goes
    // straight to the file. Gives the first failure of any write so far.
    OsResult PutBytes(int32_t number, std::string_view bytes);

    // Writes out the buffer and forces the file to the disk. The first failure of
    // any write or of the flush comes back; Ok when everything is on the disk.
    OsResult FlushNumberedFile(int32_t number);

    // Writes out buffered data (when writing), releases the buffer and closes the
    // file. For a written file the result tells whether every write and the close
    // succeeded; for a number that is not open it is Ok.
    OsResult CloseNumberedFile(int32_t number);

    // The slot of an open number, or nullptr.
    FileSlot* Slot(int32_t number);
    OsResult LastOpenResult() const { return lastOpen_; }

private:
    FileSlot* Prepare(int32_t number);
    bool Refill(FileSlot& slot);
    bool FetchByte(FileSlot& slot, unsigned char& byte);
    int32_t FetchBytes(FileSlot& slot, unsigned char* out, int32_t count);
    LineEnd ReadLineBytes(FileSlot& slot, std::string& out, bool& multiByte, bool& nulInside);
    size_t TakeLines(FileSlot& slot, LineStore& lines, size_t maxLines);
    void Put(FileSlot& slot, const char* bytes, int32_t count);

    OsFiles& os_;
    std::vector<FileSlot> slots_;
    OsResult lastOpen_ = OsResult::Ok;
};

} // namespace rz
