// Finding markers in all lines of a board at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rz {

// The first occurrence of `marker` in `all` at or after `from`; all.size() when there
// is none.
size_t FindMarker(const std::string& all, size_t from, std::string_view marker);

// The first occurrence of either marker at or after `from`; all.size() when there is
// none. Both markers are at least two bytes long and begin with the same byte.
size_t FindEitherMarker(const std::string& all, size_t from, std::string_view one,
                        std::string_view other);

// The next occurrence of a marker in a LineStore's bytes at or after a position,
// found once and kept until the caller's position passes it. Searching the whole
// store, not line by line, keeps the cost of a line that holds no marker near zero.
class NextMarker {
public:
    NextMarker(const std::string& all, std::string_view marker) : all_(all), marker_(marker) {}

    size_t At(size_t from) {
        if (!searched_ || at_ < from) {
            searched_ = true;
            at_ = FindMarker(all_, from, marker_);
        }
        return at_;
    }

private:
    const std::string& all_;
    std::string_view marker_;
    size_t at_ = 0;
    bool searched_ = false;
};

} // namespace rz
