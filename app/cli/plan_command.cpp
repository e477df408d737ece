// `plan`: the fewest drill sizes for every file given, planned together; told as text,
// JSON or CSV, and saved as a drill table that `apply --drills @FILE` takes. It never
// writes a board.
#include "app/cli/plan_command.hpp"

#include "app/cli/cli_dialogs.hpp"
#include "app/cli/file_runs.hpp"
#include "app/cli/input_paths.hpp"
#include "app/cli/output.hpp"
#include "app/cli/progress.hpp"
#include "app/cli/report_forms.hpp"
#include "core/drill_plan.hpp"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <memory>

namespace rz {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

struct LoadedFile {
    std::string Path;
    BoardState State;
    BoardRecords Records;
};

std::string_view StayText(StayReason reason) {
    switch (reason) {
    case StayReason::Ring:
        return "jede Größe in Reichweite ließe den Restring unter das Minimum fallen";
    case StayReason::SlotLength:
        return "die Länge des Langlochs erreicht in Reichweite kein Rastermaß";
    case StayReason::NoSize:
        break;
    }
    return "keine Größe des Rasters oder der Tabelle in Reichweite";
}

std::string RoundName(RoundMode mode) {
    return mode == RoundMode::Up ? "up" : mode == RoundMode::Down ? "down" : "nearest";
}

// The apply command that carries the plan out with its table: the plan's rule and reach,
// its grid for slot lengths, the same selection.
std::string ApplyCommand(const DrillOptions& plan, const std::string& table) {
    std::string out = "rezurudev-cli apply --round " + RoundName(plan.Rounding.Mode) + " --grid " +
                      plan.Rounding.Grid.ToText() + " --max-change " +
                      plan.MaxChange.value_or(Decimal()).ToText();
    for (const std::string& pattern : plan.Keep) {
        out += " --keep '" + pattern + "'";
    }
    out += plan.PlatedOnly ? " --plated-only" : "";
    out += plan.KeepLocked ? " --keep-locked" : "";
    out += plan.ViasFollow ? "" : " --vias keep";
    return out + " --drills @" + table + " DATEI…";
}

std::string PlanText(const DrillPlan& plan, const std::vector<std::unique_ptr<LoadedFile>>& files) {
    std::string out;
    for (const PlanMove& move : plan.Moves) {
        const std::string names = Joined(move.References);
        out += move.Before + "\t" + move.After + "\t" + std::to_string(move.Holes) +
               (move.Holes == 1 ? " Bohrung" : " Bohrungen") + (names.empty() ? "" : "\t") + names +
               "\n";
    }
    if (!plan.Stays.empty()) {
        out += std::string(out.empty() ? "" : "\n") + "Bleiben, wie sie sind:\n";
        for (const PlanStay& stay : plan.Stays) {
            out += "  " + (files.size() > 1 ? files[stay.File]->Path + ": " : std::string()) +
                   (stay.Reference.empty() ? "" : stay.Reference + " ") +
                   (stay.Pad.empty() ? "" : "Pad " + stay.Pad + ", ") + stay.Size + ": " +
                   std::string(StayText(stay.Why)) + "\n";
        }
    }
    // A blank line between the parts, not above the first.
    out += std::string(out.empty() ? "" : "\n") +
           "Bohrwerkzeuge: " + std::to_string(plan.ToolsBefore.size()) + " vorher, " +
           std::to_string(plan.ToolsAfter.size()) +
           " nachher\n  vorher: " + ToolsText(plan.ToolsBefore) +
           "\n  nachher:" + ToolsText(plan.ToolsAfter) +
           "\nGrößte Änderung einer Bohrung: " + plan.LargestChange.ToText() + " mm\n";
    return out;
}

std::string PlanJson(const DrillPlan& plan, const std::vector<std::unique_ptr<LoadedFile>>& files,
                     size_t applyMisses) {
    Json paths = Json::array();
    for (const auto& file : files) {
        paths.push_back(file->Path);
    }
    Json moves = Json::array();
    for (const PlanMove& move : plan.Moves) {
        moves.push_back({{"drill", move.Before},
                         {"before", SizesJson(move.Before)},
                         {"after", SizesJson(move.After)},
                         {"holes", move.Holes},
                         {"references", move.References}});
    }
    Json stays = Json::array();
    for (const PlanStay& stay : plan.Stays) {
        stays.push_back({{"file", files[stay.File]->Path},
                         {"reference", stay.Reference},
                         {"pad", stay.Pad},
                         {"drill", SizesJson(stay.Size)},
                         {"reason", StayReasonName(stay.Why)}});
    }
    const Json out = {{"files", std::move(paths)},
                      {"moves", std::move(moves)},
                      {"stays", std::move(stays)},
                      {"sizes", ToolsJson(plan.Sizes)},
                      {"tools_before", ToolsJson(plan.ToolsBefore)},
                      {"tools_after", ToolsJson(plan.ToolsAfter)},
                      {"largest_change", plan.LargestChange.ToDouble()},
                      {"apply_misses", applyMisses}};
    return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string PlanCsv(const DrillPlan& plan) {
    std::string out = "before,after,holes,references\n";
    for (const PlanMove& move : plan.Moves) {
        const std::string names = Joined(move.References);
        out += CsvField(move.Before) + "," + CsvField(move.After) + "," +
               std::to_string(move.Holes) + "," + CsvField(names) + "\n";
    }
    return out;
}

// Why the table may not go to `path`, if it may not: it would take the place of a board,
// a footprint or one of the files planned.
std::optional<std::string> SaveRefused(const std::string& path,
                                       const std::vector<std::string>& inputs) {
    const fs::path target(Utf8ToText(path));
    const fs::path extension = target.extension();
    if (extension == u".kicad_pcb" || extension == u".kicad_mod" || extension == u".kicad_pro" ||
        extension == u".kicad_sch") {
        return "--save schreibt eine Bohrertabelle, keine KiCad-Datei: „" + path + "“";
    }
    for (const std::string& input : inputs) {
        std::error_code error;
        if (fs::equivalent(target, fs::path(Utf8ToText(input)), error)) {
            return "--save würde eine der geplanten Dateien überschreiben: „" + path + "“";
        }
    }
    return std::nullopt;
}

// Written beside the target and renamed over it, so a table that was there (a fab's own,
// say) is either kept or wholly replaced, never cut off by a full disk.
bool SaveTable(const std::string& path, const std::string& text) {
    const fs::path target(Utf8ToText(path));
    fs::path temporary = target;
    temporary += u".rezurudev-tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    std::error_code error;
    if (!out.fail()) {
        fs::rename(temporary, target, error);
        if (!error) {
            return true;
        }
    }
    fs::remove(temporary, error);
    return false;
}

// Writes the table and tells how apply takes it; the exit status.
int Save(const CommandLine& line, const DrillPlan& plan, const std::string& path) {
    if (plan.Sizes.empty()) {
        Print(Channel::Err, "Keine Bohrung ist ausgewählt: keine Bohrertabelle geschrieben.\n");
        return kExitNotWritten;
    }
    if (!SaveTable(path, PlanTableText(plan))) {
        Print(Channel::Err, "Die Bohrertabelle „" + path + "“ kann nicht geschrieben werden.\n");
        return kExitNotWritten;
    }
    Print(Channel::Err, "Bohrertabelle gespeichert: " + path +
                            "\nMit dem Plan runden: " + ApplyCommand(line.Drill, path) + "\n");
    return kExitDone;
}

} // namespace

int RunPlan(const CommandLine& line) {
    const std::string& savePath = line.Save;
    const InputPaths input(line.Files);
    std::vector<std::string> inputs;
    input.ForEach([&](const std::string& path) { inputs.push_back(path); });
    if (!savePath.empty()) {
        if (const std::optional<std::string> refused = SaveRefused(savePath, inputs)) {
            Print(Channel::Err, "rezurudev-cli: " + *refused + "\nHilfe: rezurudev-cli --help\n");
            return kExitUsage;
        }
    }
    for (const std::string& folder : input.EmptyFolders()) {
        Print(Channel::Err, folder + ": keine .kicad_mod-Dateien in diesem Ordner\n");
    }
    int status = kExitDone;
    std::vector<std::unique_ptr<LoadedFile>> files;
    std::vector<PlanFile> planned;
    {
        ProgressLine progress(inputs.size());
        size_t done = 0;
        for (const std::string& path : inputs) {
            auto file = std::make_unique<LoadedFile>();
            file->Path = path;
            CliDialogs dialogs(Utf8ToText(path), input.Single() ? std::string() : path + ": ");
            const bool read = LoadKicadFile(file->State, dialogs);
            progress.Done(++done);
            if (!read) {
                status = kExitNotOpened;
                continue;
            }
            file->Records = ReadBoard(file->State.BoardLines.All());
            files.push_back(std::move(file));
        }
    }
    for (const auto& file : files) {
        planned.push_back({file->State.BoardLines.All(), &file->Records});
    }
    const DrillPlan plan = PlanDrills(planned, line.Drill);
    const PlanCheck check = CheckPlanByApply(planned, line.Drill, plan);
    switch (line.Format) {
    case ReportFormat::Json:
        Print(Channel::Out, PlanJson(plan, files, check.Misses.size()));
        break;
    case ReportFormat::Csv:
        Print(Channel::Out, PlanCsv(plan));
        break;
    case ReportFormat::Text:
        Print(Channel::Out, PlanText(plan, files));
        break;
    }
    if (!check.Misses.empty()) {
        Print(Channel::Err,
              "Warnung: apply mit der Tabelle des Plans gäbe " +
                  std::to_string(check.Misses.size()) +
                  (check.Misses.size() == 1 ? " Bohrung andere Maße" : " Bohrungen andere Maße") +
                  " als der Plan.\n");
    }
    if (!savePath.empty() && status != kExitDone) {
        // A table without the holes of a file that was not read would not fit the project.
        Print(Channel::Err, "Nicht jede Datei ist gelesen: keine Bohrertabelle geschrieben.\n");
    } else if (!savePath.empty()) {
        status = Save(line, plan, savePath);
    }
    return status;
}

} // namespace rz
