// The Win32 platform under the real layers, on a real (Wine or Windows) desktop: native
// windows and controls as the layers ask for them, native messages turned into events,
// the two dialogs and the modal guard. Needs a display; gui_session.py provides one.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ui/events.hpp"
#include "ui/main_window.hpp"
#include "ui/platform_dialogs.hpp"
#include "ui/win32/win32_platform.hpp"
#include "ui/window_layer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace rz {
namespace {

HWND H(NativeHandle h) {
    return static_cast<HWND>(h);
}

std::wstring WindowText(HWND h) {
    wchar_t buffer[512] = {};
    GetWindowTextW(h, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND h) {
    wchar_t buffer[64] = {};
    GetClassNameW(h, buffer, 64);
    return buffer;
}

class Win32PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&platform_);
        ResetWindowLayer();
        ResetEventLayer();
        std::string why;
        ASSERT_TRUE(platform_.StartPlatform(why)) << why;
    }
    void TearDown() override {
        CloseAllWindows();
        platform_.FinishPlatform();
    }

    // Dispatches messages until the condition holds; false after the time-out.
    bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(5);
        }
        return true;
    }

    // Takes queued events until one of this kind (and control, unless -1) arrives.
    bool WaitForEvent(uint32_t kind, int32_t control, int32_t type = -2) {
        // A message posted to ourselves guarantees WaitEvent never blocks for good.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
            const uint32_t got = WaitEvent();
            const CurrentEventRecord& e = CurrentEvent();
            if (got == kind && (control == -1 || e.Control == control) &&
                (type == -2 || e.Type == type)) {
                return true;
            }
        }
        return false;
    }

    void OpenMainWindowWithRows() {
        ASSERT_NE(OpenTopLevelWindow(0, 0, 0, 240, 470, u"Rezurudev V1.1", MainWindowFlags),
                  nullptr);
        CreateTextLabel(BeforeLabel, 30, 10, 70, 20, u" Vorher");
        CreateTextLabel(AfterLabel, 150, 10, 60, 20, u" Nachher");
        CreateListControl(BeforeList, 10, 30, 100, 350);
        AddListItem(BeforeList, -1, u"0.762");
        AddListItem(BeforeList, -1, u"1.016");
        CreateListControl(AfterList, 120, 30, 110, 350);
        CreatePushButton(ApplyButton, 10, 390, 220, 30, u"Neue Rezurudev \u00dcbernehmen");
        CreatePushButton(CancelButton, 10, 430, 220, 30, u"Keine \u00dcbernahme, Abbruch");
        ASSERT_TRUE(PumpUntil([] { return GetActiveWindow() == H(WindowHandle(0)); }));
        EventLayer().EventQueue.clear();
    }

    win32::Win32Platform platform_;
};

TEST_F(Win32PlatformTest, MainWindowIsBuiltAsTheLayerAsksForIt) {
    OpenMainWindowWithRows();
    const HWND window = H(WindowHandle(0));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 470);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(ClassOf(window), L"WindowClass_0");
    EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE) & CS_DBLCLKS, CS_DBLCLKS);
    EXPECT_EQ(WindowText(window), L"Rezurudev V1.1");
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

    const HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const struct {
        int32_t number;
        const wchar_t* className;
        LONG_PTR style;
        LONG_PTR exStyle;
        RECT at;
        const wchar_t* text;
    } controls[] = {
        {BeforeLabel, L"Static", 0x50020080, 0, {30, 10, 100, 30}, L" Vorher"},
        {AfterLabel, L"Static", 0x50020080, 0, {150, 10, 210, 30}, L" Nachher"},
        {BeforeList, L"ListBox", 0x50330141, WS_EX_CLIENTEDGE, {10, 30, 110, 380}, L""},
        {AfterList, L"ListBox", 0x50330141, WS_EX_CLIENTEDGE, {120, 30, 230, 380}, L""},
        {ApplyButton,
         L"Button",
         0x50030000,
         0,
         {10, 390, 230, 420},
         L"Neue Rezurudev \u00dcbernehmen"},
        {CancelButton,
         L"Button",
         0x50030000,
         0,
         {10, 430, 230, 460},
         L"Keine \u00dcbernahme, Abbruch"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.number);
        const HWND h = H(ControlHandle(c.number));
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), window);
        EXPECT_EQ(ClassOf(h), c.className);
        // Scroll bars come and go with the rows; everything else is exactly as asked.
        EXPECT_EQ(GetWindowLongPtrW(h, GWL_STYLE) & ~(WS_VSCROLL | WS_HSCROLL),
                  c.style & ~(WS_VSCROLL | WS_HSCROLL));
        EXPECT_EQ(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, c.exStyle);
        EXPECT_EQ(GetWindowLongPtrW(h, GWLP_ID), c.number);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), guiFont);
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.at.left);
        EXPECT_EQ(r.top, c.at.top);
        EXPECT_EQ(r.right, c.at.right);
        EXPECT_EQ(r.bottom, c.at.bottom);
        EXPECT_EQ(WindowText(h), c.text);
    }
    EXPECT_EQ(SendMessageW(H(ControlHandle(BeforeList)), LB_GETCOUNT, 0, 0), 2);

    // Closing destroys the window and gives its class back.
    CloseAllWindows();
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSW info;
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), L"WindowClass_0", &info));
}

TEST_F(Win32PlatformTest, NativeNotificationsBecomeTheLayersEvents) {
    OpenMainWindowWithRows();
    const HWND window = H(WindowHandle(0));
    const HWND list = H(ControlHandle(BeforeList));

    SendMessageW(H(ControlHandle(ApplyButton)), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForEvent(EventKind::ControlEvent, ApplyButton, 0));
    EXPECT_EQ(LastEventControl(), ApplyButton);

    // The close box: an event, and the window stays.
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForEvent(EventKind::CloseEvent, 0));
    EXPECT_TRUE(IsWindowVisible(window));

    // The list's mouse hook: a press on a row and its release; a drag; the right button.
    const LPARAM row0 = MAKELPARAM(5, 3);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, row0);
    SendMessageW(list, WM_LBUTTONUP, 0, row0);
    ASSERT_TRUE(WaitForEvent(EventKind::ControlEvent, BeforeList, ListEventType::Selected));
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, row0);
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON,
                 MAKELPARAM(5, 3 + 2 * GetSystemMetrics(SM_CYDRAG)));
    ASSERT_TRUE(WaitForEvent(EventKind::ControlEvent, BeforeList, ListEventType::Dragged));
    SendMessageW(list, WM_LBUTTONUP, 0, row0);
    SendMessageW(list, WM_RBUTTONUP, 0, row0);
    ASSERT_TRUE(WaitForEvent(EventKind::ControlEvent, BeforeList, ListEventType::RightReleased));
}

TEST_F(Win32PlatformTest, TabAndShiftTabWalkTheTabStops) {
    OpenMainWindowWithRows();
    const HWND window = H(WindowHandle(0));
    auto press = [&](bool shift) {
        // The accelerator table reads Shift from the keyboard state, as for a real key.
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        HWND target = GetFocus() != nullptr ? GetFocus() : window;
        PostMessageW(target, WM_KEYDOWN, VK_TAB, 1);
        // Posted after the key, so the key has been handled once the marker comes back.
        constexpr UINT marker = WM_APP + 77;
        PostThreadMessageW(GetCurrentThreadId(), marker, 0, 0);
        for (int i = 0; i < 1000 && WaitEvent() != marker; ++i) {
        }
        EventLayer().EventQueue.clear();
    };
    auto focused = [&]() -> int32_t {
        for (int32_t c = 0; c <= 5; ++c) {
            if (H(ControlHandle(c)) == GetFocus()) {
                return c;
            }
        }
        return -1;
    };
    ASSERT_EQ(focused(), -1);
    const struct {
        bool shift;
        int32_t expected;
    } steps[] = {
        {false, BeforeList}, {false, AfterList},   {false, ApplyButton}, {false, CancelButton},
        {false, BeforeList}, {true, CancelButton}, {true, ApplyButton},  {true, AfterList},
    };
    for (const auto& step : steps) {
        press(step.shift);
        EXPECT_EQ(focused(), step.expected);
    }
    press(false);
    SetFocus(nullptr);
    press(true);
    EXPECT_EQ(focused(), CancelButton) << "Shift+Tab with no control focused";
}

// The dialogs run their own modal loop; a thread timer runs inside it and plays the user.
struct DialogScript {
    const wchar_t* Title = nullptr;
    std::function<void(HWND dialog)> Act;
    HWND Found = nullptr;
    int Ticks = 0;
};
DialogScript* g_script = nullptr;

void CALLBACK DialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
    DialogScript& script = *g_script;
    if (script.Found != nullptr) {
        return;
    }
    HWND dialog = FindWindowW(L"#32770", script.Title);
    DWORD process = 0;
    if (dialog != nullptr) {
        GetWindowThreadProcessId(dialog, &process);
    }
    if (dialog != nullptr && process == GetCurrentProcessId() && IsWindowVisible(dialog)) {
        script.Found = dialog;
        KillTimer(nullptr, id);
        script.Act(dialog);
    } else if (++script.Ticks > 600) { // 30 s: give up, the test fails on Found
        KillTimer(nullptr, id);
    }
}

UINT_PTR RunScript(DialogScript& script) {
    g_script = &script;
    return SetTimer(nullptr, 0, 50, DialogTimer);
}

HWND FileNameField(HWND dialog) {
    HWND field = GetDlgItem(dialog, 0x47c); // cmb13, the name field of the Explorer style
    return field != nullptr ? field : GetDlgItem(dialog, 0x480); // edt1
}

// A second visible window of the program, not in the foreground, and a topmost one.
struct OtherWindows {
    HWND Plain;
    HWND Topmost;
};
OtherWindows OpenOtherWindows() {
    constexpr uint32_t noActivate = 0x02000000;
    OtherWindows w;
    w.Plain = H(OpenTopLevelWindow(1, 10, 10, 100, 80, u"Zweites Fenster", 0xC80000 | noActivate));
    w.Topmost = H(OpenTopLevelWindow(2, 10, 200, 100, 80, u"Oben", 0xC80000 | noActivate));
    CurrentPlatform().SetTopLevelTopmost(w.Topmost, true);
    return w;
}

TEST_F(Win32PlatformTest, OpenDialogIsSuspendingTheOtherWindowsAndReturnsTheTypedPath) {
    OpenMainWindowWithRows();
    const OtherWindows other = OpenOtherWindows();
    ASSERT_TRUE(IsWindowEnabled(other.Plain));
    ASSERT_TRUE(GetWindowLongPtrW(other.Topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring typed = std::wstring(temp) + L"gibt-es-nicht-\u00e4\u00f6\u00fc.kicad_pcb";
    bool plainEnabled = true;
    bool topmostKept = true;
    std::wstring startName;
    std::wstring filterShown;
    int filterCount = -1;
    DialogScript script;
    script.Title = L"Lade PCB-Datei";
    script.Act = [&](HWND dialog) {
        plainEnabled = IsWindowEnabled(other.Plain) != 0;
        topmostKept = (GetWindowLongPtrW(other.Topmost, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        startName = WindowText(FileNameField(dialog));
        const HWND types = GetDlgItem(dialog, 0x470); // cmb1, the file types
        filterCount = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
        wchar_t shown[128] = {};
        SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(shown));
        filterShown = shown;
        SetWindowTextW(FileNameField(dialog), typed.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    };
    RunScript(script);
    PlatformDialogs dialogs;
    const Text chosen = dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"test.kicad_pcb",
                                               u"PCB-datei (*.kicad_pcb)| *.kicad_pcb", 0);
    ASSERT_NE(script.Found, nullptr) << "the open dialog never appeared";
    EXPECT_EQ(startName, L"test.kicad_pcb");
    EXPECT_EQ(filterCount, 1);
    EXPECT_EQ(filterShown, L"PCB-datei (*.kicad_pcb)");
    EXPECT_FALSE(plainEnabled) << "a second window must be disabled while the dialog is up";
    EXPECT_FALSE(topmostKept) << "a topmost window leaves the topmost layer meanwhile";
    EXPECT_EQ(std::wstring(chosen.begin(), chosen.end()), typed);
    EXPECT_EQ(dialogs.SelectedFilter(), 1);
    EXPECT_TRUE(IsWindowEnabled(other.Plain));
    EXPECT_TRUE(GetWindowLongPtrW(other.Topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Win32PlatformTest, CancelledOpenDialogGivesTheEmptyText) {
    const struct {
        const char16_t* defaultFile;
        const wchar_t* nameField;
    } cases[] = {
        {u"test.kicad_pcb", L"test.kicad_pcb"},
        {u"C:\\windows\\board.kicad_pcb", L"board.kicad_pcb"},
        {u"*.kicad_pcb", L""},
    };
    for (const auto& c : cases) {
        std::wstring startName = L"<none>";
        DialogScript script;
        script.Title = L"Lade PCB-Datei";
        script.Act = [&](HWND dialog) {
            startName = WindowText(FileNameField(dialog));
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        };
        RunScript(script);
        PlatformDialogs dialogs;
        const Text chosen = dialogs.ChooseOpenFile(u"Lade PCB-Datei", c.defaultFile,
                                                   u"PCB-datei (*.kicad_pcb)| *.kicad_pcb", 0);
        ASSERT_NE(script.Found, nullptr);
        EXPECT_EQ(startName, c.nameField);
        EXPECT_EQ(chosen, Text());
    }
}

TEST_F(Win32PlatformTest, MessageBoxShowsTheTextAndSuspendsTheOtherWindows) {
    const OtherWindows other = OpenOtherWindows();
    bool plainEnabled = true;
    std::wstring text;
    DialogScript script;
    script.Title = L"Information";
    script.Act = [&](HWND box) {
        plainEnabled = IsWindowEnabled(other.Plain) != 0;
        text = WindowText(GetDlgItem(box, 0xFFFF));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    RunScript(script);
    PlatformDialogs dialogs;
    const int32_t button = dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0);
    ASSERT_NE(script.Found, nullptr) << "the message box never appeared";
    EXPECT_EQ(text, L"Datei ist nicht vorhanden");
    EXPECT_FALSE(plainEnabled);
    EXPECT_EQ(button, IDOK);
    EXPECT_TRUE(IsWindowEnabled(other.Plain));
    EXPECT_TRUE(GetWindowLongPtrW(other.Topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Win32PlatformTest, AnotherThreadReachesTheQueueThroughTheRelayWindow) {
    std::thread other([] { EXPECT_TRUE(win32::RelayEvent(EventKind::MenuEvent, 7, 3, 9)); });
    other.join();
    ASSERT_TRUE(WaitForEvent(EventKind::MenuEvent, 7, 9));
    EXPECT_EQ(CurrentEvent().Window, 3);
    platform_.FinishPlatform();
    EXPECT_FALSE(win32::RelayEvent(EventKind::MenuEvent, 7, 3, 9));
    std::string why;
    ASSERT_TRUE(platform_.StartPlatform(why));
}

} // namespace
} // namespace rz
