// The Windows side of the output helper. A console shows text in its own code page,
// which is not UTF-8 (850 in Germany), so text meant for one is handed over as UTF-16.
#pragma once

#include <string_view>

namespace rz {

// Writes UTF-8 text to `handle` as UTF-16 if the handle is a console and gives true;
// gives false and writes nothing when it is a file, a pipe or no handle at all, where the
// UTF-8 bytes themselves belong.
bool WriteConsoleText(void* handle, std::string_view utf8);

} // namespace rz
