// The window system under the portable layers on Windows: user32, gdi32, comdlg32,
// comctl32 and ole32, UTF-16 throughout.
#pragma once

#include "ui/platform.hpp"

#include <cstdint>

namespace rz::win32 {

class Win32Platform final : public Platform {
public:
    bool StartPlatform(std::string& why) override;
    void FinishPlatform() override;

    PixelRect OuterRectForClient(int32_t clientWidth, int32_t clientHeight, uint32_t style,
                                 uint32_t exStyle) override;
    NativeHandle CreateTopLevel(const TopLevelParams& params) override;
    PixelRect TopLevelOuterRect(NativeHandle window) override;
    PixelSize ScreenSize() override;
    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override;
    void ShowTopLevel(NativeHandle window, ShowMode mode) override;
    bool InstallAccelerators(NativeHandle window,
                             const std::vector<AcceleratorEntry>& entries) override;
    void DestroyTopLevel(NativeHandle window, int32_t number) override;
    void ActivateTopLevel(NativeHandle window) override;

    NativeHandle CreateControl(const ControlParams& params) override;
    void DestroyControl(NativeHandle control) override;
    void AppendListRow(NativeHandle list, const Text& row) override;

    uint32_t WaitPlatformMessage() override;

    NativeHandle FocusedControl() override;
    bool ControlCanTakeFocus(NativeHandle control) override;
    void FocusControl(NativeHandle control) override;
    void SetKeyboardCues(NativeHandle window, bool shown) override;

    int32_t PathBufferUnits() override;
    bool RunOpenDialog(OpenDialogRequest& request) override;
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                          uint32_t flags) override;
    NativeHandle ForegroundTopLevel() override;
    bool TopLevelBelongsToProcess(NativeHandle window) override;
    std::vector<NativeHandle> VisibleThreadTopLevels() override;
    bool TopLevelEnabled(NativeHandle window) override;
    void EnableTopLevel(NativeHandle window, bool enabled) override;
    bool TopLevelIsTopmost(NativeHandle window) override;
    void SetTopLevelTopmost(NativeHandle window, bool topmost) override;

    void CapturePointer(NativeHandle control) override;
    void ReleasePointer() override;
    PixelSize DragDistance() override;
};

// The hidden relay window: the one way another thread may hand the layer an event. The
// event is posted on the layer's thread when that thread next dispatches messages.
// False when the relay window does not exist (before start, after the end).
bool RelayEvent(uint32_t kind, int32_t control, int32_t window, int32_t type);

} // namespace rz::win32
