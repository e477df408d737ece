// The Win32 open dialog on a real (Wine or Windows) desktop: what it shows. The main
// window and the message box are driven end to end by e2e_win32.py, which also gives
// this test its display.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ui/platform_dialogs.hpp"
#include "ui/win32/win32_platform.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace rz {
namespace {

std::wstring WindowText(HWND h) {
    wchar_t buffer[512] = {};
    GetWindowTextW(h, buffer, 512);
    return buffer;
}

// The dialog runs its own modal loop; a thread timer inside it plays the user once the
// dialog shows, or gives up after 30 s.
std::function<void(HWND)> g_act;
bool g_found = false;
int g_ticks = 0;

void CALLBACK Play(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"Lade PCB-Datei");
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    g_found = dialog != nullptr && process == GetCurrentProcessId() && IsWindowVisible(dialog);
    if (g_found || ++g_ticks > 600) {
        KillTimer(nullptr, id);
        if (g_found) {
            g_act(dialog);
        }
    }
}

// What is typed and chosen goes through the whole program in e2e_win32.py; here the
// dialog's own parts: the file types, and a default path whose name alone is in the field.
TEST(Win32Dialogs, TheOpenDialogShowsTheToolsTextsAndTheNameAlone) {
    const auto platform = MakeWin32Platform();
    SetPlatform(platform.get());
    std::string why;
    ASSERT_TRUE(platform->StartPlatform(why)) << why;
    std::wstring startName, filterShown;
    LRESULT filterCount = -1;
    SetTimer(nullptr, 0, 50, Play);
    g_act = [&](HWND dialog) {
        HWND field = GetDlgItem(dialog, 0x47c); // cmb13, the name field of the Explorer style
        startName = WindowText(field != nullptr ? field : GetDlgItem(dialog, 0x480)); // edt1
        const HWND types = GetDlgItem(dialog, 0x470); // cmb1, the file types
        filterCount = SendMessageW(types, CB_GETCOUNT, 0, 0);
        wchar_t shown[128] = {};
        SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(shown));
        filterShown = shown;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    PlatformDialogs dialogs;
    const Text chosen = dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"C:\\windows\\board.kicad_pcb",
                                               u"PCB-datei (*.kicad_pcb)| *.kicad_pcb", 0);
    ASSERT_TRUE(g_found) << "the open dialog never appeared";
    EXPECT_EQ(startName, L"board.kicad_pcb");
    EXPECT_EQ(filterCount, 1);
    EXPECT_EQ(filterShown, L"PCB-datei (*.kicad_pcb)");
    EXPECT_EQ(chosen, Text());
    platform->FinishPlatform();
}

} // namespace
} // namespace rz
