// The window layer: top-level windows and their controls, addressed by small numbers the
// caller chooses, never by platform handles.
#pragma once

#include "text/text.hpp"
#include "ui/platform.hpp"

#include <cstdint>

namespace rz {

// The layer's own option bits in the flags word of OpenTopLevelWindow; every other bit
// is a platform window style bit and passed through.
namespace WindowFlag {
inline constexpr uint32_t CentreOnScreen = 0x1;
inline constexpr uint32_t CentreOnParent = 0x2;
inline constexpr uint32_t ToolWindow = 0x4;
inline constexpr uint32_t KeepControlParent = 0x8; // do not become the CurrentControlParent
inline constexpr uint32_t ShowNoActivate = 0x02000000;
inline constexpr uint32_t CreateHidden = 0x10000000;
} // namespace WindowFlag

// "Let the platform choose" for x or y.
inline constexpr int32_t PlatformPosition = -65535;

// Accelerator commands of every top-level window.
inline constexpr int32_t FocusNextCommand = 64001;
inline constexpr int32_t FocusPreviousCommand = 64002;

struct WindowStyles {
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
};
// The platform styles a flags word stands for.
WindowStyles StylesFromFlags(uint32_t flags);

// Where a window of this outer size goes to stand in the middle of the screen; a window
// larger than the screen is treated as screen-sized.
struct CentredPosition {
    int32_t X = 0;
    int32_t Y = 0;
};
CentredPosition ScreenCentredPosition(const PixelRect& outer, const PixelSize& screen);

// Result: the platform window handle, nullptr when the platform refuses.
NativeHandle OpenTopLevelWindow(int32_t window, int32_t x, int32_t y, int32_t clientWidth,
                                int32_t clientHeight, const Text& title, uint32_t flags);

// Each creates a control in the CurrentControlParent; nullptr when the platform refuses
// (or when there is no window to hold it).
NativeHandle CreateTextLabel(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                             const Text& text, uint32_t flags = 0);
NativeHandle CreateListControl(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                               uint32_t flags = 0);
NativeHandle CreatePushButton(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                              const Text& text, uint32_t flags = 0);

// Appends text as a new row when position is -1. Events raised meanwhile are discarded.
int32_t AddListItem(int32_t control, int32_t position, const Text& text);

void CloseAllWindows();

// Moves the focus along the tab stops of the window, forward or backward.
void FocusNextControl(int32_t window);
void FocusPreviousControl(int32_t window);

// The window new controls go into; -1 when there is none.
int32_t CurrentControlParent();
// The platform handle of a window or control number; nullptr when it does not exist.
NativeHandle WindowHandle(int32_t window);
NativeHandle ControlHandle(int32_t control);

// Back to the state at program start (no windows, no controls).
void ResetWindowLayer();

} // namespace rz
