// How the command line's path arguments become the files a subcommand handles. Any
// expansion of the arguments themselves (wildcards a shell did not expand) comes before
// this, so that every file reaches the subcommands through here.
#pragma once

#include <string>
#include <vector>

namespace rz {

struct InputFile {
    std::string Path;   // UTF-8: as given, or a folder's path joined with a file's name
    std::string Folder; // the folder argument it was found in; empty for a file argument
};

struct InputFiles {
    std::vector<InputFile> Files;
    // Exactly one argument, and not a folder: the report keeps the form of one board.
    bool Single = false;
    std::vector<std::string> EmptyFolders; // folder arguments without a .kicad_mod inside
};

// A folder (a footprint library, NAME.pretty) stands for every .kicad_mod file directly
// inside it, in the order of their names' bytes; anything else is taken as a file, even
// when it does not exist, so that its load reports it.
InputFiles ExpandInputPaths(const std::vector<std::string>& arguments);

} // namespace rz
