// What the files of the Win32 backend share: the system headers, the records kept per
// native window, and the platform class, whose operations are defined one concern per
// file (window, controls, keyboard, dialogs, start and loop).
#pragma once

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

#include "ui/platform.hpp"
#include "text/wide_text.hpp"

#include <map>
#include <string>
#include <vector>

namespace rz::win32 {

struct TopLevelInfo {
    int32_t Number = 0;
    std::wstring ClassName; // "WindowClass_" and the number: WindowClass_0 for window 0
    HACCEL Accelerators = nullptr;
};

struct ControlInfo {
    int32_t Number = 0;
    ControlKind Kind = ControlKind::Label;
    WNDPROC PreviousProc = nullptr;
};

struct PlatformState {
    HFONT DefaultFont = nullptr; // DEFAULT_GUI_FONT, taken once at start
    HCURSOR Arrow = nullptr;
    HWND Relay = nullptr;
    std::map<HWND, TopLevelInfo> TopLevels;
    std::map<HWND, ControlInfo> Controls;
};

PlatformState& State();
HINSTANCE Instance();

inline HWND Hwnd(NativeHandle handle) {
    return static_cast<HWND>(handle);
}

inline PixelRect FromRect(const RECT& r) {
    return PixelRect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                     static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)};
}

// The accelerator table of the active window when it is one of ours (win32_keyboard.cpp).
HACCEL ActiveAccelerators(HWND active);
// Ctrl, Shift or Alt held down: the keyboard cues are then shown.
bool ModifierHeld();

class Win32Platform final : public Platform {
public:
    // win32_platform.cpp: start, end and the message loop.
    bool StartPlatform(std::string& why) override;
    void FinishPlatform() override;
    uint32_t WaitPlatformMessage() override;

    // win32_window.cpp
    PixelRect OuterRectForClient(int32_t clientWidth, int32_t clientHeight,
                                 uint32_t style) override;
    NativeHandle CreateTopLevel(const TopLevelParams& params) override;
    PixelRect TopLevelOuterRect(NativeHandle window) override;
    PixelSize ScreenSize() override;
    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override;
    void ShowTopLevel(NativeHandle window) override;
    void DestroyTopLevel(NativeHandle window) override;
    NativeHandle ForegroundTopLevel() override;
    bool TopLevelBelongsToProcess(NativeHandle window) override;
    std::vector<NativeHandle> VisibleThreadTopLevels() override;
    bool TopLevelEnabled(NativeHandle window) override;
    void EnableTopLevel(NativeHandle window, bool enabled) override;
    bool TopLevelIsTopmost(NativeHandle window) override;
    void SetTopLevelTopmost(NativeHandle window, bool topmost) override;

    // win32_controls.cpp
    NativeHandle CreateControl(const ControlParams& params) override;
    void DestroyControl(NativeHandle control) override;
    void AppendListRow(NativeHandle list, const Text& row) override;
    void CapturePointer(NativeHandle control) override;
    void ReleasePointer() override;
    PixelSize DragDistance() override;

    // win32_keyboard.cpp
    void InstallAccelerators(NativeHandle window,
                             const std::vector<AcceleratorEntry>& entries) override;
    NativeHandle FocusedControl() override;
    bool ControlCanTakeFocus(NativeHandle control) override;
    void FocusControl(NativeHandle control) override;
    void SetKeyboardCues(NativeHandle window, bool shown) override;

    // win32_dialogs.cpp
    Text RunOpenDialog(const OpenDialogRequest& request) override;
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text) override;
};

} // namespace rz::win32
