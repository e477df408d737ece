#include "app/cli/input_paths.hpp"

#include "text/text.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace rz {

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::path(Utf8ToText(utf8));
}

std::string Utf8Of(const fs::path& path) {
    return TextToUtf8(path.u16string());
}

// The .kicad_mod files directly inside `folder`, by name. A folder that cannot be read
// gives none.
std::vector<std::string> FootprintNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path name = it->path().filename();
        std::error_code kind;
        if (name.extension() == u".kicad_mod" && !it->is_directory(kind)) {
            names.push_back(Utf8Of(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

InputFiles ExpandInputPaths(const std::vector<std::string>& arguments) {
    InputFiles input;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(PathOf(argument), error)) {
            input.Files.push_back({argument, {}});
            continue;
        }
        const std::vector<std::string> names = FootprintNames(PathOf(argument));
        if (names.empty()) {
            input.EmptyFolders.push_back(argument);
        }
        // Joined as text, so the path keeps the separators the user typed.
        const bool separated = argument.ends_with('/') || argument.ends_with('\\');
#ifdef _WIN32
        const char* const separator = "\\";
#else
        const char* const separator = "/";
#endif
        for (const std::string& name : names) {
            input.Files.push_back({argument + (separated ? "" : separator) + name, argument});
        }
    }
    input.Single =
        arguments.size() == 1 && input.Files.size() == 1 && input.Files[0].Folder.empty();
    return input;
}

} // namespace rz
