// What the files of the GTK backend share: the data kept on each native widget, the
// release guards for GTK's allocations, and the platform class, whose operations are
// defined one concern per file (window, controls, keyboard, dialogs, start and loop).
#pragma once

#include "text/text.hpp"
#include "ui/platform.hpp"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace rz::gtk {

// Style class of every widget we make, for the style sheet in gtk_platform.cpp.
inline constexpr const char* ControlClass = "rezurudev";

struct TopLevelData {
    int32_t Number = 0;
    uint32_t Style = 0;
    GtkWidget* Fixed = nullptr;
    std::vector<AcceleratorEntry> Accelerators;
    // The outer rectangle the layer knows, which stands until the window is on screen.
    PixelRect Requested;
    bool PlacedWithoutFrame = false; // placed before the window manager added its frame
    bool KeepAbove = false;
    bool PositionKnown = false;
    int LastX = 0;
    int LastY = 0;
    bool MinimizedOrMaximized = false;
};

struct ControlData {
    int32_t Number = 0;
    GtkWidget* Focusable = nullptr; // the tree view inside a list, the button itself
    GtkListStore* Rows = nullptr;   // lists only
    bool FocusArriving = false;     // lists only: the focus is being given, not a row
};

// The data lives as long as its widget.
TopLevelData* TopLevelOf(gpointer widget);
ControlData* ControlOf(gpointer widget);
void AttachTopLevelData(GtkWidget* window, TopLevelData* data);
void AttachControlData(GtkWidget* control, ControlData* data);

inline std::string Utf8(const Text& t) {
    return TextToUtf8(t);
}

// Release guards: what GTK hands out is given back at the end of the scope, on every path.
struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharOwner = std::unique_ptr<gchar, GFreeDeleter>;

struct GListDeleter {
    void operator()(GList* list) const { g_list_free(list); }
};
using GListOwner = std::unique_ptr<GList, GListDeleter>;

// A modal dialog is destroyed at the end of its scope, and its last events are handled
// before the program goes on, so that it has left the screen by then.
class DialogGuard {
public:
    explicit DialogGuard(GtkWidget* dialog) : dialog_(dialog) {}
    ~DialogGuard();
    DialogGuard(const DialogGuard&) = delete;
    DialogGuard& operator=(const DialogGuard&) = delete;
    GtkWidget* get() const { return dialog_; }

private:
    GtkWidget* dialog_;
};

// Handles whatever GTK has pending, without waiting.
void DrainPendingEvents();

// The window of ours that is active, or nullptr.
GtkWidget* ActiveTopLevel();
// The window of ours that was active last, or nullptr: right after a deactivation it
// still knows which of its controls had the focus.
GtkWidget* LastActiveTopLevel();

// Key presses of a top-level window (gtk_keyboard.cpp).
gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer);

class GtkPlatform final : public Platform {
public:
    // gtk_platform.cpp: start, end and the message loop.
    bool StartPlatform(std::string& why) override;
    void FinishPlatform() override;
    uint32_t WaitPlatformMessage() override;

    // gtk_window.cpp
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

    // gtk_controls.cpp
    NativeHandle CreateControl(const ControlParams& params) override;
    void DestroyControl(NativeHandle control) override;
    void AppendListRow(NativeHandle list, const Text& row) override;
    void CapturePointer(NativeHandle control) override;
    void ReleasePointer() override;
    PixelSize DragDistance() override;

    // gtk_keyboard.cpp
    void InstallAccelerators(NativeHandle window,
                             const std::vector<AcceleratorEntry>& entries) override;
    NativeHandle FocusedControl() override;
    bool ControlCanTakeFocus(NativeHandle control) override;
    void FocusControl(NativeHandle control) override;
    void SetKeyboardCues(NativeHandle window, bool shown) override;

    // gtk_dialogs.cpp
    Text RunOpenDialog(const OpenDialogRequest& request) override;
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text) override;
};

} // namespace rz::gtk
