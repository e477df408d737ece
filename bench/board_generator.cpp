#include "board_generator.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace rzbench {

namespace {

// A footprint block starts on a line whose first list is "(footprint" (KiCad 6 and
// later) or "(module" (KiCad 5) at the board's first level.
bool OpensFootprint(std::string_view line) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = line.substr(start);
    return rest.starts_with("(footprint ") || rest.starts_with("(module ");
}

// Parentheses a line opens minus those it closes, outside double-quoted strings
// (where a backslash escapes the next character).
class Depth {
public:
    int64_t Feed(std::string_view line) {
        for (const char c : line) {
            if (inString_) {
                if (escaped_) {
                    escaped_ = false;
                } else if (c == '\\') {
                    escaped_ = true;
                } else if (c == '"') {
                    inString_ = false;
                }
            } else if (c == '"') {
                inString_ = true;
            } else if (c == '(') {
                ++depth_;
            } else if (c == ')') {
                --depth_;
            }
        }
        return depth_;
    }
    int64_t Now() const { return depth_; }

private:
    int64_t depth_ = 0;
    bool inString_ = false;
    bool escaped_ = false;
};

} // namespace

bool GenerateBoard(const std::string& source, const std::string& target, uint64_t bytes,
                   std::string& why, Repeat repeat, bool oneLine) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        why = "cannot read " + source;
        return false;
    }
    std::stringstream all;
    all << in.rdbuf();
    const std::string board = all.str();

    // Cut the board into lines (keeping their ends) and find the footprint blocks
    // by their depth: a block ends where the depth falls back to the board's level.
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < board.size();) {
        size_t end = board.find('\n', at);
        end = end == std::string::npos ? board.size() : end + 1;
        lines.push_back(std::string_view(board).substr(at, end - at));
        at = end;
    }
    // The blocks run from the first footprint to where the last footprint (or the last
    // list of the first level) closes.
    Depth depth;
    size_t first = lines.size();
    size_t blocksEnd = 0;
    bool inFootprint = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int64_t before = depth.Now();
        if (before == 1 && OpensFootprint(lines[i])) {
            first = std::min(first, i);
            inFootprint = true;
        }
        if (depth.Feed(lines[i]) == 1 && (inFootprint || repeat == Repeat::Everything)) {
            blocksEnd = i + 1;
            inFootprint = false;
        }
    }
    if (first >= blocksEnd) {
        why = "no footprint in " + source;
        return false;
    }
    auto join = [&](size_t from, size_t to) {
        std::string out;
        for (size_t i = from; i < to; ++i) {
            out += lines[i];
        }
        return out;
    };
    std::string head = join(0, first);
    std::string blocks = join(first, blocksEnd);
    std::string tail = join(blocksEnd, lines.size());
    if (oneLine) {
        for (std::string* part : {&head, &blocks, &tail}) {
            std::replace(part->begin(), part->end(), '\n', ' ');
            std::replace(part->begin(), part->end(), '\r', ' ');
        }
    }

    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) {
        why = "cannot write " + target;
        return false;
    }
    uint64_t written = head.size() + tail.size();
    out << head;
    do {
        out << blocks;
        written += blocks.size();
    } while (written < bytes);
    out << tail;
    out.close();
    if (!out) {
        why = "cannot write " + target;
        return false;
    }
    return true;
}

} // namespace rzbench
