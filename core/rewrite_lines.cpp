// The new content of the board: the loaded lines with the new drill tokens in place.
#include "core/rewrite_lines.hpp"

#include "core/drill_lines.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <vector>

namespace rz {

namespace {

// `Length` loaded bytes at `At` become `Bytes`, which lie in a Replacements.
struct Edit {
    size_t At;
    size_t Length;
    std::string_view Bytes;
};

// The collected tokens as bytes, each with its new token. The file has no flaws, so a
// token's text and its bytes stand for each other, and replacing a token's bytes in a
// line's bytes gives the bytes of the line's text with the token replaced: well-formed
// UTF-8 matches only at character starts.
class Replacements {
public:
    explicit Replacements(const BoardState& state) {
        const size_t last =
            state.DrillCount < 1
                ? 0
                : std::min(static_cast<size_t>(state.DrillCount),
                           std::min(state.DrillTokens.size(), state.NewDrillTokens.size()) - 1);
        old_.reserve(last + 1);
        new_.reserve(last + 1);
        for (size_t j = 0; j <= last; ++j) {
            old_.push_back(TextToUtf8(state.DrillTokens[j]));
            new_.push_back(TextToUtf8(state.NewDrillTokens[j]));
        }
        // The tokens are distinct, so at most one slot matches.
        for (size_t j = 1; j <= last; ++j) {
            if (!old_[j].empty()) {
                slots_.emplace(old_[j], j);
            }
        }
    }

    // The new token for `token`, or nullptr when it is none of the collected ones.
    const std::string* For(std::string_view token) {
        // Pads in a row mostly share their token: the last one is tried first.
        if (token != last_) {
            last_.assign(token);
            const auto match = slots_.find(last_);
            lastSlot_ = match == slots_.end() ? 0 : match->second;
        }
        return lastSlot_ == 0 ? nullptr : &new_[lastSlot_];
    }

private:
    std::vector<std::string> old_;
    std::vector<std::string> new_;
    std::unordered_map<std::string_view, size_t> slots_;
    std::string last_;
    size_t lastSlot_ = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The edits that turn a token written over several lines, bytes [at, end) of `all`, into
// `replacement`, the new token as one line: each word (a run without blanks, tabs and
// line ends) that differs is replaced where it stands, so the line ends, the indentation
// and every other byte stay. Only the size numbers differ; when the two do not match
// that way word for word, there is no edit and the token stays as it is.
std::vector<Edit> WordEdits(std::string_view all, size_t at, size_t end,
                            std::string_view replacement) {
    std::vector<Edit> edits;
    size_t k = at;
    size_t r = 0;
    for (;;) {
        while (k < end && IsBlank(all[k])) {
            ++k;
        }
        while (r < replacement.size() && IsBlank(replacement[r])) {
            ++r;
        }
        if (k == end || r == replacement.size()) {
            break;
        }
        size_t kw = k;
        while (kw < end && !IsBlank(all[kw])) {
            ++kw;
        }
        size_t rw = r;
        while (rw < replacement.size() && !IsBlank(replacement[rw])) {
            ++rw;
        }
        if (all.substr(k, kw - k) != replacement.substr(r, rw - r)) {
            edits.push_back({k, kw - k, replacement.substr(r, rw - r)});
        }
        k = kw;
        r = rw;
    }
    std::string edited;
    size_t from = at;
    for (const Edit& e : edits) {
        edited.append(all.substr(from, e.At - from)).append(e.Bytes);
        from = e.At + e.Length;
    }
    edited.append(all.substr(from, end - from));
    if (k != end || r != replacement.size() || JoinLines(edited) != replacement) {
        edits.clear();
    }
    return edits;
}

// Gathers the output into large pieces, which the file layer writes straight through.
class Pieces {
public:
    Pieces(NumberedFiles& files, int32_t number)
        : files_(files), number_(number), piece_(std::make_unique_for_overwrite<char[]>(kRoom)) {}

    bool Failed() { return files_.Slot(number_)->WriteResult != OsResult::Ok; }

    // One line of the loaded bytes, [begin, end) of `all`, with `edits` (in order, inside
    // the line) made, and CR LF.
    void Line(std::string_view all, size_t begin, size_t end, const std::vector<Edit>& edits) {
        size_t from = begin;
        for (const Edit& e : edits) {
            if (e.At >= from) { // never one inside another
                Put(all.data() + from, e.At - from);
                Put(e.Bytes.data(), e.Bytes.size());
                from = e.At + e.Length;
            }
        }
        Put(all.data() + from, end - from);
        Put("\r\n", 2);
        // A piece goes out once it holds a buffer's worth, so the file layer writes it
        // straight through instead of copying it once more.
        if (used_ >= kPiece) {
            Finish();
        }
    }

    void Finish() {
        files_.PutBytes(number_, std::string_view(piece_.get(), used_));
        used_ = 0;
    }

private:
    static constexpr size_t kPiece = kFileBufferSize;
    static constexpr size_t kRoom = 2 * kPiece;

    void Put(const char* bytes, size_t count) {
        if (count > kRoom - used_) {
            Finish();
            if (count > kRoom) {
                files_.PutBytes(number_, std::string_view(bytes, count)); // a very long line
                return;
            }
        }
        std::memcpy(piece_.get() + used_, bytes, count);
        used_ += count;
    }

    NumberedFiles& files_;
    int32_t number_;
    std::unique_ptr<char[]> piece_;
    size_t used_ = 0;
};

// Keeps edits in the order of their place; they nearly always come in that order.
void AddEdit(std::deque<Edit>& edits, const Edit& edit) {
    auto at = edits.end();
    while (at != edits.begin() && std::prev(at)->At > edit.At) {
        --at;
    }
    edits.insert(at, edit);
}

} // namespace

OsResult WriteNewLines(const BoardState& state, NumberedFiles& files, int32_t number) {
    const LineStore& store = state.BoardLines;
    const std::string_view all = store.All();
    const size_t lines = LinesInUse(state);
    Replacements replacements(state);
    Pieces out(files, number);
    std::deque<Edit> waiting; // edits on lines not written yet
    std::vector<Edit> edits;  // those of the line being written
    size_t next = 0;          // the next line to write
    const auto writeUpTo = [&](size_t end) {
        for (; next < end && !out.Failed(); ++next) {
            edits.clear();
            while (!waiting.empty() && waiting.front().At < store.EndOf(next)) {
                edits.push_back(waiting.front());
                waiting.pop_front();
            }
            out.Line(all, store.BeginOf(next), store.EndOf(next), edits);
        }
    };
    ForEachLineDrill(store, lines, [&](const LineDrill& drill) {
        const std::string* replacement =
            drill.Token.empty() ? nullptr : replacements.For(drill.Token);
        if (replacement != nullptr && drill.TokenEnd <= store.EndOf(drill.Line)) {
            // Every occurrence on the line, left to right, none inside a replacement; the
            // first is the one found.
            const std::string_view token = drill.Token;
            const std::string_view line =
                all.substr(0, store.EndOf(drill.Line)); // positions stay those of `all`
            for (size_t at = drill.Marker; at != std::string_view::npos;
                 at = line.find(token, at + token.size())) {
                AddEdit(waiting, {at, token.size(), *replacement});
            }
        } else if (replacement != nullptr) {
            for (const Edit& e : WordEdits(all, drill.Marker, drill.TokenEnd, *replacement)) {
                AddEdit(waiting, e);
            }
        }
        writeUpTo(drill.Line + 1);
        return !out.Failed();
    });
    writeUpTo(lines);
    out.Finish();
    return files.Slot(number)->WriteResult;
}

} // namespace rz
