// The plan subcommand.
#pragma once

#include "app/cli/command_line.hpp"

namespace rz {

// Plans every file of `line` together; with line.Save, writes the plan's drill table.
// 0; 1 when a file cannot be read (the others are planned, no table is written); 2 when
// the table cannot be written; 3 when it would go where a KiCad file is.
int RunPlan(const CommandLine& line);

} // namespace rz
