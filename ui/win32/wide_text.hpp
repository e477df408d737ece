// Texts are UTF-16 and so are the Win32 "W" functions: moving between them is a copy
// of code units, never a conversion.
#pragma once

#include "text/text.hpp"

#include <cwchar>
#include <string>

namespace rz::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16");

inline std::wstring ToWide(const Text& t) {
    return std::wstring(t.begin(), t.end());
}

// A NUL-terminated wide string (a null pointer reads as the empty text).
inline Text FromWide(const wchar_t* s) {
    if (s == nullptr) {
        return Text();
    }
    const std::size_t n = std::wcslen(s);
    return Text(s, s + n);
}

inline Text FromWide(const wchar_t* s, std::size_t n) {
    return Text(s, s + n);
}

} // namespace rz::win32
