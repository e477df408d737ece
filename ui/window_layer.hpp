// The window layer: top-level windows and their controls, addressed by small numbers the
// caller chooses, never by platform handles.
#pragma once

#include "text/text.hpp"
#include "ui/platform.hpp"

#include <cstdint>

namespace rz {

// The layer's own option bit in the flags word of OpenTopLevelWindow; every other bit
// is a platform window style bit (WindowStyle) and passed through.
namespace WindowFlag {
inline constexpr uint32_t CentreOnScreen = 0x1;
} // namespace WindowFlag

// "Let the platform choose" for x or y. Real positions can be negative (a window partly
// off the primary screen, or on a screen left of or above it), so the mark is a number
// beyond the edge of any screen.
inline constexpr int32_t PlatformPosition = -65535;

// The commands the window's Tab and Shift+Tab accelerators give. A WM_COMMAND carries a
// 16-bit command and programs number their menu items from the bottom of that range up,
// so the focus keys take numbers near its top, where no menu item will be.
inline constexpr int32_t FocusNextCommand = 64001;
inline constexpr int32_t FocusPreviousCommand = 64002;

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
                             const Text& text);
NativeHandle CreateListControl(int32_t control, int32_t x, int32_t y, int32_t width,
                               int32_t height);
NativeHandle CreatePushButton(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                              const Text& text);

// Appends text as a new row when position is -1. Events raised meanwhile are discarded.
int32_t AddListItem(int32_t control, int32_t position, const Text& text);

void CloseAllWindows();

// Moves the focus along the tab stops of the window, forward or backward.
void FocusNextControl(int32_t window);
void FocusPreviousControl(int32_t window);

// Back to the state at program start (no windows, no controls).
void ResetWindowLayer();

} // namespace rz
