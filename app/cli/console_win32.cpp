#include "app/cli/console_win32.hpp"

#include "text/text.hpp"

#include <windows.h>

#include <algorithm>

namespace rz {

bool WriteConsoleText(void* handle, std::string_view utf8) {
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        return false;
    }
    const Text text = Utf8ToText(utf8);
    // Older consoles refuse large writes; pieces never split a surrogate pair.
    constexpr size_t kPiece = 8192;
    size_t done = 0;
    while (done < text.size()) {
        size_t count = std::min(kPiece, text.size() - done);
        if (done + count < text.size() && text[done + count - 1] >= 0xD800 &&
            text[done + count - 1] <= 0xDBFF) {
            --count;
        }
        DWORD written = 0;
        if (!WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.data() + done),
                           static_cast<DWORD>(count), &written, nullptr) ||
            written == 0) {
            break; // a console that takes nothing more: the rest would be lost either way
        }
        done += written;
    }
    return true;
}

} // namespace rz
