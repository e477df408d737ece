// rezurudev-cli: the board pipeline without a window, for KiCad users' scripts, build
// pipelines and fab work.
//
//   rezurudev-cli list|apply|check [OPTIONS] FILE...  rounding rules, selections, reports;
//                                                     boards, footprints and libraries
//   rezurudev-cli plan [OPTIONS] FILE...              the fewest drill sizes for them all
//   rezurudev-cli FILE | --apply FILE               exactly what the window lists and writes
//
// Exit status: 0 done, 1 the file cannot be opened, 2 the rewrite was refused or failed
// (nothing written), 3 wrong usage, 5 check found holes off target.
#include "app/cli/command_line.hpp"
#include "app/cli/options.hpp"
#include "text/text.hpp"

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

// The arguments as UTF-8. Windows hands out the command line as UTF-16, which keeps any
// file name; its narrow argv would be in the ANSI code page.
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int k = 1; k < count; ++k) {
            args.push_back(rz::TextToUtf8(reinterpret_cast<const char16_t*>(wide[k])));
        }
        LocalFree(wide);
    }
#else
    args.assign(argv + 1, argv + argc);
#endif
    return args;
}

} // namespace

int main(int argc, char** argv) {
    const rz::ParsedArguments parsed = rz::ParseArguments(Arguments(argc, argv));
    if (parsed.ExitNow) {
        return *parsed.ExitNow;
    }
    if (parsed.Command == nullptr) {
        return rz::RunClassic(parsed.Line.Files.front(), parsed.ClassicApply);
    }
    return parsed.Command->Run(parsed.Line);
}
