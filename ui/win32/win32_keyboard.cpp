// The keyboard: the window's accelerator table (Tab and Shift+Tab), the focus, and the
// keyboard cues.
#include "ui/win32/win32_private.hpp"
#include "ui/window_layer.hpp"

namespace rz::win32 {

static_assert(FocusNextCommand <= 0xFFFF && FocusPreviousCommand <= 0xFFFF,
              "an ACCEL command is a WORD");

HACCEL ActiveAccelerators(HWND active) {
    // GetActiveWindow only ever names a window of this thread; only ours have a table.
    const auto it = State().TopLevels.find(active);
    return it == State().TopLevels.end() ? nullptr : it->second.Accelerators;
}

bool ModifierHeld() {
    return GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0;
}

void Win32Platform::InstallAccelerators(NativeHandle window,
                                        const std::vector<AcceleratorEntry>& entries) {
    auto it = State().TopLevels.find(Hwnd(window));
    if (it == State().TopLevels.end() || entries.empty()) {
        return;
    }
    std::vector<ACCEL> table;
    for (const AcceleratorEntry& e : entries) {
        ACCEL a = {};
        a.fVirt = static_cast<BYTE>(FVIRTKEY | FNOINVERT | (e.Shift ? FSHIFT : 0));
        switch (e.Key) {
        case AcceleratorKey::Tab:
            a.key = VK_TAB;
            break;
        }
        a.cmd = static_cast<WORD>(e.Command);
        table.push_back(a);
    }
    HACCEL created = CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
    if (created == nullptr) {
        return;
    }
    if (it->second.Accelerators != nullptr) {
        DestroyAcceleratorTable(it->second.Accelerators);
    }
    it->second.Accelerators = created;
}

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

} // namespace rz::win32
