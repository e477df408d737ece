// Win32 under the portable layers: translation only. Every decision (events, coalescing,
// focus walk, modal guard, dialog inputs) is made above the seam; this file creates the
// native windows, hooks their messages and reports what happened through the layer's
// entry points.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <windowsx.h>

#include "ui/win32/wide_text.hpp"
#include "ui/win32/win32_platform.hpp"

#include <cstddef>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace rz::win32 {

namespace {

// The structure without its Windows 2000 extension fields, as the dialog expects it
// from this program: 76 bytes in a 32-bit build, 136 in a 64-bit one. Any other size
// makes GetOpenFileNameW fail at once with CDERR_STRUCTSIZE.
constexpr DWORD OpenFileNameSize =
    static_cast<DWORD>(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR));
static_assert(sizeof(void*) != 8 || OpenFileNameSize == 136, "OPENFILENAME_SIZE_VERSION_400W");
static_assert(sizeof(void*) != 4 || OpenFileNameSize == 76, "OPENFILENAME_SIZE_VERSION_400W");

constexpr int32_t PathUnits = MAX_PATH; // 260, the terminating NUL included
constexpr wchar_t RelayClassName[] = L"RelayWindowClass";
constexpr UINT RelayWakeMessage = WM_APP + 1;

struct TopLevelInfo {
    int32_t Number = 0;
    std::wstring ClassName;
    HACCEL Accelerators = nullptr;
};

struct ControlInfo {
    int32_t Number = 0;
    ControlKind Kind = ControlKind::Label;
    WNDPROC PreviousProc = nullptr;
};

struct RelayedEvent {
    uint32_t Kind;
    int32_t Control;
    int32_t Window;
    int32_t Type;
};

struct PlatformState {
    HINSTANCE Instance = nullptr;
    HFONT DefaultFont = nullptr; // DEFAULT_GUI_FONT, taken once at start
    HCURSOR Arrow = nullptr;
    HWND Relay = nullptr;
    std::map<HWND, TopLevelInfo> TopLevels;
    std::map<HWND, ControlInfo> Controls;
};

PlatformState& State() {
    static PlatformState state;
    return state;
}

// Events handed over by other threads, waiting for the relay window's next message.
std::mutex& RelayMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<RelayedEvent>& RelayQueue() {
    static std::vector<RelayedEvent> queue;
    return queue;
}

HWND Hwnd(NativeHandle handle) {
    return static_cast<HWND>(handle);
}

HINSTANCE Instance() {
    PlatformState& state = State();
    if (state.Instance == nullptr) {
        state.Instance = GetModuleHandleW(nullptr);
    }
    return state.Instance;
}

const TopLevelInfo* FindTopLevel(HWND hwnd) {
    auto it = State().TopLevels.find(hwnd);
    return it == State().TopLevels.end() ? nullptr : &it->second;
}

PixelRect FromRect(const RECT& r) {
    return PixelRect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                     static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)};
}

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
    case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lParam);
        if (from != nullptr) {
            // The sender's identifier is its control number.
            if (State().Controls.count(from) != 0) {
                ControlCommand(static_cast<int32_t>(GetWindowLongPtrW(from, GWLP_ID)),
                               HIWORD(wParam));
            }
            return 0;
        }
        WindowCommand(window, LOWORD(wParam));
        return 0;
    }
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
        if (wParam == SIZE_MINIMIZED) {
            WindowSizeChanged(window, SizeChange::Minimized);
        } else if (wParam == SIZE_MAXIMIZED) {
            WindowSizeChanged(window, SizeChange::Maximized);
        } else if (wParam == SIZE_RESTORED) {
            WindowSizeChanged(window, SizeChange::Restored);
        }
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

// Every control's messages come here first and then go on to the control's own handler.
// The list's mouse hook reports presses, moves and releases; the layer decides on drags.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = State().Controls.find(hwnd);
    if (it == State().Controls.end()) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const ControlInfo info = it->second;
    if (info.Kind == ControlKind::List) {
        switch (message) {
        case WM_LBUTTONDOWN: {
            const LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lParam);
            const LRESULT count = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
            // The high word is 1 when the point lies outside every row.
            const bool onRow = HIWORD(hit) == 0 && static_cast<LRESULT>(LOWORD(hit)) < count;
            const bool plain = (wParam & (MK_SHIFT | MK_CONTROL)) == 0;
            ListLeftPressed(info.Number, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), onRow, plain);
            break;
        }
        case WM_MOUSEMOVE:
            ListPointerMoved(info.Number, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        case WM_LBUTTONUP:
            ListLeftReleased(info.Number);
            break;
        case WM_RBUTTONUP:
            ListRightReleased(info.Number);
            break;
        default:
            break;
        }
    }
    if (message == WM_NCDESTROY) {
        // The final message: the layer drops the control's pending events and its record.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(info.PreviousProc));
        State().Controls.erase(hwnd);
        ControlDestroyed(info.Number, hwnd);
    }
    return CallWindowProcW(info.PreviousProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK RelayProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == RelayWakeMessage) {
        std::vector<RelayedEvent> taken;
        {
            std::lock_guard<std::mutex> lock(RelayMutex());
            taken.swap(RelayQueue());
        }
        for (const RelayedEvent& e : taken) {
            PostEvent(e.Kind, e.Control, e.Window, e.Type);
        }
        return 0;
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

bool ModifierHeld() {
    return GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0;
}

} // namespace

// ---- start and end ---------------------------------------------------------------------

bool Win32Platform::StartPlatform(std::string& why) {
    PlatformState& state = State();
    // The dialogs need the component library on this thread, and the controls the
    // common control classes; neither is undone at the end.
    const HRESULT com = CoInitialize(nullptr);
    (void)com;
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&classes);

    state.DefaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    state.Arrow = LoadCursorW(nullptr, IDC_ARROW);

    WNDCLASSW relayClass = {};
    relayClass.lpfnWndProc = RelayProc;
    relayClass.hInstance = Instance();
    relayClass.lpszClassName = RelayClassName;
    RegisterClassW(&relayClass);
    state.Relay = CreateWindowExW(0, RelayClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  Instance(), nullptr);
    if (state.Relay == nullptr) {
        UnregisterClassW(RelayClassName, Instance());
        why = "Windows refused to create a window (error " + std::to_string(GetLastError()) + ").";
        return false;
    }
    return true;
}

void Win32Platform::FinishPlatform() {
    PlatformState& state = State();
    if (state.Relay != nullptr) {
        DestroyWindow(state.Relay);
        state.Relay = nullptr;
        UnregisterClassW(RelayClassName, Instance());
    }
    std::lock_guard<std::mutex> lock(RelayMutex());
    RelayQueue().clear();
}

bool RelayEvent(uint32_t kind, int32_t control, int32_t window, int32_t type) {
    const HWND relay = State().Relay;
    if (relay == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(RelayMutex());
        RelayQueue().push_back(RelayedEvent{kind, control, window, type});
    }
    return PostMessageW(relay, RelayWakeMessage, 0, 0) != 0;
}

// ---- top-level windows -----------------------------------------------------------------

PixelRect Win32Platform::OuterRectForClient(int32_t clientWidth, int32_t clientHeight,
                                            uint32_t style, uint32_t exStyle) {
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
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
    // The program carries no icon 1, so the system's default application icon shows.
    windowClass.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
    windowClass.hCursor =
        State().Arrow != nullptr ? State().Arrow : LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass); // an existing class of that name serves as well

    const int x = params.PlatformPosition ? CW_USEDEFAULT : params.X;
    const int y = params.PlatformPosition ? CW_USEDEFAULT : params.Y;
    int32_t number = params.Number;
    const std::wstring title = ToWide(params.Title);
    HWND hwnd =
        CreateWindowExW(params.ExStyle, className, title.c_str(), params.Style, x, y, params.OuterWidth,
                        params.OuterHeight, nullptr, nullptr, Instance(), &number);
    if (hwnd == nullptr) {
        UnregisterClassW(className, Instance());
        return nullptr;
    }
    TopLevelInfo info;
    info.Number = params.Number;
    info.ClassName = className;
    State().TopLevels[hwnd] = info;
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

void Win32Platform::ShowTopLevel(NativeHandle window, ShowMode mode) {
    ShowWindow(Hwnd(window), mode == ShowMode::NoActivate ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL);
}

bool Win32Platform::InstallAccelerators(NativeHandle window,
                                        const std::vector<AcceleratorEntry>& entries) {
    auto it = State().TopLevels.find(Hwnd(window));
    if (it == State().TopLevels.end() || entries.empty()) {
        return false;
    }
    std::vector<ACCEL> table;
    for (const AcceleratorEntry& e : entries) {
        ACCEL a;
        a.fVirt = e.Flags;
        a.key = e.Key;
        a.cmd = e.Command;
        table.push_back(a);
    }
    HACCEL created = CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
    if (created == nullptr) {
        return false;
    }
    if (it->second.Accelerators != nullptr) {
        DestroyAcceleratorTable(it->second.Accelerators);
    }
    it->second.Accelerators = created;
    return true;
}

void Win32Platform::DestroyTopLevel(NativeHandle window, int32_t number) {
    const HWND hwnd = Hwnd(window);
    auto it = State().TopLevels.find(hwnd);
    std::wstring className;
    if (it != State().TopLevels.end()) {
        className = it->second.ClassName;
        if (it->second.Accelerators != nullptr) {
            DestroyAcceleratorTable(it->second.Accelerators);
        }
        State().TopLevels.erase(it);
    } else {
        wchar_t name[32];
        std::swprintf(name, sizeof name / sizeof name[0], L"WindowClass_%d",
                      static_cast<int>(number));
        className = name;
    }
    // Its controls are destroyed with it and report their end from their own hook.
    DestroyWindow(hwnd);
    UnregisterClassW(className.c_str(), Instance());
}

void Win32Platform::ActivateTopLevel(NativeHandle window) {
    SetActiveWindow(Hwnd(window));
}

// ---- controls ----------------------------------------------------------------------------

NativeHandle Win32Platform::CreateControl(const ControlParams& params) {
    const wchar_t* className = L"Static";
    if (params.Kind == ControlKind::List) {
        className = L"ListBox";
    } else if (params.Kind == ControlKind::Button) {
        className = L"Button";
    }
    const std::wstring caption = ToWide(params.Caption);
    // The number also goes in as the child identifier, which a list keeps for its
    // notifications from creation on.
    HWND hwnd = CreateWindowExW(params.ExStyle, className, caption.c_str(), params.Style, params.X,
                                params.Y, params.Width, params.Height, Hwnd(params.Parent),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(params.Number)),
                                Instance(), nullptr);
    if (hwnd == nullptr) {
        return nullptr;
    }
    ControlInfo info;
    info.Number = params.Number;
    info.Kind = params.Kind;
    info.PreviousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    State().Controls[hwnd] = info;
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
    SetWindowLongPtrW(hwnd, GWLP_ID, static_cast<LONG_PTR>(params.Number));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(State().DefaultFont), TRUE);
    return hwnd;
}

void Win32Platform::DestroyControl(NativeHandle control) {
    DestroyWindow(Hwnd(control));
}

void Win32Platform::AppendListRow(NativeHandle list, const Text& row) {
    const std::wstring text = ToWide(row);
    SendMessageW(Hwnd(list), LB_INSERTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

// ---- messages ------------------------------------------------------------------------------

uint32_t Win32Platform::WaitPlatformMessage() {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) {
        return WM_NULL;
    }
    if (got == 0) {
        return WM_QUIT;
    }
    const HWND active = GetActiveWindow();
    if (active != nullptr && ModifierHeld()) {
        SetKeyboardCues(active, true);
    }
    // Only a window of this layer has accelerators; GetActiveWindow only ever names a
    // window of this thread.
    const TopLevelInfo* info = active != nullptr ? FindTopLevel(active) : nullptr;
    if (info != nullptr && info->Accelerators != nullptr &&
        TranslateAcceleratorW(active, info->Accelerators, &msg)) {
        SetKeyboardCues(active, true);
    } else {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // A private message that happens to carry an event kind's number must not be taken
    // for that event.
    if (msg.message >= 13100 && msg.message <= 13118) {
        return WM_NULL;
    }
    return msg.message;
}

// ---- keyboard focus ------------------------------------------------------------------------

NativeHandle Win32Platform::FocusedControl() {
    for (HWND h = GetFocus(); h != nullptr; h = GetParent(h)) {
        if (State().Controls.count(h) != 0) {
            return h;
        }
        if ((GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) == 0) {
            break;
        }
    }
    return nullptr;
}

bool Win32Platform::ControlCanTakeFocus(NativeHandle control) {
    return IsWindowEnabled(Hwnd(control)) && IsWindowVisible(Hwnd(control));
}

void Win32Platform::FocusControl(NativeHandle control) {
    SetFocus(Hwnd(control));
}

void Win32Platform::SetKeyboardCues(NativeHandle window, bool shown) {
    const HWND hwnd = Hwnd(window);
    const auto state = static_cast<UINT>(SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0));
    constexpr UINT both = UISF_HIDEFOCUS | UISF_HIDEACCEL;
    if (shown) {
        if ((state & both) != 0) {
            SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, both), 0);
        }
    } else if ((state & both) != both) {
        SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, both), 0);
    }
}

// ---- dialogs and the modal guard ------------------------------------------------------------

int32_t Win32Platform::PathBufferUnits() {
    return PathUnits;
}

bool Win32Platform::RunOpenDialog(OpenDialogRequest& request) {
    if (request.PathBuffer.empty() || request.FilterBuffer.empty()) {
        return false;
    }
    const std::wstring title = ToWide(request.Title);
    const std::wstring folder = ToWide(request.InitialFolder);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OpenFileNameSize;
    ofn.hwndOwner = Hwnd(request.Owner);
    ofn.lpstrFilter = reinterpret_cast<const wchar_t*>(request.FilterBuffer.c_str());
    ofn.nFilterIndex = static_cast<DWORD>(request.FilterIndex);
    ofn.lpstrFile = reinterpret_cast<wchar_t*>(request.PathBuffer.data());
    ofn.nMaxFile = static_cast<DWORD>(request.PathBuffer.size());
    ofn.lpstrInitialDir = request.HasInitialFolder ? folder.c_str() : nullptr;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = request.Flags;
    if (!GetOpenFileNameW(&ofn)) {
        return false;
    }
    request.FilterIndex = static_cast<int32_t>(ofn.nFilterIndex);
    return true;
}

int32_t Win32Platform::RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                                     uint32_t flags) {
    const std::wstring wideTitle = ToWide(title);
    const std::wstring wideText = ToWide(text);
    return MessageBoxW(Hwnd(owner), wideText.c_str(), wideTitle.c_str(), flags);
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

// ---- pointer ---------------------------------------------------------------------------------

void Win32Platform::CapturePointer(NativeHandle control) {
    SetCapture(Hwnd(control));
}

void Win32Platform::ReleasePointer() {
    ReleaseCapture();
}

PixelSize Win32Platform::DragDistance() {
    return PixelSize{GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)};
}

} // namespace rz::win32
