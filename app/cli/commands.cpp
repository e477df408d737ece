// The subcommands: each loads the board, decides its holes under the options and reports;
// apply then writes, check judges.
#include "app/cli/cli_dialogs.hpp"
#include "app/cli/command_line.hpp"
#include "app/cli/output.hpp"
#include "app/cli/report_forms.hpp"
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

// Loads and decides; nullptr when the board cannot be read (the user has been told).
std::unique_ptr<DecidedBoard> Decide(const CommandLine& line, CliDialogs& dialogs) {
    auto board = std::make_unique<DecidedBoard>();
    board->State.LastLineIndex = LoadBoardFile(board->State, dialogs);
    if (board->State.Flaw == LoadFlaw::NotLoaded) {
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

// Prints the report of `rows` in the chosen form. Without options that change what is
// decided, the text form is the two columns it has always been; warnings then go to
// standard error, where a script reading the columns does not meet them.
void PrintReport(const CommandLine& line, const DecidedBoard& board, std::vector<size_t> rows) {
    const ReportView view{line.File, board.Records, board.Report, std::move(rows)};
    switch (line.Format) {
    case ReportFormat::Json:
        Print(Channel::Out, JsonReport(view));
        return;
    case ReportFormat::Csv:
        Print(Channel::Out, CsvReport(view));
        return;
    case ReportFormat::Text:
        break;
    }
    Print(Channel::Out, TextReport(view, line.Decided));
    if (!line.Decided) {
        std::string warnings;
        for (const DrillWarning& w : board.Report.Warnings) {
            warnings += "Warnung: " + w.Message + "\n";
        }
        Print(Channel::Err, warnings);
    }
}

int RunList(const CommandLine& line) {
    CliDialogs dialogs(Utf8ToText(line.File));
    const std::unique_ptr<DecidedBoard> board = Decide(line, dialogs);
    if (!board) {
        return kExitNotOpened;
    }
    PrintReport(line, *board, AllRows(board->Report));
    return kExitDone;
}

int RunApply(const CommandLine& line) {
    CliDialogs dialogs(Utf8ToText(line.File));
    const std::unique_ptr<DecidedBoard> board = Decide(line, dialogs);
    if (!board) {
        return kExitNotOpened;
    }
    PrintReport(line, *board, AllRows(board->Report));
    RewriteOrder order;
    order.Edits = board->Report.Edits;
    order.Ends = line.Ends;
    order.Output = Utf8ToText(line.Output);
    order.RefuseWhenOpenInKicad = !line.Force;
    return ApplyEdits(board->State, order, dialogs) == ApplyOutcome::Written ? kExitDone
                                                                             : kExitNotWritten;
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

int RunCheck(const CommandLine& line) {
    CliDialogs dialogs(Utf8ToText(line.File));
    const std::unique_ptr<DecidedBoard> board = Decide(line, dialogs);
    if (!board) {
        return kExitNotOpened;
    }
    std::vector<size_t> rows = OffTarget(board->Report);
    const size_t count = rows.size();
    PrintReport(line, *board, std::move(rows));
    if (count == 0) {
        Print(Channel::Err, "Jede gewählte Bohrung liegt im Ziel.\n");
        return kExitDone;
    }
    Print(Channel::Err, std::to_string(count) +
                            (count == 1 ? " Bohrgröße liegt" : " Bohrgrößen liegen") +
                            " nicht im Ziel.\n");
    return kExitOffTarget;
}

void AddOutput(CLI::App& app, CommandLine& line) {
    app.add_option("-o", line.Output);
}

constexpr Subcommand kSubcommands[] = {
    {"list", "die Bohrungen auflisten", "list the holes", "", "", nullptr, RunList},
    {"apply", "runden und die Platine neu schreiben", "round and rewrite the board",
     "  -o ZIEL                  (apply) die neue Platine nach ZIEL, DATEI bleibt\n",
     "  -o OUT                   (apply) the new board goes to OUT, FILE stays\n", AddOutput,
     RunApply},
    {"check", "Status 5, wenn Bohrungen nicht im Ziel liegen",
     "exit status 5 when holes are off target", "", "", nullptr, RunCheck},
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
