#include "app/cli/file_runs.hpp"

#include "app/cli/input_paths.hpp"
#include "app/cli/output.hpp"
#include "app/cli/progress.hpp"
#include "core/pipeline.hpp"

#include <nlohmann/json.hpp>

#include <set>

namespace rz {

namespace {

using Json = nlohmann::ordered_json;

// 0 < 5 < 1 < 2: a file not written outweighs one not read, which outweighs holes off
// target.
int Worse(int a, int b) {
    const auto rank = [](int status) {
        return status == kExitOffTarget   ? 1
               : status == kExitNotOpened ? 2
               : status == kExitDone      ? 0
                                          : 3;
    };
    return rank(b) > rank(a) ? b : a;
}

// Each line of a JSON text moved right by `spaces`, for an object inside another.
std::string Indented(const std::string& json, size_t spaces) {
    const std::string pad(spaces, ' ');
    std::string out = pad;
    for (size_t k = 0; k < json.size(); ++k) {
        out += json[k];
        if (json[k] == '\n' && k + 1 < json.size()) {
            out += pad;
        }
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

struct Summary {
    int32_t Files = 0, Read = 0, Changed = 0, Unchanged = 0, Refused = 0, OffTarget = 0,
            FilesOffTarget = 0;
    std::set<Decimal> ToolsBefore, ToolsAfter;

    void Add(const FileOutcome& file) {
        ++Files;
        const bool refused = !file.Read || file.Status == kExitNotWritten;
        Refused += refused ? 1 : 0;
        Read += file.Read ? 1 : 0;
        Changed += !refused && file.Changed ? 1 : 0;
        Unchanged += !refused && !file.Changed ? 1 : 0;
        OffTarget += file.OffTarget;
        FilesOffTarget += file.OffTarget > 0 ? 1 : 0;
        ToolsBefore.insert(file.ToolsBefore.begin(), file.ToolsBefore.end());
        ToolsAfter.insert(file.ToolsAfter.begin(), file.ToolsAfter.end());
    }

    std::string Text() const {
        const auto tools = [](const std::set<Decimal>& sizes) {
            std::string out;
            for (const Decimal size : sizes) {
                out += " " + size.ToText();
            }
            return out;
        };
        return "Dateien: " + std::to_string(Files) + ", davon " + std::to_string(Read) +
               " gelesen, " + std::to_string(Changed) + " mit geänderten Bohrungen, " +
               std::to_string(Unchanged) + " unverändert, " + std::to_string(Refused) +
               " abgelehnt\nBohrwerkzeuge aller Dateien: " + std::to_string(ToolsBefore.size()) +
               " vorher, " + std::to_string(ToolsAfter.size()) +
               " nachher\n  vorher: " + tools(ToolsBefore) + "\n  nachher:" + tools(ToolsAfter) +
               "\n";
    }

    std::string JsonText() const {
        const auto tools = [](const std::set<Decimal>& sizes) {
            Json out = Json::array();
            for (const Decimal size : sizes) {
                out.push_back(size.ToDouble());
            }
            return out;
        };
        const Json out = {{"files", Files},
                          {"read", Read},
                          {"changed", Changed},
                          {"unchanged", Unchanged},
                          {"refused", Refused},
                          {"tools_before", tools(ToolsBefore)},
                          {"tools_after", tools(ToolsAfter)}};
        return out.dump(2);
    }
};

// "3 Bohrgrößen in 2 Dateien liegen nicht im Ziel."
std::string OffTargetText(int32_t sizes, int32_t files) {
    return std::to_string(sizes) + (sizes == 1 ? " Bohrgröße in " : " Bohrgrößen in ") +
           std::to_string(files) + (files == 1 ? " Datei " : " Dateien ") +
           (sizes == 1 ? "liegt" : "liegen") + " nicht im Ziel.\n";
}

} // namespace

std::string FileReports::About(const std::string& path) const {
    return single_ ? std::string() : path + ": ";
}

void FileReports::Begin() {
    if (single_) {
        return;
    }
    if (line_.Format == ReportFormat::Json) {
        Print(Channel::Out, "{\n  \"files\": [");
    } else if (line_.Format == ReportFormat::Csv) {
        Print(Channel::Out, CsvHeader(true));
    }
}

void FileReports::JsonPart(const std::string& object) {
    Print(Channel::Out, (first_ ? "\n" : ",\n") + Indented(object, 4));
    first_ = false;
}

void FileReports::Report(const ReportView& view, const std::vector<DrillWarning>& warnings) {
    ClearProgressLine();
    switch (line_.Format) {
    case ReportFormat::Json:
        if (single_) {
            Print(Channel::Out, JsonReport(view));
        } else {
            JsonPart(JsonReport(view));
        }
        return;
    case ReportFormat::Csv:
        Print(Channel::Out, CsvReport(view, !single_));
        return;
    case ReportFormat::Text:
        break;
    }
    // Many files: a file without a row to show is told only in the summary.
    if (!single_ && view.Rows.empty() && warnings.empty()) {
        return;
    }
    const std::string text = TextReport(view, line_.Decided);
    Print(Channel::Out, single_ ? text : std::string(view.File) + ":\n" + text + "\n");
    if (!line_.Decided) {
        std::string lines;
        for (const DrillWarning& w : warnings) {
            lines += "Warnung: " + About(std::string(view.File)) + w.Message + "\n";
        }
        Print(Channel::Err, lines);
    }
}

void FileReports::NotRead(const std::string& path, const std::string& message) {
    if (!single_ && line_.Format == ReportFormat::Json) {
        const Json entry = {{"file", path}, {"error", message}};
        JsonPart(entry.dump(2, ' ', false, Json::error_handler_t::replace));
    }
}

void FileReports::End(const std::string& summaryText, const std::string& summaryJson) {
    ClearProgressLine();
    if (single_ || line_.Format == ReportFormat::Csv) {
        return;
    }
    if (line_.Format == ReportFormat::Json) {
        Print(Channel::Out, (first_ ? "],\n" : "\n  ],\n") + std::string("  \"summary\": ") +
                                Indented(summaryJson, 2).substr(2) + "\n}\n");
    } else {
        Print(Channel::Out, summaryText);
    }
}

bool LoadKicadFile(BoardState& state, CliDialogs& dialogs) {
    state.LastLineIndex = LoadBoardFile(state, dialogs);
    if (state.Flaw == LoadFlaw::NotLoaded) {
        return false;
    }
    const FileKind kind = KindOfFile(state.BoardLines.All());
    if (kind == FileKind::Board || kind == FileKind::Footprint) {
        return true;
    }
    dialogs.ShowMessage(
        u"Information",
        kind == FileKind::Unclosed
            ? u"Die Datei ist unvollständig: eine Klammer wird nie geschlossen. Übergangen."
            : u"Die Datei ist weder eine KiCad-Platine noch ein Footprint. Übergangen.",
        0);
    return false;
}

int RunFiles(const CommandLine& line, FileRun run, bool check) {
    const InputPaths input(line.Files);
    if (!line.Output.empty() && !input.Single()) {
        Print(Channel::Err, "rezurudev-cli: -o geht nur mit genau einer Datei, nicht mit "
                            "mehreren oder einem Ordner.\nHilfe: rezurudev-cli --help\n");
        return kExitUsage;
    }
    for (const std::string& folder : input.EmptyFolders()) {
        Print(Channel::Err, folder + ": keine .kicad_mod-Dateien in diesem Ordner\n");
    }
    FileReports reports(line, input.Single());
    reports.Begin();
    Summary summary;
    int status = kExitDone;
    {
        ProgressLine progress(input.Count());
        input.ForEach([&](const std::string& path) {
            const FileOutcome outcome = run(line, path, reports);
            summary.Add(outcome);
            status = Worse(status, outcome.Status);
            progress.Done(static_cast<size_t>(summary.Files));
        });
    }
    reports.End(summary.Text(), summary.JsonText());
    if (check && !input.Single()) {
        Print(Channel::Err, summary.OffTarget == 0
                                ? std::string("Jede gewählte Bohrung liegt im Ziel.\n")
                                : OffTargetText(summary.OffTarget, summary.FilesOffTarget));
    }
    return status;
}

} // namespace rz
