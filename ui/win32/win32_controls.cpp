// Labels, lists and push buttons: the system's "Static", "ListBox" and "Button" classes,
// each hooked so that the list's mouse and every control's end reach the layer.
#include "ui/win32/win32_private.hpp"

namespace rz::win32 {

namespace {

struct ControlClass {
    const wchar_t* Name;
    DWORD Style;
    DWORD ExStyle;
};

// What each kind is on Windows. Every one starts a group and is visible at once; an
// ampersand in a label is shown, not taken as a mnemonic; a list keeps exactly its
// height, holds texts and reports selection changes and double clicks.
ControlClass ClassOf(ControlKind kind) {
    constexpr DWORD child = WS_CHILD | WS_VISIBLE | WS_GROUP;
    switch (kind) {
    case ControlKind::List: // 0x50330141, WS_EX_CLIENTEDGE
        return {L"ListBox",
                child | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT |
                    LBS_HASSTRINGS | LBS_NOTIFY,
                WS_EX_CLIENTEDGE};
    case ControlKind::Button: // 0x50030000
        return {L"Button", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::Label:
        break;
    }
    return {L"Static", child | SS_NOPREFIX, 0}; // 0x50020080
}

// The list's mouse hook: presses, moves and releases go to the layer, which decides on
// drags and clicks.
void ListMouse(int32_t number, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN: {
        const LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lParam);
        const LRESULT count = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
        // The high word is 1 when the point lies outside every row.
        const bool onRow = HIWORD(hit) == 0 && static_cast<LRESULT>(LOWORD(hit)) < count;
        const bool plain = (wParam & (MK_SHIFT | MK_CONTROL)) == 0;
        ListLeftPressed(number, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), onRow, plain);
        break;
    }
    case WM_MOUSEMOVE:
        ListPointerMoved(number, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
    case WM_LBUTTONUP:
        ListLeftReleased(number);
        break;
    case WM_RBUTTONUP:
        ListRightReleased(number);
        break;
    default:
        break;
    }
}

// Every control's messages come here first and then go on to the control's own handler.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = State().Controls.find(hwnd);
    if (it == State().Controls.end()) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const ControlInfo info = it->second;
    if (info.Kind == ControlKind::List) {
        ListMouse(info.Number, hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The final message: the layer drops the control's pending events and its record.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(info.PreviousProc));
        State().Controls.erase(hwnd);
        ControlDestroyed(info.Number, hwnd);
    }
    return CallWindowProcW(info.PreviousProc, hwnd, message, wParam, lParam);
}

} // namespace

NativeHandle Win32Platform::CreateControl(const ControlParams& params) {
    const ControlClass kind = ClassOf(params.Kind);
    const std::wstring caption = ToWide(params.Caption);
    // The number also goes in as the child identifier, which a list keeps for its
    // notifications from creation on.
    HWND hwnd = CreateWindowExW(kind.ExStyle, kind.Name, caption.c_str(), kind.Style, params.X,
                                params.Y, params.Width, params.Height, Hwnd(params.Parent),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(params.Number)),
                                Instance(), nullptr);
    if (hwnd == nullptr) {
        return nullptr;
    }
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    State().Controls[hwnd] = ControlInfo{params.Number, params.Kind, previous};
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
