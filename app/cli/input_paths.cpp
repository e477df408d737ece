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

bool IsFolder(const std::string& argument) {
    std::error_code error;
    return fs::is_directory(PathOf(argument), error);
}

// The .kicad_mod files directly inside `folder`, by name. A folder that cannot be read
// gives none.
std::vector<std::string> FootprintNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
         it.increment(error)) {
        const fs::path name = it->path().filename();
        std::error_code kind;
        if (name.extension() == u".kicad_mod" && !it->is_directory(kind)) {
            names.push_back(TextToUtf8(name.u16string()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

InputPaths::InputPaths(const std::vector<std::string>& arguments) : arguments_(arguments) {
    for (const std::string& argument : arguments) {
        if (!IsFolder(argument)) {
            ++count_;
            continue;
        }
        const size_t names = FootprintNames(argument).size();
        count_ += names;
        if (names == 0) {
            emptyFolders_.push_back(argument);
        }
    }
    single_ = arguments.size() == 1 && !IsFolder(arguments[0]);
}

void InputPaths::ForEach(const std::function<void(const std::string& path)>& each) const {
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    for (const std::string& argument : arguments_) {
        if (!IsFolder(argument)) {
            each(argument);
            continue;
        }
        // Joined as text, so the path keeps the separators the user typed.
        const bool separated = argument.ends_with('/') || argument.ends_with('\\');
        std::string path = argument + (separated ? "" : std::string(1, separator));
        const size_t base = path.size();
        for (const std::string& name : FootprintNames(argument)) {
            path.resize(base);
            each(path += name);
        }
    }
}

} // namespace rz
