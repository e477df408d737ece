#include "app/cli/help.hpp"

#include "app/cli/command_line.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace rz {

namespace {

constexpr std::string_view kOptionsDe =
    "Optionen von list, apply, check und plan (DATEI: Platinen, Footprints, Ordner .pretty):\n"
    "  --round nearest|up|down  Richtung der Rundung (Vorgabe nearest)\n"
    "  --grid MM                Raster in mm (Vorgabe 0.1), z. B. 0.05\n"
    "  --drills LISTE|@DATEI    die Bohrer der Fertigung: 0.3,0.4,0.8 oder eine Datei\n"
    "                           mit einem Maß je Zeile; jede Bohrung geht zum nächsten,\n"
    "                           nächstgrößeren oder nächstkleineren (--round)\n"
    "  --keep MUSTER            Bohrungen der Footprints belassen, deren Referenz oder\n"
    "                           Name passt (H*, J?, MountingHole:*); mehrfach möglich\n"
    "  --plated-only            nicht durchkontaktierte Bohrungen belassen\n"
    "  --keep-locked            Bohrungen gesperrter Footprints, Pads und Vias belassen\n"
    "  --vias follow|keep       ein Via mit der Bohrangabe eines Pads folgt ihm (Vorgabe)\n"
    "                           oder bleibt, wie es ist\n"
    "  --max-change MM          Bohrungen, die sich weiter ändern würden, belassen\n"
    "  --min-ring MM            Restring, unter dem gewarnt wird (Vorgabe 0.1)\n"
    "  --line-ends crlf|keep    (apply) jede Zeile mit CR LF (Vorgabe) oder mit ihrem Ende\n"
    "  --force                  (apply) auch schreiben, wenn KiCad die Datei geöffnet hat\n"
    "  --format text|json|csv   Form der Ausgabe (Vorgabe text)\n";

constexpr std::string_view kOptionsEn =
    "Options of list, apply, check and plan (FILE: boards, footprints, .pretty folders):\n"
    "  --round nearest|up|down  direction of rounding (default nearest)\n"
    "  --grid MM                grid in mm (default 0.1), e.g. 0.05\n"
    "  --drills LIST|@FILE      the fab's drills: 0.3,0.4,0.8 or a file with one size\n"
    "                           per line; each hole goes to the nearest, next larger or\n"
    "                           next smaller one (--round)\n"
    "  --keep PATTERN           leave the holes of footprints whose reference or name\n"
    "                           matches (H*, J?, MountingHole:*); repeatable\n"
    "  --plated-only            leave non-plated holes\n"
    "  --keep-locked            leave the holes of locked footprints, pads and vias\n"
    "  --vias follow|keep       a via with a pad's drill follows it (default) or stays\n"
    "  --max-change MM          leave holes that would move further\n"
    "  --min-ring MM            copper ring below which a warning is given (default 0.1)\n"
    "  --line-ends crlf|keep    (apply) every line with CR LF (default) or its own end\n"
    "  --force                  (apply) write even when KiCad has the file open\n"
    "  --format text|json|csv   output form (default text)\n";

constexpr std::string_view kEndDe =
    "Rückgabewert: 0 erledigt, 1 Datei nicht lesbar, 2 nichts geschrieben (abgelehnt oder\n"
    "misslungen), 3 falscher Aufruf, 5 check: Bohrungen außerhalb des Ziels; bei mehreren\n"
    "Dateien der schlimmste (2 vor 1 vor 5).\n"
    "Die Hilfe ist deutsch, außer LC_ALL, LC_MESSAGES oder LANG nennen eine andere Sprache.\n";

constexpr std::string_view kEndEn =
    "Exit status: 0 done, 1 file not readable, 2 nothing written (refused or failed),\n"
    "3 wrong usage, 5 check: holes off target; with several files the worst (2, 1, 5).\n"
    "Help is in German unless LC_ALL, LC_MESSAGES or LANG names another language.\n";

} // namespace

bool HelpInGerman() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            const std::string_view locale(value);
            return locale.starts_with("de") || locale == "C" || locale.starts_with("C.") ||
                   locale == "POSIX";
        }
    }
#ifdef _WIN32
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN;
#else
    return true;
#endif
}

std::string HelpText(bool german) {
    std::string text = german ? "Aufruf:\n" : "Usage:\n";
    const std::string options = german ? " [OPTIONEN] DATEI…" : " [OPTIONS] FILE...";
    std::string own;
    for (const Subcommand& sub : Subcommands()) {
        std::string line = "  rezurudev-cli " + std::string(sub.Name) + options;
        // "…" takes three bytes and one column.
        const size_t column = german ? 43 : 41;
        line.resize(std::max<size_t>(line.size() + 1, column), ' ');
        text += line + std::string(german ? sub.AboutDe : sub.AboutEn) + "\n";
        own += german ? sub.OptionsDe : sub.OptionsEn;
    }
    text += german
                ? "  rezurudev-cli [--apply] DATEI          wie das Fenster: auf 0,1 mm runden,\n"
                  "                                         auflisten und mit --apply schreiben\n"
                : "  rezurudev-cli [--apply] FILE           as the window: round to 0.1 mm, list,\n"
                  "                                         and with --apply write\n";
    text += "  rezurudev-cli --help | --version\n\n";
    text += german ? kOptionsDe : kOptionsEn;
    text += own + "\n";
    text += german ? kEndDe : kEndEn;
    return text;
}

} // namespace rz
