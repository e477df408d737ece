// Texts are UTF-16 and so are the Win32 "W" functions: moving between them is a copy
// of code units, never a conversion. It needs nothing but the text primitives.
#pragma once

#include "text/text.hpp"

#include <cwchar>
#include <string>

namespace rz {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16");

inline std::wstring ToWide(const Text& t) {
    return std::wstring(t.begin(), t.end());
}

// A NUL-terminated wide string (a null pointer reads as the empty text).
inline Text FromWide(const wchar_t* s) {
    return s == nullptr ? Text() : Text(s, s + std::wcslen(s));
}

} // namespace rz
