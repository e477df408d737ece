// The list structure of a board file as far as strings and parentheses go.
//
// A board is nested lists, "(" ... ")", with double-quoted strings in between whose
// parentheses do not count. In a string a backslash escapes the next character. KiCad
// writes a line break inside a string as "\n", so a string ends at the end of its line
// at the latest: one stray quote cannot hide the rest of the file.
#pragma once

#include <cstddef>
#include <string_view>

namespace rz {

// The position just behind the double-quoted string whose opening quote is at `quote`; a
// backslash escapes the next character unless that is a line end; a string ends at the
// end of its line at the latest (then the result is the position of that "\n"), or at
// the end of `all`.
size_t SkipString(std::string_view all, size_t quote);

// The ")" that closes the list whose "(" is at `open`, parentheses inside strings not
// counted; the last position of `all` when the list never closes.
size_t CloseOfList(std::string_view all, size_t open);
// Whether that list closes at all: a file cut off just after an inner ")" ends in one too.
bool ListCloses(std::string_view all, size_t open);

} // namespace rz
