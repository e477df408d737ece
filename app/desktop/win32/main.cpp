// The Windows desktop program: the run sequence on the Win32 platform.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "text/wide_text.hpp"
#include "ui/win32/win32_platform.hpp"

#include <cstdio>
#include <sstream>
#include <string>

namespace {

// A board dropped on the program, opened with it from Explorer or named after it on a
// command line comes as the first argument.
rz::Text GivenBoard() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const rz::Text given = arguments != nullptr && count > 1
                               ? rz::GivenBoardPath(rz::FromWide(arguments[1]))
                               : rz::Text();
    LocalFree(arguments);
    return given;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const rz::Text given = GivenBoard();
    const auto platform = rz::MakeWin32Platform();
    rz::DesktopShell shell(*platform);
    std::ostringstream errors;
    const int code = rz::RunDesktop(shell, errors, given);
    const std::string said = errors.str();
    if (!said.empty()) {
        // A GUI program usually has no console: say it where it can be seen too.
        std::fputs(said.c_str(), stderr);
        const std::wstring wide = rz::ToWide(rz::Utf8ToText(said));
        OutputDebugStringW(wide.c_str());
        MessageBoxW(nullptr, wide.c_str(), L"Rezurudev", MB_OK | MB_ICONERROR);
    }
    return code;
}
