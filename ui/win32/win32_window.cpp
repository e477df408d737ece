// Top-level windows: a window class per window number, the window procedure that hands
// messages to the layer's entry points, and what the modal guard asks of a window.
#include "ui/win32/win32_private.hpp"

#include <cwchar>

namespace rz::win32 {

static_assert(WindowStyle::Caption == WS_CAPTION && WindowStyle::SysMenu == WS_SYSMENU,
              "the style bits pass through as they are");
static_assert(ControlNotification::ButtonClicked == BN_CLICKED &&
                  ControlNotification::ListSelectionChanged == LBN_SELCHANGE &&
                  ControlNotification::ListDoubleClicked == LBN_DBLCLK,
              "a control's notification code passes through as it is");

namespace {

// The window number travels in the creation parameters and is kept in the window's user
// data from the first message on, so that messages sent during CreateWindowExW (before
// the window is in the table) already find it.
bool WindowNumber(HWND hwnd, int32_t& number) {
    const LONG_PTR stored = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    if (stored == 0) {
        return false;
    }
    number = static_cast<int32_t>(stored - 1);
    return true;
}

LRESULT Command(int32_t window, WPARAM wParam, LPARAM lParam) {
    const HWND from = reinterpret_cast<HWND>(lParam);
    if (from == nullptr) {
        WindowCommand(window, LOWORD(wParam));
    } else if (State().Controls.count(from) != 0) {
        // The sender's identifier is its control number.
        ControlCommand(static_cast<int32_t>(GetWindowLongPtrW(from, GWLP_ID)), HIWORD(wParam));
    }
    return 0;
}

void SizeChanged(int32_t window, WPARAM kind) {
    if (kind == SIZE_MINIMIZED) {
        WindowSizeChanged(window, SizeChange::Minimized);
    } else if (kind == SIZE_MAXIMIZED) {
        WindowSizeChanged(window, SizeChange::Maximized);
    } else if (kind == SIZE_RESTORED) {
        WindowSizeChanged(window, SizeChange::Restored);
    }
}

LRESULT CALLBACK TopLevelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        const auto number = *static_cast<const int32_t*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(number) + 1);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    int32_t window = 0;
    if (!WindowNumber(hwnd, window)) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    switch (message) {
    case WM_COMMAND:
        return Command(window, wParam, lParam);
    case WM_CLOSE:
        // The window stays; only the end routine destroys it.
        WindowCloseRequested(window);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            WindowActivated(window);
        } else {
            WindowDeactivated(window);
        }
        // No default processing: it would put the focus on the window itself.
        return 1;
    case WM_ERASEBKGND:
        WindowBackgroundErased(window);
        break;
    case WM_MOVE:
        WindowMoved(window);
        break;
    case WM_SIZE:
        SizeChanged(window, wParam);
        return 0;
    case WM_LBUTTONUP:
        WindowClicked(window, WindowClick::LeftUp);
        break;
    case WM_LBUTTONDBLCLK:
        WindowClicked(window, WindowClick::LeftDoubleClick);
        break;
    case WM_RBUTTONUP:
        WindowClicked(window, WindowClick::RightUp);
        break;
    case WM_SYSCOLORCHANGE:
        for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

BOOL CALLBACK CollectThreadWindow(HWND hwnd, LPARAM lParam) {
    auto* found = reinterpret_cast<std::vector<NativeHandle>*>(lParam);
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId() && IsWindowVisible(hwnd)) {
        found->push_back(hwnd);
    }
    return TRUE;
}

} // namespace

PixelRect Win32Platform::OuterRectForClient(int32_t clientWidth, int32_t clientHeight,
                                            uint32_t style) {
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    return FromRect(r);
}

NativeHandle Win32Platform::CreateTopLevel(const TopLevelParams& params) {
    wchar_t className[32];
    std::swprintf(className, sizeof className / sizeof className[0], L"WindowClass_%d",
                  static_cast<int>(params.Number));

    WNDCLASSW windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = TopLevelProc;
    windowClass.hInstance = Instance();
    // Icon 1 is the program's own (packaging/windows); a build without it shows the
    // system's default application icon.
    windowClass.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
    windowClass.hCursor = State().Arrow;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass); // an existing class of that name serves as well

    const int x = params.PlatformPosition ? CW_USEDEFAULT : params.X;
    const int y = params.PlatformPosition ? CW_USEDEFAULT : params.Y;
    int32_t number = params.Number;
    const std::wstring title = ToWide(params.Title);
    HWND hwnd = CreateWindowExW(0, className, title.c_str(), params.Style, x, y, params.OuterWidth,
                                params.OuterHeight, nullptr, nullptr, Instance(), &number);
    if (hwnd == nullptr) {
        UnregisterClassW(className, Instance());
        return nullptr;
    }
    State().TopLevels[hwnd] = TopLevelInfo{params.Number, className, nullptr};
    return hwnd;
}

PixelRect Win32Platform::TopLevelOuterRect(NativeHandle window) {
    RECT r = {};
    GetWindowRect(Hwnd(window), &r);
    return FromRect(r);
}

PixelSize Win32Platform::ScreenSize() {
    return PixelSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32Platform::MoveTopLevel(NativeHandle window, int32_t x, int32_t y) {
    SetWindowPos(Hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::ShowTopLevel(NativeHandle window) {
    ShowWindow(Hwnd(window), SW_SHOWNORMAL);
}

void Win32Platform::DestroyTopLevel(NativeHandle window) {
    TopLevelInfo info;
    if (const auto it = State().TopLevels.find(Hwnd(window)); it != State().TopLevels.end()) {
        info = it->second;
        State().TopLevels.erase(it);
    }
    if (info.Accelerators != nullptr) {
        DestroyAcceleratorTable(info.Accelerators);
    }
    // Its controls are destroyed with it and report their end from their own hook.
    DestroyWindow(Hwnd(window));
    if (!info.ClassName.empty()) {
        UnregisterClassW(info.ClassName.c_str(), Instance());
    }
}

NativeHandle Win32Platform::ForegroundTopLevel() {
    return GetForegroundWindow();
}

bool Win32Platform::TopLevelBelongsToProcess(NativeHandle window) {
    DWORD process = 0;
    GetWindowThreadProcessId(Hwnd(window), &process);
    return process == GetCurrentProcessId();
}

std::vector<NativeHandle> Win32Platform::VisibleThreadTopLevels() {
    std::vector<NativeHandle> found;
    EnumWindows(CollectThreadWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool Win32Platform::TopLevelEnabled(NativeHandle window) {
    return IsWindowEnabled(Hwnd(window)) != 0;
}

void Win32Platform::EnableTopLevel(NativeHandle window, bool enabled) {
    EnableWindow(Hwnd(window), enabled ? TRUE : FALSE);
}

bool Win32Platform::TopLevelIsTopmost(NativeHandle window) {
    return (GetWindowLongPtrW(Hwnd(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void Win32Platform::SetTopLevelTopmost(NativeHandle window, bool topmost) {
    SetWindowPos(Hwnd(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace rz::win32
