#include "core/drill_edits.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

namespace rz {

bool EditsFit(const LineStore& lines, size_t count, std::span<const ByteEdit> edits) {
    count = std::min(count, lines.size());
    size_t line = 0;
    size_t free = 0; // the first position a further edit may touch
    for (const ByteEdit& edit : edits) {
        if (edit.At < free || edit.Replacement.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
        while (line < count && lines.EndOf(line) < edit.At) {
            ++line;
        }
        if (line == count || edit.At + edit.Length > lines.EndOf(line)) {
            return false;
        }
        free = edit.At + edit.Length;
    }
    return true;
}

namespace {

// Gathers the output into pieces of about 256 KiB for the sink; a run longer than a piece
// (a board written as one line) goes to the sink as it stands, not copied.
class Pieces {
public:
    explicit Pieces(const PieceSink& sink)
        : sink_(sink), piece_(std::make_unique_for_overwrite<char[]>(kRoom)) {}

    bool Refused() const { return refused_; }

    void Put(std::string_view bytes) {
        if (bytes.size() > kRoom - used_) {
            Finish();
            if (bytes.size() >= kPiece) {
                refused_ = refused_ || !sink_(bytes);
                return;
            }
        }
        std::memcpy(piece_.get() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }

    // Called at each line's end, so that a piece goes out once it holds enough.
    void LineDone() {
        if (used_ >= kPiece) {
            Finish();
        }
    }

    bool Finish() {
        if (used_ > 0 && !refused_) {
            refused_ = !sink_(std::string_view(piece_.get(), used_));
        }
        used_ = 0;
        return !refused_;
    }

private:
    static constexpr size_t kPiece = size_t{1} << 18;
    static constexpr size_t kRoom = 2 * kPiece;

    const PieceSink& sink_;
    std::unique_ptr<char[]> piece_;
    size_t used_ = 0;
    bool refused_ = false;
};

} // namespace

bool WriteEditedLines(const LineStore& lines, size_t count, std::span<const ByteEdit> edits,
                      const PieceSink& sink, LineEnds ends) {
    count = std::min(count, lines.size());
    if (!EditsFit(lines, count, edits)) {
        return false;
    }
    static constexpr std::string_view kEnds[] = {"\n", "\r\n", "\r", ""};
    const std::vector<LineEndRun>& runs = lines.EndRuns();
    const std::string_view bytes = lines.All();
    Pieces out(sink);
    size_t next = 0; // the next edit
    size_t run = 0;  // the next run of line ends
    std::string_view lineEnd = ends == LineEnds::CrLf ? "\r\n" : "\n";
    for (size_t i = 0; i < count && !out.Refused(); ++i) {
        if (ends == LineEnds::Keep && run < runs.size() && runs[run].First == i) {
            lineEnd = kEnds[static_cast<size_t>(runs[run++].End)];
        }
        size_t at = lines.BeginOf(i);
        const size_t end = lines.EndOf(i);
        for (; next < edits.size() && edits[next].At < end; ++next) {
            out.Put(bytes.substr(at, edits[next].At - at));
            out.Put(edits[next].Replacement);
            at = edits[next].At + edits[next].Length;
        }
        out.Put(bytes.substr(at, end - at));
        out.Put(lineEnd);
        out.LineDone();
    }
    return out.Finish();
}

} // namespace rz
