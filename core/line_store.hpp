// The lines of a board file, kept back to back in one byte buffer.
//
// A board of 100 MB has millions of short lines; one string object per line would
// cost several times the file in memory. Here a line costs its bytes, a separator
// and one offset, and the buffer is sized once from the file size.
//
// A line is held as the UTF-8 bytes it was read as (after the reading rules: "?"
// for a stray byte, a cut-short sequence dropped, nothing from a NUL on), and its
// text is those bytes decoded. For a file without flaws the bytes are exactly the
// file's, so writing a line back is a copy; searching for ASCII markers in the bytes
// finds what searching the text would, since ASCII bytes decode to themselves.
#pragma once

#include "core/large_buffer.hpp"
#include "text/text.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

// How a line ended in the file. A NUL also ends a line, but a file holding one is never
// written back, so it counts as LF here.
enum class LineEnd : uint8_t { Lf, CrLf, Cr, None };

// From line First on, every line ends with End, up to the next run.
struct LineEndRun {
    size_t First = 0;
    LineEnd End = LineEnd::Lf;
};

class LineStore {
public:
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }

    // Line i as text.
    Text operator[](size_t i) const { return Utf8ToText(Bytes(i)); }
    // Line i as the bytes held; valid until the store is next changed.
    std::string_view Bytes(size_t i) const {
        return std::string_view(bytes_).substr(BeginOf(i), ends_[i] - BeginOf(i));
    }
    size_t BeginOf(size_t i) const { return i == 0 ? 0 : ends_[i - 1] + 1; }
    size_t EndOf(size_t i) const { return ends_[i]; }

    // The line ends as runs, ascending; none when every line ended with LF. A file kept
    // in one convention costs one run or none, so the common board pays nothing per line.
    const std::vector<LineEndRun>& EndRuns() const { return runs_; }

    void clear() {
        bytes_.clear();
        ends_.clear();
        runs_.clear();
    }
    // Room for `bytes` bytes of lines and separators and for about `lines` lines, so
    // that neither buffer is copied as it grows (more lines still fit).
    void reserve(size_t bytes, size_t lines = 0) {
        bytes_.reserve(bytes);
        AdviseLargeBuffer(bytes_.data(), bytes_.capacity());
        if (lines > ends_.capacity()) {
            ends_.reserve(lines);
            AdviseLargeBuffer(ends_.data(), ends_.capacity() * sizeof(size_t));
        }
    }

    // All lines, each followed by the separator "\n". No marker the pipeline looks
    // for holds a "\n", so a search over all of it never matches across two lines.
    const std::string& All() const { return bytes_; }

    // Building a line in place: append its bytes to Open(), then end it.
    std::string& Open() { return bytes_; }
    void EndLine(LineEnd end = LineEnd::Lf) {
        Note(end);
        ends_.push_back(bytes_.size());
        bytes_.push_back('\n');
    }
    // The memory reserved for the bytes, to be handed out ahead (the table of line
    // ends is reserved by an estimate, so only what it uses is taken).
    LargeBufferPrefault PrefaultReserved() const {
        return LargeBufferPrefault(bytes_.data(), bytes_.capacity());
    }

    // The reader's way for many lines at once: bytes appended to Open() as they are, then
    // each separator among them made a line end (an LF in the file) by its position.
    void EndLineAt(size_t separator) {
        Note(LineEnd::Lf);
        ends_.push_back(separator);
    }
    // Where the line being built begins.
    size_t OpenLineBegin() const { return ends_.empty() ? 0 : ends_.back() + 1; }

private:
    // Records the end of the line about to be ended when it differs from the one before.
    void Note(LineEnd end) {
        if (runs_.empty() ? end != LineEnd::Lf : runs_.back().End != end) {
            runs_.push_back({ends_.size(), end});
        }
    }

    std::string bytes_;
    std::vector<size_t> ends_; // offset of each line's separator
    std::vector<LineEndRun> runs_;
};

} // namespace rz
