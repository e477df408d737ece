#include "app/cli/wildcards.hpp"

#ifdef _WIN32
#include "text/text.hpp"

#include <windows.h>

#include <algorithm>
#endif

namespace rz {

#ifdef _WIN32

namespace {

// Where the last path component begins: after the last separator, or after a drive's
// colon ("C:*.kicad_pcb" is relative to drive C's current folder).
size_t LastComponent(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string_view::npos) {
        return slash + 1;
    }
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

bool IsPattern(std::string_view path) {
    return path.find_first_of("*?", LastComponent(path)) != std::string_view::npos;
}

bool NameBefore(const std::wstring& a, const std::wstring& b) {
    const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                           static_cast<int>(b.size()), TRUE);
    return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
}

} // namespace

std::vector<std::string> MatchWildcard(const std::string& pattern) {
    const Text wide = Utf8ToText(pattern);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<std::wstring> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), NameBefore);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    const std::string folder = pattern.substr(0, LastComponent(pattern));
    std::vector<std::string> paths;
    for (const std::wstring& name : names) {
        paths.push_back(folder + TextToUtf8(Text(name.begin(), name.end())));
    }
    return paths;
}

std::vector<std::string>
ExpandFileArguments(const std::vector<std::string>& args,
                    const std::function<bool(std::string_view option)>& takesValue) {
    std::vector<std::string> expanded;
    bool valueNext = false;
    bool onlyFiles = false;
    for (const std::string& arg : args) {
        const bool option = !onlyFiles && arg.size() > 1 && arg[0] == '-';
        const bool file = !option && !valueNext;
        onlyFiles = onlyFiles || arg == "--";
        valueNext = option && !onlyFiles && arg.find('=') == std::string::npos && takesValue(arg);
        std::vector<std::string> matches;
        if (file && IsPattern(arg)) {
            matches = MatchWildcard(arg);
        }
        if (matches.empty()) {
            expanded.push_back(arg);
        } else {
            expanded.insert(expanded.end(), matches.begin(), matches.end());
        }
    }
    return expanded;
}

#else

std::vector<std::string> ExpandFileArguments(const std::vector<std::string>& args,
                                             const std::function<bool(std::string_view)>&) {
    return args;
}

#endif

} // namespace rz
