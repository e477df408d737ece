// list, apply and check over any number of files: each file on its own, its report under
// its path, then a summary of all; with one file argument, exactly the report of one board.
#pragma once

#include "app/cli/cli_dialogs.hpp"
#include "app/cli/command_line.hpp"
#include "app/cli/report_forms.hpp"
#include "core/board_state.hpp"
#include "text/decimal.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace rz {

// What one file came to.
struct FileOutcome {
    int Status = kExitDone;
    bool Read = false;     // loaded, and a board or a footprint
    bool Changed = false;  // a drill is (or would be) rewritten
    int32_t OffTarget = 0; // check: the rows off target
    std::vector<Decimal> ToolsBefore;
    std::vector<Decimal> ToolsAfter;
};

// Prints each file's report in the chosen form: as the one board's report, or as a part
// of the report of many files.
class FileReports {
public:
    FileReports(const CommandLine& line, bool single) : line_(line), single_(single) {}
    bool Single() const { return single_; }
    // The prefix of a message about `path`: none for one board.
    std::string About(const std::string& path) const;
    void Report(const ReportView& view, const std::vector<DrillWarning>& warnings);
    void NotRead(const std::string& path, const std::string& message);
    // Before the first file and after the last: the frame of the JSON and the CSV header.
    void Begin();
    void End(const std::string& summaryText, const std::string& summaryJson);

private:
    void JsonPart(const std::string& object);

    const CommandLine& line_;
    bool single_ = true;
    bool first_ = true;
};

// Loads the file `dialogs` names into `state`; false, the user told, when it cannot be read
// or holds neither a board nor a footprint (another file, or one cut off).
bool LoadKicadFile(BoardState& state, CliDialogs& dialogs);

using FileRun = FileOutcome (*)(const CommandLine& line, const std::string& path,
                                FileReports& reports);

// Runs `run` on every file the arguments name; the exit status is the worst of all files
// (0, then 5, 1, 2), 3 when no file is named.
int RunFiles(const CommandLine& line, FileRun run, bool check);

} // namespace rz
