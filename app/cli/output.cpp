#include "app/cli/output.hpp"

#include <cstdio>

namespace rz {

void Print(Channel channel, std::string_view utf8) {
    std::FILE* const stream = channel == Channel::Out ? stdout : stderr;
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

} // namespace rz
