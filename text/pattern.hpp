// Shell-style patterns, as a user types them to name footprints: "H*", "J?",
// "MountingHole:*", "R[0-9]", "[!R]*".
#pragma once

#include <string_view>

namespace rz {

// Whether the whole UTF-8 text matches the whole pattern. "*" stands for any run of
// characters (none included), "?" for one character, "[...]" for one character of the
// set ("a-z" a range, "!" or "^" first negates it, "]" first is taken literally), and a
// backslash makes the next character plain. Characters are compared exactly, case
// included, as KiCad compares references. A "[" without its "]" is a plain "[".
bool MatchesPattern(std::string_view pattern, std::string_view text);

} // namespace rz
