#include "app/cli/options.hpp"

#include "app/cli/help.hpp"
#include "app/cli/output.hpp"
#include "app/cli/wildcards.hpp"
#include "core/drill_rule.hpp"
#include "core/os_file.hpp"

#include <CLI/CLI.hpp>

#include <memory>

namespace rz {

namespace {

// The shared options as given, before they are checked.
struct RawOptions {
    std::string Round, Grid, Drills, Vias, MaxChange, MinRing, LineEnds, Format;
    std::vector<std::string> Keep;
    bool PlatedOnly = false;
    bool KeepLocked = false;
};

// The options that change what is decided.
constexpr const char* kDeciding[] = {"--round", "--grid",        "--drills",
                                     "--keep",  "--plated-only", "--keep-locked",
                                     "--vias",  "--max-change",  "--min-ring"};

void AddSharedOptions(CLI::App& app, RawOptions& raw, CommandLine& line, bool writes) {
    app.add_option("--round", raw.Round);
    app.add_option("--grid", raw.Grid);
    app.add_option("--drills", raw.Drills);
    // One pattern per --keep: otherwise the file after it would be taken as a second one.
    app.add_option("--keep", raw.Keep)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--plated-only", raw.PlatedOnly);
    app.add_flag("--keep-locked", raw.KeepLocked);
    app.add_option("--vias", raw.Vias);
    app.add_option("--max-change", raw.MaxChange);
    app.add_option("--min-ring", raw.MinRing);
    if (writes) {
        app.add_option("--line-ends", raw.LineEnds);
        app.add_flag("--force", line.Force);
    }
    app.add_option("--format", raw.Format);
    app.add_option("FILE", line.Files)
        ->required()
        ->expected(1, -1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void Tell(const std::string& message) {
    Print(Channel::Err,
          "rezurudev-cli: " + message + "\n" +
              (HelpInGerman() ? "Hilfe: rezurudev-cli --help\n" : "Help: rezurudev-cli --help\n"));
}

std::string BadValue(std::string_view option, std::string_view value, std::string_view wanted) {
    return "Ungültiger Wert für " + std::string(option) + ": „" + std::string(value) + "“ (" +
           std::string(wanted) + ")";
}

// One of the words `names` (the index of the word), or nullopt.
std::optional<size_t> OneOf(const std::string& value, std::initializer_list<const char*> names) {
    size_t k = 0;
    for (const char* name : names) {
        if (value == name) {
            return k;
        }
        ++k;
    }
    return std::nullopt;
}

// A length in mm; `zero` allows 0 (which switches a warning off).
std::optional<Decimal> Length(const std::string& text, bool zero) {
    if (zero && Decimal::Parse(text) == Decimal()) {
        return Decimal();
    }
    return ParseMillimetres(text);
}

// The bytes of a drill table file; nullopt when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    OsFiles& os = SystemFiles();
    HeldFile file;
    if (os.Hold(Utf8ToText(path), OsFiles::Access::Read, file) != OsResult::Ok) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 14];
    for (;;) {
        const int32_t got = os.Read(file.Get(), buffer, sizeof buffer);
        if (got < 0 || bytes.size() > (1u << 24)) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

std::optional<std::vector<Decimal>> DrillTable(const std::string& value, std::string& error) {
    if (!value.starts_with("@")) {
        return ParseDrillList(value, error);
    }
    const std::optional<std::string> content = ReadSmallFile(value.substr(1));
    if (!content) {
        error = "die Datei „" + value.substr(1) + "“ kann nicht gelesen werden";
        return std::nullopt;
    }
    return ParseDrillFile(*content, error);
}

// Checks the values and puts them into `line`; the message names the first bad one.
std::optional<std::string> TakeValues(const RawOptions& raw, CommandLine& line) {
    const char* const mm = "erwartet wird ein Maß in mm über 0 mit Punkt, z. B. 0.05";
    DrillOptions& o = line.Drill;
    if (!raw.Round.empty()) {
        const auto mode = OneOf(raw.Round, {"nearest", "up", "down"});
        if (!mode) {
            return BadValue("--round", raw.Round, "erlaubt sind nearest, up und down");
        }
        o.Rounding.Mode = static_cast<RoundMode>(*mode);
    }
    if (!raw.Grid.empty()) {
        const std::optional<Decimal> grid = Length(raw.Grid, false);
        if (!grid) {
            return BadValue("--grid", raw.Grid, mm);
        }
        o.Rounding.Grid = *grid;
    }
    if (!raw.Drills.empty()) {
        std::string error;
        const auto table = DrillTable(raw.Drills, error);
        if (!table) {
            return "Ungültiger Wert für --drills: " + error;
        }
        o.Rounding.Table = *table;
    }
    o.Keep = raw.Keep;
    o.PlatedOnly = raw.PlatedOnly;
    o.KeepLocked = raw.KeepLocked;
    if (!raw.Vias.empty()) {
        const auto vias = OneOf(raw.Vias, {"follow", "keep"});
        if (!vias) {
            return BadValue("--vias", raw.Vias, "erlaubt sind follow und keep");
        }
        o.ViasFollow = *vias == 0;
    }
    if (!raw.MaxChange.empty()) {
        o.MaxChange = Length(raw.MaxChange, false);
        if (!o.MaxChange) {
            return BadValue("--max-change", raw.MaxChange, mm);
        }
    }
    if (!raw.MinRing.empty()) {
        const std::optional<Decimal> ring = Length(raw.MinRing, true);
        if (!ring) {
            return BadValue("--min-ring", raw.MinRing, "erwartet wird ein Maß in mm ab 0");
        }
        o.MinRing = *ring;
    }
    if (!raw.LineEnds.empty()) {
        const auto ends = OneOf(raw.LineEnds, {"crlf", "keep"});
        if (!ends) {
            return BadValue("--line-ends", raw.LineEnds, "erlaubt sind crlf und keep");
        }
        line.Ends = *ends == 0 ? LineEnds::CrLf : LineEnds::Keep;
    }
    if (!raw.Format.empty()) {
        const auto format = OneOf(raw.Format, {"text", "json", "csv"});
        if (!format) {
            return BadValue("--format", raw.Format, "erlaubt sind text, json und csv");
        }
        line.Format = static_cast<ReportFormat>(*format);
    }
    return std::nullopt;
}

// CLI11 words its errors in English; the user reads German ones.
std::string GermanParseError(const CLI::ParseError& error) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        return "Es fehlt die Datei.";
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        const size_t colon = what.find(": ");
        return "Unbekannte Option oder ein Argument zu viel: " +
               (colon == std::string::npos ? what : what.substr(colon + 2));
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const size_t dash = what.find('-');
        const std::string name = dash == std::string::npos
                                     ? what
                                     : what.substr(dash, what.find_first_of(": ", dash) - dash);
        return "Der Option " + name + " fehlt ihr Wert.";
    }
    return "Falscher Aufruf (" + what + ").";
}

} // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    CLI::App app("", "rezurudev-cli");
    app.set_help_flag("-h,--help");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    bool version = false;
    app.add_flag("--version", version);
    app.add_flag("--apply", parsed.ClassicApply);
    std::string classicFile;
    app.add_option("FILE", classicFile);
    app.require_subcommand(0, 1);
    RawOptions raw;
    std::vector<std::pair<CLI::App*, const Subcommand*>> subs;
    for (const Subcommand& sub : Subcommands()) {
        CLI::App* const command = app.add_subcommand(std::string(sub.Name));
        AddSharedOptions(*command, raw, parsed.Line, sub.Writes);
        if (sub.AddOwnOptions != nullptr) {
            sub.AddOwnOptions(*command, parsed.Line);
        }
        subs.emplace_back(command, &sub);
    }
    // Windows shells leave wildcards to the program; only files are expanded, never the
    // value of an option (of any subcommand) that takes one.
    const std::vector<std::string> given = ExpandFileArguments(args, [&](std::string_view name) {
        const CLI::Option* option = app.get_option_no_throw(std::string(name));
        for (size_t k = 0; option == nullptr && k < subs.size(); ++k) {
            option = subs[k].first->get_option_no_throw(std::string(name));
        }
        return option != nullptr && option->get_items_expected_min() > 0;
    });
    std::vector<const char*> argv{"rezurudev-cli"};
    for (const std::string& arg : given) {
        argv.push_back(arg.c_str());
    }
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        Print(Channel::Out, HelpText(HelpInGerman()));
        parsed.ExitNow = kExitDone;
        return parsed;
    } catch (const CLI::ParseError& error) {
        Tell(GermanParseError(error));
        parsed.ExitNow = kExitUsage;
        return parsed;
    }
    for (const auto& [command, sub] : subs) {
        if (command->parsed()) {
            parsed.Command = sub;
            if (sub->Defaults != nullptr) {
                parsed.Line.Drill = sub->Defaults();
            }
            for (const char* name : kDeciding) {
                parsed.Line.Decided = parsed.Line.Decided || command->count(name) > 0;
            }
        }
    }
    if (version) {
        Print(Channel::Out, "rezurudev-cli " REZURUDEV_VERSION "\n");
        parsed.ExitNow = kExitDone;
    } else if (parsed.Command != nullptr && (parsed.ClassicApply || !classicFile.empty())) {
        Tell("Mit " + std::string(parsed.Command->Name) +
             " steht die Datei hinter dem Unterbefehl, und --apply entfällt.");
        parsed.ExitNow = kExitUsage;
    } else if (parsed.Command == nullptr && classicFile.empty()) {
        Tell("Es fehlt die Datei.");
        parsed.ExitNow = kExitUsage;
    } else if (parsed.Command == nullptr) {
        parsed.Line.Files = {classicFile};
    } else if (!parsed.Line.Output.empty() && parsed.Line.Files.size() > 1) {
        Tell("-o geht nur mit einer Datei.");
        parsed.ExitNow = kExitUsage;
    } else if (const std::optional<std::string> bad = TakeValues(raw, parsed.Line)) {
        Tell(*bad);
        parsed.ExitNow = kExitUsage;
    }
    return parsed;
}

} // namespace rz
