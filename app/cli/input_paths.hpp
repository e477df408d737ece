// How the command line's path arguments become the files a subcommand handles. Any
// expansion of the arguments themselves (wildcards a shell did not expand) comes before
// this, so that every file reaches the subcommands through here.
//
// A folder (a footprint library, NAME.pretty) stands for every .kicad_mod file directly
// inside it, in the order of their names' bytes; anything else is taken as a file, even
// when it does not exist, so that its load reports it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace rz {

class InputPaths {
public:
    explicit InputPaths(const std::vector<std::string>& arguments);

    // Exactly one argument, and not a folder: the report keeps the form of one board.
    bool Single() const { return single_; }
    // How many files there are, counted ahead (for the progress line).
    size_t Count() const { return count_; }
    // Folder arguments without a .kicad_mod file inside.
    const std::vector<std::string>& EmptyFolders() const { return emptyFolders_; }

    // Each file's path (UTF-8) in turn. A folder's names are read when its turn comes, so
    // that a whole collection of libraries never has all its paths in memory at once.
    void ForEach(const std::function<void(const std::string& path)>& each) const;

private:
    const std::vector<std::string>& arguments_;
    std::vector<std::string> emptyFolders_;
    size_t count_ = 0;
    bool single_ = false;
};

} // namespace rz
