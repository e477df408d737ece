// Every print of the command line goes through here, so that how text reaches a
// terminal is decided in one place.
#pragma once

#include <string_view>

namespace rz {

enum class Channel { Out, Err };

// Writes UTF-8 text as it is and flushes it, so that what was printed is out before any
// slow step (the rewrite) begins. A Windows console gets the same text as UTF-16, so
// that it shows what was written whatever its code page; files and pipes get UTF-8.
void Print(Channel channel, std::string_view utf8);

} // namespace rz
