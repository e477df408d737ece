// The subcommands on each file: load it, decide its holes under the options and report;
// apply then writes, check judges.
#include "app/cli/cli_dialogs.hpp"
#include "app/cli/command_line.hpp"
#include "app/cli/file_runs.hpp"
#include "app/cli/output.hpp"
#include "app/cli/plan_command.hpp"
#include "app/cli/report_forms.hpp"
#include "core/drill_plan.hpp"
#include "core/pipeline.hpp"

#include <CLI/CLI.hpp>

#include <memory>
#include <numeric>

namespace rz {

namespace {

// A board as the subcommands see it: its lines, what the reader found, what was decided.
struct DecidedBoard {
    BoardState State;
    BoardRecords Records;
    DrillReport Report;
};

// Loads and decides; nullptr when the file cannot be read or is not a board or a
// footprint (the user has been told, and the report too).
std::unique_ptr<DecidedBoard> Decide(const CommandLine& line, const std::string& path,
                                     FileReports& reports, CliDialogs& dialogs) {
    auto board = std::make_unique<DecidedBoard>();
    if (!LoadKicadFile(board->State, dialogs)) {
        reports.NotRead(path, dialogs.LastMessage());
        return nullptr;
    }
    const std::string_view all = board->State.BoardLines.All();
    board->Records = ReadBoard(all);
    board->Report = DecideDrills(all, board->Records, line.Drill);
    return board;
}

std::vector<size_t> AllRows(const DrillReport& report) {
    std::vector<size_t> rows(report.Rows.size());
    std::iota(rows.begin(), rows.end(), size_t{0});
    return rows;
}

FileOutcome NotRead() {
    FileOutcome outcome;
    outcome.Status = kExitNotOpened;
    return outcome;
}

// A file's outcome once it is read and decided.
FileOutcome ReadOutcome(const DrillReport& report) {
    FileOutcome outcome;
    outcome.Read = true;
    outcome.Changed = !report.Edits.empty();
    outcome.ToolsBefore = report.ToolsBefore;
    outcome.ToolsAfter = report.ToolsAfter;
    return outcome;
}

FileOutcome ListFile(const CommandLine& line, const std::string& path, FileReports& reports) {
    CliDialogs dialogs(Utf8ToText(path), reports.About(path));
    const std::unique_ptr<DecidedBoard> board = Decide(line, path, reports, dialogs);
    if (!board) {
        return NotRead();
    }
    reports.Report({path, board->Records, board->Report, AllRows(board->Report)},
                   board->Report.Warnings);
    return ReadOutcome(board->Report);
}

FileOutcome ApplyFile(const CommandLine& line, const std::string& path, FileReports& reports) {
    CliDialogs dialogs(Utf8ToText(path), reports.About(path));
    const std::unique_ptr<DecidedBoard> board = Decide(line, path, reports, dialogs);
    if (!board) {
        return NotRead();
    }
    reports.Report({path, board->Records, board->Report, AllRows(board->Report)},
                   board->Report.Warnings);
    RewriteOrder order;
    order.Edits = board->Report.Edits;
    order.Ends = line.Ends;
    order.Output = Utf8ToText(line.Output);
    order.RefuseWhenOpenInKicad = !line.Force;
    FileOutcome outcome = ReadOutcome(board->Report);
    if (ApplyEdits(board->State, order, dialogs) != ApplyOutcome::Written) {
        outcome.Status = kExitNotWritten;
    }
    return outcome;
}

// The rows with a hole that the options select and that is not on target: one that would
// move, or one the rule cannot bring there (beyond the drill table, beyond --max-change).
// A hole whose text alone would change ("1" written "1.0") is on target.
std::vector<size_t> OffTarget(const DrillReport& report) {
    std::vector<bool> off(report.Rows.size(), false);
    for (const HoleDecision& d : report.Holes) {
        if (d.Row < 0 || d.Token < 0) {
            continue;
        }
        const DrillToken& token = report.Tokens[static_cast<size_t>(d.Token)];
        off[static_cast<size_t>(d.Row)] =
            off[static_cast<size_t>(d.Row)] || (d.Changes && token.Moves) ||
            d.Kept == KeptReason::BeyondTable || d.Kept == KeptReason::MaxChange;
    }
    std::vector<size_t> rows;
    for (size_t r = 0; r < off.size(); ++r) {
        if (off[r]) {
            rows.push_back(r);
        }
    }
    return rows;
}

FileOutcome CheckFile(const CommandLine& line, const std::string& path, FileReports& reports) {
    CliDialogs dialogs(Utf8ToText(path), reports.About(path));
    const std::unique_ptr<DecidedBoard> board = Decide(line, path, reports, dialogs);
    if (!board) {
        return NotRead();
    }
    std::vector<size_t> rows = OffTarget(board->Report);
    FileOutcome outcome = ReadOutcome(board->Report);
    outcome.OffTarget = static_cast<int32_t>(rows.size());
    outcome.Status = rows.empty() ? kExitDone : kExitOffTarget;
    reports.Report({path, board->Records, board->Report, std::move(rows)}, board->Report.Warnings);
    if (reports.Single()) {
        const int32_t count = outcome.OffTarget;
        Print(Channel::Err, count == 0
                                ? std::string("Jede gewählte Bohrung liegt im Ziel.\n")
                                : std::to_string(count) +
                                      (count == 1 ? " Bohrgröße liegt" : " Bohrgrößen liegen") +
                                      " nicht im Ziel.\n");
    }
    return outcome;
}

int RunList(const CommandLine& line) {
    return RunFiles(line, ListFile, false);
}

int RunApply(const CommandLine& line) {
    return RunFiles(line, ApplyFile, false);
}

int RunCheck(const CommandLine& line) {
    return RunFiles(line, CheckFile, true);
}

void AddOutput(CLI::App& app, CommandLine& line) {
    app.add_option("-o", line.Output);
}

void AddSave(CLI::App& app, CommandLine& line) {
    app.add_option("--save", line.Save);
}

constexpr Subcommand kSubcommands[] = {
    {"list", "die Bohrungen auflisten", "list the holes", "", "", nullptr, RunList},
    {"apply", "runden und neu schreiben", "round and rewrite the files",
     "  -o ZIEL                  (apply) die neue Platine nach ZIEL, DATEI bleibt\n",
     "  -o OUT                   (apply) the new board goes to OUT, FILE stays\n", AddOutput,
     RunApply},
    {"check", "Status 5, wenn Bohrungen nicht im Ziel liegen",
     "exit status 5 when holes are off target", "", "", nullptr, RunCheck},
    {"plan", "die wenigsten Bohrgrößen für alle Dateien planen",
     "plan the fewest drill sizes for all files",
     "  --save DATEI             (plan) die Größen des Plans als Bohrertabelle, die\n"
     "                           apply mit --drills @DATEI nimmt, dazu --round, --grid,\n"
     "                           --max-change und die Auswahl des Plans; plan rundet\n"
     "                           nach Vorgabe auf (up), Raster 0.01, --max-change 0.1\n",
     "  --save FILE              (plan) the plan's sizes as a drill table that apply\n"
     "                           takes with --drills @FILE, and the plan's --round,\n"
     "                           --grid, --max-change and selection; plan rounds up by\n"
     "                           default, on a 0.01 grid, --max-change 0.1\n",
     AddSave, RunPlan, false, PlanDefaults},
};

} // namespace

std::span<const Subcommand> Subcommands() {
    return kSubcommands;
}

int RunClassic(const std::string& file, bool apply) {
    BoardState state;
    CliDialogs dialogs(Utf8ToText(file));
    state.LastLineIndex = LoadBoardFile(state, dialogs);
    if (state.Flaw == LoadFlaw::NotLoaded) {
        return kExitNotOpened;
    }
    CollectPadDrills(state);
    SortDrillTokens(state);
    std::string out;
    for (const DrillRow& row : PrepareDrillRows(state)) {
        out += TextToUtf8(row.Before) + "\t" + TextToUtf8(row.After) + "\n";
    }
    Print(Channel::Out, out);
    if (apply && ApplyNewDrills(state, dialogs) != ApplyOutcome::Written) {
        return kExitNotWritten;
    }
    return kExitDone;
}

} // namespace rz
