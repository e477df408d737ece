// Windows shells hand `*` and `?` to the program as they were typed; the program expands
// them itself, as Windows tools do. On Linux the shell has expanded them already.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

// The names in the pattern's folder that its last path component matches, each once, with
// the pattern's folder part in front as written (its own `*` and `?` are not expanded). In
// case-insensitive ordinal order (CompareStringOrdinal ignoring case, then exact ordinal
// for names that differ only in case). "." and ".." are left out; folders are kept, since
// a footprint library is one. Empty when nothing matches or the folder cannot be read.
// UTF-8 in and out. Windows only.
std::vector<std::string> MatchWildcard(const std::string& pattern);

// `args` with each file argument whose last path component holds `*` or `?` replaced by
// its matches. A pattern that matches nothing stays as it is, so that it is reported as a
// missing file. Options, and the value after an option for which `takesValue` is true,
// stay as they are: `--keep J*` names footprints, not files. Everything after "--" is a
// file. On Linux the arguments come back unchanged.
std::vector<std::string>
ExpandFileArguments(const std::vector<std::string>& args,
                    const std::function<bool(std::string_view option)>& takesValue);

} // namespace rz
