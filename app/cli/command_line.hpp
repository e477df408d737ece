// What the command line asks for, the exit statuses it answers with, and its subcommands.
#pragma once

#include "core/drill_decisions.hpp"
#include "core/drill_edits.hpp"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace rz {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNotOpened = 1;  // a file cannot be opened or read as a board
inline constexpr int kExitNotWritten = 2; // the rewrite was refused or failed: nothing written
inline constexpr int kExitUsage = 3;      // wrong usage; nothing read
inline constexpr int kExitOffTarget = 5;  // check: holes off target, listed

enum class ReportFormat { Text, Json, Csv };

// The options all subcommands share, checked and turned into the engine's terms.
struct CommandLine {
    std::vector<std::string> Files; // UTF-8, as given: boards, footprints, library folders
    std::string Output;             // -o: UTF-8; empty for the board itself
    std::string Save;               // plan --save: UTF-8; empty for none
    DrillOptions Drill;
    LineEnds Ends = LineEnds::CrLf;
    ReportFormat Format = ReportFormat::Text;
    bool Force = false;
    // An option that changes what is decided was given: the text report then tells more
    // than the two columns that the listing has always printed.
    bool Decided = false;
};

// One subcommand: `rezurudev-cli NAME [OPTIONS] FILE...`. Each has the shared options; one
// that needs more adds them in AddOwnOptions, storing their values in `line`.
struct Subcommand {
    std::string_view Name;
    std::string_view AboutDe; // one line for the help
    std::string_view AboutEn;
    std::string_view OptionsDe; // help lines of its own options, if any
    std::string_view OptionsEn;
    void (*AddOwnOptions)(CLI::App& app, CommandLine& line); // may be nullptr
    int (*Run)(const CommandLine& line);                     // gives the exit status
    bool Writes = true;                                      // takes --line-ends and --force
    // What the deciding options are before the user's are applied; nullptr: DrillOptions{}.
    DrillOptions (*Defaults)() = nullptr;
};

// Every subcommand, in the order the help lists them; a new one is one more entry.
std::span<const Subcommand> Subcommands();

// The form the program had before the subcommands: lists, and with `apply` rewrites,
// exactly as the window does.
int RunClassic(const std::string& file, bool apply);

} // namespace rz
