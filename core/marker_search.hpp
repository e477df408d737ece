// Finding markers in all lines of a board at once. Searching the whole store, not line
// by line, keeps the cost of a line that holds no marker near zero.
#pragma once

#include <cstddef>
#include <string_view>

namespace rz {

// The first occurrence of either marker in `all` at or after `from`; all.size() when
// there is none. Both markers are at least two bytes long and begin with the same byte.
size_t FindEitherMarker(std::string_view all, size_t from, std::string_view one,
                        std::string_view other);

} // namespace rz
