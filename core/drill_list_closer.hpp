// Where drill lists close, in one forward pass.
//
// Asking CloseOfList for each drill marker would read a list again for every marker
// nested in it, which grows with the square of the nesting in a damaged file. This
// reads each byte once at most: it starts at the first marker asked about, skips ahead
// while no list it has met is open, and on the way notes every line's first marker
// that has no ")" after it on its line, so that a later question about one is answered
// from what was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace rz {

class DrillListCloser {
public:
    explicit DrillListCloser(std::string_view all) : all_(all) {}

    // CloseOfList(all, open) for `open`, the first "(drill " of a line that holds no ")"
    // after it. Markers are asked about in increasing order.
    size_t CloseOf(size_t open);

private:
    static constexpr size_t kOpen = SIZE_MAX; // a close not found yet

    struct Marker {
        size_t At;
        size_t Close;
    };

    void ReadLine();

    std::string_view all_;
    size_t read_ = 0;   // the bytes before this have been read
    int64_t depth_ = 0; // the list depth at read_, counted from where reading began
    std::vector<Marker> met_;
    size_t asked_ = 0; // markers before this were asked about or passed by
    // Markers whose list is open, as a heap by the depth at which each closes: a list
    // closes where the depth falls back to the depth before its "(", and the depth falls
    // one step at a time, so the deepest of them closes first.
    std::vector<std::pair<int64_t, size_t>> waiting_;
};

} // namespace rz
