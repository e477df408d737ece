// rezurudev-cli: the board pipeline without a window, for scripts, tests and the
// benchmark.
//
//   rezurudev-cli FILE           one line per drill row: before TAB after
//   rezurudev-cli --apply FILE   the same, then rewrites FILE
//
// Exit status: 0 done, 1 the file cannot be opened, 2 the rewrite was refused or
// failed (the file is unchanged), 3 wrong usage.
#include "app/cli/cli_dialogs.hpp"
#include "core/pipeline.hpp"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

constexpr int kDone = 0;
constexpr int kCannotOpen = 1;
constexpr int kNotWritten = 2;
constexpr int kUsage = 3;

const char kUsageText[] = "Aufruf: rezurudev-cli [--apply] [--] DATEI\n"
                          "  Listet die Bohrdurchmesser der Pads: vorher TAB nachher.\n"
                          "  --apply  schreibt die gerundeten Werte in die Datei.\n";

std::vector<rz::Text> Arguments(int argc, char** argv) {
    std::vector<rz::Text> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int k = 1; k < count; ++k) {
            args.emplace_back(reinterpret_cast<const char16_t*>(wide[k]));
        }
        LocalFree(wide);
    }
#else
    for (int k = 1; k < argc; ++k) {
        args.push_back(rz::Utf8ToText(argv[k]));
    }
#endif
    return args;
}

int Run(const std::vector<rz::Text>& args) {
    bool apply = false;
    bool optionsDone = false;
    std::vector<rz::Text> files;
    for (const rz::Text& arg : args) {
        if (!optionsDone && arg == u"--") {
            optionsDone = true;
        } else if (!optionsDone && arg == u"--apply") {
            apply = true;
        } else if (!optionsDone && (arg == u"--help" || arg == u"-h")) {
            std::fputs(kUsageText, stdout);
            return kDone;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == u'-') {
            std::fputs(kUsageText, stderr);
            return kUsage;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }

    rz::BoardState state;
    rz::CliDialogs dialogs(files[0], stderr);
    state.LastLineIndex = rz::LoadBoardFile(state, dialogs);
    if (state.Flaw == rz::LoadFlaw::NotLoaded) {
        return kCannotOpen;
    }
    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);

    std::string out;
    for (const rz::DrillRow& row : rz::PrepareDrillRows(state)) {
        out += rz::TextToUtf8(row.Before);
        out += '\t';
        out += rz::TextToUtf8(row.After);
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);

    if (apply && rz::ApplyNewDrills(state, dialogs) != rz::ApplyOutcome::Written) {
        return kNotWritten;
    }
    return kDone;
}

} // namespace

int main(int argc, char** argv) {
    return Run(Arguments(argc, argv));
}
