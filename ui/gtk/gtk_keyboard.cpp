// The keyboard: the window's accelerators (Tab and Shift+Tab), keys for the focused
// control, and the focus itself.
#include "ui/gtk/gtk_private.hpp"

namespace rz::gtk {

namespace {

bool IsModifierKey(guint keyval) {
    switch (keyval) {
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
        return true;
    default:
        return false;
    }
}

// Whether a key press is what an accelerator entry names; Ctrl and Alt must be up.
bool AcceleratorMatches(const AcceleratorEntry& entry, const GdkEventKey* event) {
    const guint state = event->state & gtk_accelerator_get_default_mod_mask();
    bool keyMatches = false;
    // X reports Shift+Tab as ISO_Left_Tab, with or without the Shift state.
    bool shift = (state & GDK_SHIFT_MASK) != 0;
    switch (entry.Key) {
    case AcceleratorKey::Tab:
        keyMatches = event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_KP_Tab ||
                     event->keyval == GDK_KEY_ISO_Left_Tab;
        shift = shift || event->keyval == GDK_KEY_ISO_Left_Tab;
        break;
    }
    return keyMatches && shift == entry.Shift && (state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0;
}

// The control a native widget belongs to (the widget itself or one of its parents).
GtkWidget* ControlWidgetOf(GtkWidget* widget) {
    for (GtkWidget* w = widget; w != nullptr; w = gtk_widget_get_parent(w)) {
        if (ControlOf(w) != nullptr) {
            return w;
        }
        if (TopLevelOf(w) != nullptr) {
            return nullptr;
        }
    }
    return nullptr;
}

} // namespace

// No dialog-style key handling: the window's accelerators, else the focused control
// gets the key unchanged (GTK's own focus moves by arrows and the like stay out).
gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer) {
    const TopLevelData* data = TopLevelOf(window);
    if (IsModifierKey(event->keyval)) {
        gtk_window_set_focus_visible(GTK_WINDOW(window), TRUE);
    }
    for (const AcceleratorEntry& entry : data->Accelerators) {
        if (AcceleratorMatches(entry, event)) {
            WindowCommand(data->Number, entry.Command);
            return TRUE;
        }
    }
    if (!gtk_window_propagate_key_event(GTK_WINDOW(window), event) &&
        (event->keyval == GDK_KEY_space || event->keyval == GDK_KEY_KP_Space)) {
        // GTK binds Space to the window, which hands it to the focused control: a
        // focused button is pressed by it, as on Windows.
        gtk_window_activate_focus(GTK_WINDOW(window));
    }
    return TRUE;
}

void GtkPlatform::InstallAccelerators(NativeHandle window,
                                      const std::vector<AcceleratorEntry>& entries) {
    TopLevelOf(window)->Accelerators = entries;
}

NativeHandle GtkPlatform::FocusedControl() {
    GtkWidget* window = ActiveTopLevel();
    if (window == nullptr) {
        window = LastActiveTopLevel();
    }
    if (window == nullptr) {
        return nullptr;
    }
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    return focus == nullptr ? nullptr : ControlWidgetOf(focus);
}

bool GtkPlatform::ControlCanTakeFocus(NativeHandle control) {
    GtkWidget* w = static_cast<GtkWidget*>(control);
    return gtk_widget_is_sensitive(w) && gtk_widget_is_visible(w);
}

void GtkPlatform::FocusControl(NativeHandle control) {
    ControlData* data = ControlOf(control);
    if (data == nullptr || data->Focusable == nullptr) {
        gtk_widget_grab_focus(static_cast<GtkWidget*>(control));
        return;
    }
    // Only the focus arrives: a list selects no row on its way in.
    data->FocusArriving = true;
    gtk_widget_grab_focus(data->Focusable);
    data->FocusArriving = false;
}

void GtkPlatform::SetKeyboardCues(NativeHandle window, bool shown) {
    gtk_window_set_focus_visible(GTK_WINDOW(window), shown ? TRUE : FALSE);
}

} // namespace rz::gtk
