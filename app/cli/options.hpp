// Reading the command line with CLI11, then checking each value, so that every error is a
// German message that names the option.
#pragma once

#include "app/cli/command_line.hpp"

#include <optional>
#include <string>
#include <vector>

namespace rz {

struct ParsedArguments {
    const Subcommand* Command = nullptr; // nullptr: the form without a subcommand
    CommandLine Line;
    bool ClassicApply = false;
    std::optional<int> ExitNow; // help, version or an error has been printed
};

// `args` are the arguments after the program's name, as UTF-8.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

} // namespace rz
