// The seam between the portable window, event and dialog layers and one window system.
//
// Everything that decides something (the event queue and its coalescing, the window and
// control records, the flag and centring arithmetic, the focus walk, the default-file
// handling, the modal guard) lives once above this seam. A platform only translates: it
// creates and destroys native windows, reads one native message and dispatches it, runs
// the two native dialogs, and tells the portable layer what happened through the entry
// points at the end of this file.
//
// Values are named here and each backend turns the names into its toolkit's own terms.
// Where a value is also the Win32 constant (noted beside it), the Win32 backend checks
// that at compile time and passes it through.
//
// Everything runs on one thread; no function here may be called from another.
#pragma once

#include "text/text.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace rz {

// A native window or control: HWND on Win32, GtkWidget* on GTK. nullptr is "none" and
// the failure result of every creating call.
using NativeHandle = void*;

struct PixelRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};

struct PixelSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The frame of a top-level window: the platform bits of OpenTopLevelWindow's flags word.
namespace WindowStyle {
inline constexpr uint32_t SysMenu = 0x00080000; // WS_SYSMENU: window menu and close box
inline constexpr uint32_t Caption = 0x00C00000; // WS_CAPTION: title bar and its border
} // namespace WindowStyle

enum class ControlKind : int32_t { Label, List, Button };

// What a control tells its window (the notification code of a WM_COMMAND).
namespace ControlNotification {
inline constexpr int32_t ButtonClicked = 0;        // BN_CLICKED
inline constexpr int32_t ListSelectionChanged = 1; // LBN_SELCHANGE
inline constexpr int32_t ListDoubleClicked = 2;    // LBN_DBLCLK
} // namespace ControlNotification

// One keyboard accelerator of a window: the key that gives WindowCommand the command.
enum class AcceleratorKey : int32_t { Tab }; // VK_TAB
struct AcceleratorEntry {
    AcceleratorKey Key = AcceleratorKey::Tab;
    bool Shift = false; // Shift held down (FSHIFT); no other modifier may be
    int32_t Command = 0;
};

// What to create for one top-level window. The sizes are already the outer sizes.
struct TopLevelParams {
    int32_t Number = 0; // the caller's window number (also names a window class)
    int32_t X = 0;      // position of the outer rectangle on the screen
    int32_t Y = 0;
    bool PlatformPosition = false; // let the platform choose the position (X and Y unused)
    int32_t OuterWidth = 0;
    int32_t OuterHeight = 0;
    int32_t ClientWidth = 0; // what OuterWidth and OuterHeight were derived from
    int32_t ClientHeight = 0;
    Text Title;
    uint32_t Style = 0; // WindowStyle bits, and any other platform bits the caller passed
};

// What to create for one control, as a visible child of Parent. Each backend knows what
// a label, a list and a push button are on its toolkit.
struct ControlParams {
    ControlKind Kind = ControlKind::Label;
    int32_t Number = 0; // the caller's control number (GWL_ID on Win32)
    NativeHandle Parent = nullptr;
    int32_t X = 0; // in the parent's client coordinates, pixels, no scaling
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    Text Caption; // labels and buttons; empty for lists
};

// One file-type filter as the open dialog offers it.
struct FileFilter {
    Text Description; // "PCB-datei (*.kicad_pcb)"
    Text Pattern;     // as the caller wrote it, blanks kept: " *.kicad_pcb"
};

// How the open dialog behaves.
namespace OpenDialogOption {
inline constexpr uint32_t HideReadOnly = 0x00000004;  // OFN_HIDEREADONLY: no read-only box
inline constexpr uint32_t NoChangeDir = 0x00000008;   // OFN_NOCHANGEDIR: keep the current folder
inline constexpr uint32_t PathMustExist = 0x00000800; // OFN_PATHMUSTEXIST: the folder, not the file
inline constexpr uint32_t Explorer = 0x00080000;      // OFN_EXPLORER: today's dialog style
} // namespace OpenDialogOption

// Everything the open dialog needs, prepared by the portable layer.
struct OpenDialogRequest {
    NativeHandle Owner = nullptr; // ModalOwnerWindow(), usually none
    Text Title;
    std::vector<FileFilter> Filters;
    int32_t FilterIndex = 1;       // 1 selects the first filter
    Text FileName;                 // what the name field starts with: a plain name, or empty
    bool HasInitialFolder = false; // false: no folder was given at all
    Text InitialFolder;            // empty while present: the folder the program started in
    uint32_t Options = 0;          // OpenDialogOption bits
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- start and end of the program --------------------------------------------
    // Prepares the thread for windows and dialogs. False when no window can be shown at
    // all; why is then a short German sentence for the user.
    virtual bool StartPlatform(std::string& why) = 0;
    // The end routine's last step: whatever StartPlatform set up and the end must undo.
    virtual void FinishPlatform() = 0;

    // --- top-level windows ---------------------------------------------------------
    // The outer rectangle of a window with this client size and style (AdjustWindowRectEx
    // on (0, 0, clientWidth, clientHeight)).
    virtual PixelRect OuterRectForClient(int32_t clientWidth, int32_t clientHeight,
                                         uint32_t style) = 0;
    // Creates the window, not yet shown; nullptr when the platform refuses. The platform
    // remembers params.Number with the window for the entry points below.
    virtual NativeHandle CreateTopLevel(const TopLevelParams& params) = 0;
    // The window's outer rectangle in screen coordinates.
    virtual PixelRect TopLevelOuterRect(NativeHandle window) = 0;
    // The whole primary screen, not the work area.
    virtual PixelSize ScreenSize() = 0;
    // Moves the outer rectangle that TopLevelOuterRect gave to x, y; size, Z order and
    // activation stay as they are.
    virtual void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) = 0;
    // Shows the window and activates it (SW_SHOWNORMAL).
    virtual void ShowTopLevel(NativeHandle window) = 0;
    // The keys reach the layer as WindowCommand calls while the window is active.
    virtual void InstallAccelerators(NativeHandle window,
                                     const std::vector<AcceleratorEntry>& entries) = 0;
    // Destroys the window with its children and everything the platform made for it
    // (its class, its accelerator table). Children report ControlDestroyed.
    virtual void DestroyTopLevel(NativeHandle window) = 0;

    // --- controls --------------------------------------------------------------------
    // Creates the control, visible, at exactly the given geometry; nullptr when the
    // platform refuses. The platform remembers params.Number with the control.
    virtual NativeHandle CreateControl(const ControlParams& params) = 0;
    virtual void DestroyControl(NativeHandle control) = 0;
    // Appends one row after the last row of a list control.
    virtual void AppendListRow(NativeHandle list, const Text& row) = 0;

    // --- messages ----------------------------------------------------------------------
    // Blocks without time-out until one native message (GTK: one main-loop iteration)
    // has been read, translated through the active window's accelerators or dispatched.
    // Handlers run inside and may post events. Returns the message number; it must lie
    // outside the event kinds (EventKind::First to EventKind::Last).
    virtual uint32_t WaitPlatformMessage() = 0;

    // --- keyboard focus ------------------------------------------------------------------
    // The control of ours that has the keyboard focus (whatever child window of it holds
    // the focus natively), or nullptr.
    virtual NativeHandle FocusedControl() = 0;
    // Enabled and visible, so that the focus walk may stop on it.
    virtual bool ControlCanTakeFocus(NativeHandle control) = 0;
    // The focus alone selects nothing in a list, as on Windows.
    virtual void FocusControl(NativeHandle control) = 0;
    // Shows or hides the focus rectangle and similar keyboard cues on the window.
    virtual void SetKeyboardCues(NativeHandle window, bool shown) = 0;

    // --- dialogs and the modal guard -------------------------------------------------------
    // Runs the modal open dialog. The full path of the chosen file (which need not exist),
    // or the empty text when the user cancels or the dialog fails.
    virtual Text RunOpenDialog(const OpenDialogRequest& request) = 0;
    // Runs a modal message box with one OK button and no icon (MB_OK); returns the
    // number of the button that closed it (IDOK, 1), or 0 when it could not be shown.
    virtual int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text) = 0;
    // The foreground window of the system, or nullptr.
    virtual NativeHandle ForegroundTopLevel() = 0;
    virtual bool TopLevelBelongsToProcess(NativeHandle window) = 0;
    // The visible top-level windows of the calling thread, dialogs included.
    virtual std::vector<NativeHandle> VisibleThreadTopLevels() = 0;
    virtual bool TopLevelEnabled(NativeHandle window) = 0;
    virtual void EnableTopLevel(NativeHandle window, bool enabled) = 0;
    virtual bool TopLevelIsTopmost(NativeHandle window) = 0;
    virtual void SetTopLevelTopmost(NativeHandle window, bool topmost) = 0;

    // --- pointer, for the list controls' drag detection ----------------------------------
    virtual void CapturePointer(NativeHandle control) = 0;
    virtual void ReleasePointer() = 0;
    // How far the pointer must move from a press to count as a drag (SM_CXDRAG, SM_CYDRAG).
    virtual PixelSize DragDistance() = 0;
};

// The platform the portable layers run on; set once at start (tests set their own).
void SetPlatform(Platform* platform);
Platform& CurrentPlatform();

// ==== Entry points for the platform's handlers =========================================
// A platform calls these while it dispatches a message (or while one of its own calls
// runs). Window and control numbers are the ones given in TopLevelParams and ControlParams.

// Appends an event to the queue unless events are suppressed or it repeats the last one.
void PostEvent(uint32_t kind, int32_t control, int32_t window, int32_t type);

// A command without a control: the accelerators' FocusNextCommand and
// FocusPreviousCommand move the focus; other numbers are menu commands.
void WindowCommand(int32_t window, int32_t command);
// A notification a control sent to its window (ControlNotification values).
void ControlCommand(int32_t control, int32_t notificationCode);

void WindowCloseRequested(int32_t window); // never destroys the window
void WindowActivated(int32_t window);      // focus given back to the saved control
void WindowDeactivated(int32_t window);    // focused control saved, cues hidden
void WindowBackgroundErased(int32_t window);
void WindowMoved(int32_t window);

enum class SizeChange : int32_t { Minimized, Maximized, Restored };
void WindowSizeChanged(int32_t window, SizeChange change);

enum class WindowClick : int32_t { LeftUp, LeftDoubleClick, RightUp };
// A click on the window's own client area (not on a control).
void WindowClicked(int32_t window, WindowClick click);

// The list controls' mouse hook. x and y are in the list's client coordinates.
// Pressed: left button down; onRow tells whether the point lies on a row, plain that
// neither Shift nor Ctrl is held. The layer captures and releases the pointer itself
// through the platform.
void ListLeftPressed(int32_t control, int32_t x, int32_t y, bool onRow, bool plain);
void ListPointerMoved(int32_t control, int32_t x, int32_t y);
void ListLeftReleased(int32_t control);
void ListRightReleased(int32_t control);

// A control's final destruction: its pending control events go, its record is freed.
// The handle tells an old control from a newer one that took over its number.
void ControlDestroyed(int32_t control, NativeHandle handle);

} // namespace rz
