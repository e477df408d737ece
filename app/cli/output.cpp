#include "app/cli/output.hpp"

#include <cstdio>

#ifdef _WIN32
#include "app/cli/console_win32.hpp"

#include <windows.h>
#endif

namespace rz {

void Print(Channel channel, std::string_view utf8) {
    std::FILE* const stream = channel == Channel::Out ? stdout : stderr;
#ifdef _WIN32
    // Nothing waits in the stream's buffer (every print flushes), so the console's text
    // and the stream's bytes keep their order.
    if (WriteConsoleText(
            GetStdHandle(channel == Channel::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), utf8)) {
        return;
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

} // namespace rz
