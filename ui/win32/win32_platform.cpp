// Win32 under the portable layers: start and end, the message loop, and what the other
// files of the backend share. Translation only: every decision (events, coalescing,
// focus walk, modal guard, dialog inputs) is made above the seam.
#include "ui/win32/win32_platform.hpp"

#include "ui/events.hpp"
#include "ui/win32/win32_private.hpp"

namespace rz {

namespace win32 {

namespace {

// A hidden 1 by 1 window, made at start and destroyed at the end. Making it proves
// early that this process can have windows at all, before the user is asked anything.
constexpr wchar_t RelayClassName[] = L"RelayWindowClass";

} // namespace

PlatformState& State() {
    static PlatformState state;
    return state;
}

HINSTANCE Instance() {
    static const HINSTANCE instance = GetModuleHandleW(nullptr);
    return instance;
}

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
    relayClass.lpfnWndProc = DefWindowProcW;
    relayClass.hInstance = Instance();
    relayClass.lpszClassName = RelayClassName;
    RegisterClassW(&relayClass);
    state.Relay = CreateWindowExW(0, RelayClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  Instance(), nullptr);
    if (state.Relay == nullptr) {
        UnregisterClassW(RelayClassName, Instance());
        why = "Windows kann kein Fenster anlegen (Fehler " + std::to_string(GetLastError()) + ").";
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
}

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
    const HACCEL accelerators = ActiveAccelerators(active);
    if (accelerators != nullptr && TranslateAcceleratorW(active, accelerators, &msg)) {
        SetKeyboardCues(active, true);
    } else {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // A private message that happens to carry an event kind's number must not be taken
    // for that event.
    if (msg.message >= EventKind::First && msg.message <= EventKind::Last) {
        return WM_NULL;
    }
    return msg.message;
}

} // namespace win32

std::unique_ptr<Platform> MakeWin32Platform() {
    return std::make_unique<win32::Win32Platform>();
}

} // namespace rz
