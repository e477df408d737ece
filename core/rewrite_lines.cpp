// The window's rewrite as byte edits.
#include "core/rewrite_lines.hpp"

#include "core/drill_lines.hpp"

#include <algorithm>
#include <string>
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

} // namespace

std::vector<ByteEdit> WindowEdits(const BoardState& state) {
    const LineStore& store = state.BoardLines;
    const std::string_view all = store.All();
    Replacements replacements(state);
    std::vector<ByteEdit> edits;
    ForEachLineDrill(store, LinesInUse(state), [&](const LineDrill& drill) {
        const std::string* replacement =
            drill.Token.empty() ? nullptr : replacements.For(drill.Token);
        if (replacement != nullptr && *replacement == drill.Token) {
            return true; // the same bytes: most tokens are on the grid already
        }
        if (replacement != nullptr && drill.TokenEnd <= store.EndOf(drill.Line)) {
            // Every occurrence on the line, left to right, none inside a replacement; the
            // first is the one found.
            const std::string_view token = drill.Token;
            const std::string_view line =
                all.substr(0, store.EndOf(drill.Line)); // positions stay those of `all`
            for (size_t at = drill.Marker; at != std::string_view::npos;
                 at = line.find(token, at + token.size())) {
                edits.push_back({at, token.size(), *replacement});
            }
        } else if (replacement != nullptr) {
            for (const Edit& e : WordEdits(all, drill.Marker, drill.TokenEnd, *replacement)) {
                edits.push_back({e.At, e.Length, std::string(e.Bytes)});
            }
        }
        return true;
    });
    // They nearly always come in order; one that would reach into another is dropped.
    const auto before = [](const ByteEdit& a, const ByteEdit& b) { return a.At < b.At; };
    if (!std::is_sorted(edits.begin(), edits.end(), before)) {
        std::stable_sort(edits.begin(), edits.end(), before);
    }
    size_t kept = 0;
    for (size_t k = 0; k < edits.size(); ++k) {
        if (kept == 0 || edits[k].At >= edits[kept - 1].At + edits[kept - 1].Length) {
            if (kept != k) {
                edits[kept] = std::move(edits[k]);
            }
            ++kept;
        }
    }
    edits.resize(kept);
    return edits;
}

} // namespace rz
