// GTK 3 under the portable layers: one GtkWindow with a GtkFixed per top-level window,
// children placed at exact pixels, signals handed to the layer's entry points. Nothing
// here decides anything the other platforms would have to decide again.
#include "ui/gtk/gtk_platform.hpp"

#include "text/text.hpp"
#include "ui/window_layer.hpp"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace rz {

namespace {

constexpr const char* TopLevelKey = "rezurudev-top-level";
constexpr const char* ControlKey = "rezurudev-control";
constexpr const char* ControlClass = "rezurudev";

// What a wait reports when it dispatched something that was not one of our events.
constexpr uint32_t MainLoopIteration = 1;

// The controls keep the geometry the layer asks for; the theme's padding and font would
// make buttons taller and wider than that, so they are styled down to fit.
constexpr const char* ControlStyle = R"css(
label.rezurudev, button.rezurudev label, treeview.rezurudev {
    font-size: 9pt;
}
button.rezurudev {
    min-height: 0;
    min-width: 0;
    padding: 0 4px;
}
treeview.rezurudev {
    padding: 0 2px;
}
)css";

struct TopLevelData {
    int32_t Number = 0;
    uint32_t Style = 0;
    GtkWidget* Fixed = nullptr;
    std::vector<AcceleratorEntry> Accelerators;
    // Position and outer size asked for, which stand until the window is on screen.
    PixelRect Requested;
    bool KeepAbove = false;
    bool PositionKnown = false;
    int LastX = 0;
    int LastY = 0;
    bool MinimizedOrMaximized = false;
};

struct ControlData {
    int32_t Number = 0;
    ControlKind Kind = ControlKind::Label;
    GtkWidget* Focusable = nullptr; // the tree view inside a list, the button itself
    GtkListStore* Rows = nullptr;   // lists only
};

TopLevelData* TopLevelOf(gpointer widget) {
    return static_cast<TopLevelData*>(g_object_get_data(G_OBJECT(widget), TopLevelKey));
}

ControlData* ControlOf(gpointer widget) {
    return static_cast<ControlData*>(g_object_get_data(G_OBJECT(widget), ControlKey));
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

std::string Utf8(const Text& t) {
    return TextToUtf8(t);
}

// ---- top-level window signals -----------------------------------------------------------

gboolean OnDelete(GtkWidget* window, GdkEvent*, gpointer) {
    WindowCloseRequested(TopLevelOf(window)->Number);
    return TRUE; // a close request alone never destroys the window
}

gboolean OnConfigure(GtkWidget* window, GdkEventConfigure*, gpointer) {
    TopLevelData* data = TopLevelOf(window);
    GdkWindow* gdk = gtk_widget_get_window(window);
    if (gdk == nullptr) {
        return FALSE;
    }
    int x = 0;
    int y = 0;
    gdk_window_get_root_origin(gdk, &x, &y);
    const bool moved = data->PositionKnown && (x != data->LastX || y != data->LastY);
    data->PositionKnown = true;
    data->LastX = x;
    data->LastY = y;
    if (moved) {
        WindowMoved(data->Number);
    }
    return FALSE;
}

gboolean OnWindowState(GtkWidget* window, GdkEventWindowState* event, gpointer) {
    TopLevelData* data = TopLevelOf(window);
    const GdkWindowState now = event->new_window_state;
    if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) != 0 &&
        (now & GDK_WINDOW_STATE_ICONIFIED) != 0) {
        data->MinimizedOrMaximized = true;
        WindowSizeChanged(data->Number, SizeChange::Minimized);
    } else if ((event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) != 0 &&
               (now & GDK_WINDOW_STATE_MAXIMIZED) != 0) {
        data->MinimizedOrMaximized = true;
        WindowSizeChanged(data->Number, SizeChange::Maximized);
    } else if (data->MinimizedOrMaximized &&
               (now & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED)) == 0) {
        data->MinimizedOrMaximized = false;
        WindowSizeChanged(data->Number, SizeChange::Restored);
    }
    return FALSE;
}

void OnActiveChanged(GObject* window, GParamSpec*, gpointer lastActive) {
    TopLevelData* data = TopLevelOf(window);
    if (gtk_window_is_active(GTK_WINDOW(window))) {
        *static_cast<GtkWidget**>(lastActive) = GTK_WIDGET(window);
        WindowActivated(data->Number);
    } else {
        WindowDeactivated(data->Number);
    }
}

gboolean OnDraw(GtkWidget* window, cairo_t*, gpointer) {
    WindowBackgroundErased(TopLevelOf(window)->Number);
    return FALSE;
}

// Only clicks on the window's own surface count: controls with a surface of their own
// report theirs, and labels are transparent to the mouse, as they are on Windows.
bool OnOwnSurface(GtkWidget* window, GdkEventButton* event) {
    return event->window == gtk_widget_get_window(window);
}

gboolean OnWindowButtonPress(GtkWidget* window, GdkEventButton* event, gpointer) {
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1 && OnOwnSurface(window, event)) {
        WindowClicked(TopLevelOf(window)->Number, WindowClick::LeftDoubleClick);
    }
    return FALSE;
}

gboolean OnWindowButtonRelease(GtkWidget* window, GdkEventButton* event, gpointer) {
    if (!OnOwnSurface(window, event)) {
        return FALSE;
    }
    if (event->button == 1) {
        WindowClicked(TopLevelOf(window)->Number, WindowClick::LeftUp);
    } else if (event->button == 3) {
        WindowClicked(TopLevelOf(window)->Number, WindowClick::RightUp);
    }
    return FALSE;
}

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

// Whether a key press is what an accelerator entry names (modifiers must match exactly).
bool AcceleratorMatches(const AcceleratorEntry& entry, const GdkEventKey* event) {
    const guint state = event->state & gtk_accelerator_get_default_mod_mask();
    bool shift = (state & GDK_SHIFT_MASK) != 0;
    bool keyMatches = false;
    if ((entry.Flags & AcceleratorFlag::VirtualKey) == 0) {
        keyMatches = gdk_keyval_to_unicode(event->keyval) == entry.Key;
    } else if (entry.Key == VirtualKeyTab) {
        keyMatches = event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_KP_Tab ||
                     event->keyval == GDK_KEY_ISO_Left_Tab;
        shift = shift || event->keyval == GDK_KEY_ISO_Left_Tab;
    } else if ((entry.Key >= 'A' && entry.Key <= 'Z') || (entry.Key >= '0' && entry.Key <= '9')) {
        keyMatches = gdk_keyval_to_upper(event->keyval) == entry.Key;
    } else if (entry.Key >= 0x70 && entry.Key <= 0x87) { // VK_F1 to VK_F24
        keyMatches = event->keyval == GDK_KEY_F1 + (entry.Key - 0x70u);
    }
    return keyMatches && shift == ((entry.Flags & AcceleratorFlag::Shift) != 0) &&
           ((state & GDK_CONTROL_MASK) != 0) == ((entry.Flags & AcceleratorFlag::Control) != 0) &&
           ((state & GDK_MOD1_MASK) != 0) == ((entry.Flags & AcceleratorFlag::Alt) != 0);
}

// No dialog-style key handling: the window's accelerators, else the focused control
// gets the key unchanged (GTK's own focus moves by arrows and the like stay out).
gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer) {
    TopLevelData* data = TopLevelOf(window);
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

void ApplyWindowManagerHints(GtkWidget* window, gpointer) {
    const uint32_t style = TopLevelOf(window)->Style;
    GdkWindow* gdk = gtk_widget_get_window(window);
    int functions = GDK_FUNC_MOVE;
    int decorations = 0;
    if ((style & WindowStyle::Caption) == WindowStyle::Caption) {
        decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    }
    if ((style & WindowStyle::SysMenu) != 0) {
        functions |= GDK_FUNC_CLOSE;
        decorations |= GDK_DECOR_MENU;
    }
    if ((style & WindowStyle::MinimizeBox) != 0) {
        functions |= GDK_FUNC_MINIMIZE;
        decorations |= GDK_DECOR_MINIMIZE;
    }
    if ((style & WindowStyle::MaximizeBox) != 0) {
        functions |= GDK_FUNC_MAXIMIZE;
        decorations |= GDK_DECOR_MAXIMIZE;
    }
    if ((style & WindowStyle::ThickFrame) != 0) {
        functions |= GDK_FUNC_RESIZE;
        decorations |= GDK_DECOR_RESIZEH;
    }
    gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(gdk, static_cast<GdkWMDecoration>(decorations));
}

// ---- control signals -------------------------------------------------------------------

void OnControlDestroy(GtkWidget* widget, gpointer) {
    ControlDestroyed(ControlOf(widget)->Number, widget);
}

void OnButtonClicked(GtkButton* button, gpointer) {
    ControlCommand(ControlOf(button)->Number, ControlNotification::ButtonClicked);
}

void OnSelectionChanged(GtkTreeSelection*, gpointer list) {
    ControlCommand(ControlOf(list)->Number, ControlNotification::ListSelectionChanged);
}

gboolean OnListButtonPress(GtkWidget* tree, GdkEventButton* event, gpointer list) {
    const int32_t number = ControlOf(list)->Number;
    if (event->window != gtk_tree_view_get_bin_window(GTK_TREE_VIEW(tree)) || event->button != 1) {
        return FALSE;
    }
    const bool onRow = gtk_tree_view_get_path_at_pos(
                           GTK_TREE_VIEW(tree), static_cast<int>(event->x),
                           static_cast<int>(event->y), nullptr, nullptr, nullptr, nullptr) != FALSE;
    if (event->type == GDK_BUTTON_PRESS) {
        const bool plain = (event->state & (GDK_SHIFT_MASK | GDK_CONTROL_MASK)) == 0;
        ListLeftPressed(number, static_cast<int32_t>(event->x), static_cast<int32_t>(event->y),
                        onRow, plain);
    } else if (event->type == GDK_2BUTTON_PRESS && onRow) {
        ControlCommand(number, ControlNotification::ListDoubleClicked);
    }
    return FALSE;
}

gboolean OnListMotion(GtkWidget*, GdkEventMotion* event, gpointer list) {
    ListPointerMoved(ControlOf(list)->Number, static_cast<int32_t>(event->x),
                     static_cast<int32_t>(event->y));
    return FALSE;
}

gboolean OnListButtonRelease(GtkWidget*, GdkEventButton* event, gpointer list) {
    if (event->button == 1) {
        ListLeftReleased(ControlOf(list)->Number);
    } else if (event->button == 3) {
        ListRightReleased(ControlOf(list)->Number);
    }
    return FALSE;
}

// Dialogs without an owner are what this tool shows before its window exists; GTK's
// note about them would only clutter the terminal.
void FilterGtkMessages(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (message != nullptr && std::strstr(message, "without a transient parent") != nullptr) {
        return;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

std::vector<Text> SplitPatterns(const Text& pattern) {
    std::vector<Text> result;
    size_t start = 0;
    while (start <= pattern.size()) {
        size_t end = pattern.find(u';', start);
        if (end == Text::npos) {
            end = pattern.size();
        }
        Text piece = pattern.substr(start, end - start);
        // Blanks around a Windows pattern mean nothing to a file name match.
        const size_t first = piece.find_first_not_of(u' ');
        const size_t last = piece.find_last_not_of(u' ');
        if (first != Text::npos) {
            result.push_back(piece.substr(first, last - first + 1));
        }
        start = end + 1;
    }
    return result;
}

class GtkPlatform : public Platform {
public:
    bool StartPlatform(std::string& why) override {
        if (!gtk_init_check(nullptr, nullptr)) {
            why = "cannot open a window: no display is available (is DISPLAY set?)";
            return false;
        }
        g_log_set_handler("Gtk", G_LOG_LEVEL_MESSAGE, FilterGtkMessages, nullptr);
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, ControlStyle, -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        return true;
    }

    void FinishPlatform() override {
        if (GdkDisplay* display = gdk_display_get_default()) {
            gdk_display_flush(display);
        }
    }

    PixelRect OuterRectForClient(int32_t clientWidth, int32_t clientHeight, uint32_t,
                                 uint32_t) override {
        // The frame belongs to the window manager and is unknown before the window is
        // on screen; the window itself is exactly its client area.
        return PixelRect{0, 0, clientWidth, clientHeight};
    }

    NativeHandle CreateTopLevel(const TopLevelParams& params) override {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        if (window == nullptr) {
            return nullptr;
        }
        auto* data = new TopLevelData();
        data->Number = params.Number;
        data->Style = params.Style;
        data->Requested =
            PixelRect{params.X, params.Y, params.X + params.OuterWidth, params.Y + params.OuterHeight};
        g_object_set_data_full(G_OBJECT(window), TopLevelKey, data,
                               [](gpointer p) { delete static_cast<TopLevelData*>(p); });

        gtk_window_set_title(GTK_WINDOW(window), Utf8(params.Title).c_str());
        const bool sizable = (params.Style & WindowStyle::ThickFrame) != 0;
        gtk_window_set_resizable(GTK_WINDOW(window), sizable ? TRUE : FALSE);
        if ((params.Style & WindowStyle::Caption) != WindowStyle::Caption) {
            gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
        }
        if ((params.ExStyle & WindowExStyle::ToolWindow) != 0) {
            gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_UTILITY);
        }
        if ((params.ExStyle & WindowExStyle::Topmost) != 0) {
            data->KeepAbove = true;
            gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
        }
        gtk_style_context_add_class(gtk_widget_get_style_context(window), ControlClass);

        data->Fixed = gtk_fixed_new();
        gtk_widget_set_size_request(data->Fixed, params.ClientWidth, params.ClientHeight);
        gtk_container_add(GTK_CONTAINER(window), data->Fixed);
        gtk_widget_show(data->Fixed);
        if (!params.PlatformPosition) {
            gtk_window_move(GTK_WINDOW(window), params.X, params.Y);
        }

        gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_STRUCTURE_MASK | GDK_KEY_PRESS_MASK);
        g_signal_connect(window, "realize", G_CALLBACK(ApplyWindowManagerHints), &lastActive_);
        g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), &lastActive_);
        g_signal_connect(window, "configure-event", G_CALLBACK(OnConfigure), &lastActive_);
        g_signal_connect(window, "window-state-event", G_CALLBACK(OnWindowState), &lastActive_);
        g_signal_connect(window, "notify::is-active", G_CALLBACK(OnActiveChanged), &lastActive_);
        g_signal_connect(window, "draw", G_CALLBACK(OnDraw), &lastActive_);
        g_signal_connect(window, "button-press-event", G_CALLBACK(OnWindowButtonPress),
                         &lastActive_);
        g_signal_connect(window, "button-release-event", G_CALLBACK(OnWindowButtonRelease),
                         &lastActive_);
        g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), &lastActive_);
        return window;
    }

    PixelRect TopLevelOuterRect(NativeHandle window) override {
        GtkWidget* w = static_cast<GtkWidget*>(window);
        GdkWindow* gdk = gtk_widget_get_window(w);
        if (gdk != nullptr && gtk_widget_get_mapped(w)) {
            GdkRectangle frame{};
            gdk_window_get_frame_extents(gdk, &frame);
            return PixelRect{frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
        }
        return TopLevelOf(w)->Requested;
    }

    PixelSize ScreenSize() override {
        GdkDisplay* display = gdk_display_get_default();
        GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
        if (monitor == nullptr) {
            monitor = gdk_display_get_monitor(display, 0);
        }
        if (monitor == nullptr) {
            return PixelSize{};
        }
        GdkRectangle area{};
        gdk_monitor_get_geometry(monitor, &area);
        return PixelSize{area.width, area.height};
    }

    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override {
        TopLevelData* data = TopLevelOf(window);
        data->Requested =
            PixelRect{x, y, x + data->Requested.Width(), y + data->Requested.Height()};
        gtk_window_move(GTK_WINDOW(window), x, y);
    }

    void ShowTopLevel(NativeHandle window, ShowMode mode) override {
        if (mode == ShowMode::NoActivate) {
            gtk_window_set_focus_on_map(GTK_WINDOW(window), FALSE);
            gtk_widget_show(GTK_WIDGET(window));
        } else {
            gtk_window_present(GTK_WINDOW(window));
        }
    }

    bool InstallAccelerators(NativeHandle window,
                             const std::vector<AcceleratorEntry>& entries) override {
        TopLevelOf(window)->Accelerators = entries;
        return true;
    }

    void DestroyTopLevel(NativeHandle window, int32_t) override {
        GtkWidget* w = static_cast<GtkWidget*>(window);
        if (lastActive_ == w) {
            lastActive_ = nullptr;
        }
        // Its own handlers go first: a window on its way out reports nothing more.
        g_signal_handlers_disconnect_matched(w, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                             &lastActive_);
        gtk_widget_destroy(w);
        gdk_display_flush(gdk_display_get_default());
    }

    void ActivateTopLevel(NativeHandle window) override { gtk_window_present(GTK_WINDOW(window)); }

    NativeHandle CreateControl(const ControlParams& params) override {
        TopLevelData* parent = params.Parent == nullptr ? nullptr : TopLevelOf(params.Parent);
        if (parent == nullptr) {
            return nullptr;
        }
        auto* data = new ControlData();
        data->Number = params.Number;
        data->Kind = params.Kind;
        GtkWidget* widget = nullptr;
        switch (params.Kind) {
        case ControlKind::Label: {
            widget = gtk_label_new(Utf8(params.Caption).c_str());
            gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
            gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
            // The size asked for wins over the text's own width.
            gtk_label_set_ellipsize(GTK_LABEL(widget), PANGO_ELLIPSIZE_END);
            gtk_style_context_add_class(gtk_widget_get_style_context(widget), ControlClass);
            break;
        }
        case ControlKind::List:
            widget = MakeList(*data);
            break;
        case ControlKind::Button: {
            widget = gtk_button_new_with_label(Utf8(params.Caption).c_str());
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
            if (GTK_IS_LABEL(label)) {
                gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
            }
            gtk_style_context_add_class(gtk_widget_get_style_context(widget), ControlClass);
            data->Focusable = widget;
            break;
        }
        }
        g_object_set_data_full(G_OBJECT(widget), ControlKey, data,
                               [](gpointer p) { delete static_cast<ControlData*>(p); });
        gtk_widget_set_size_request(widget, params.Width, params.Height);
        gtk_fixed_put(GTK_FIXED(parent->Fixed), widget, params.X, params.Y);
        g_signal_connect(widget, "destroy", G_CALLBACK(OnControlDestroy), nullptr);
        if (params.Kind == ControlKind::Button) {
            g_signal_connect(widget, "clicked", G_CALLBACK(OnButtonClicked), nullptr);
        }
        if ((params.Style & WindowStyle::Visible) != 0) {
            gtk_widget_show_all(widget);
        }
        return widget;
    }

    void DestroyControl(NativeHandle control) override {
        gtk_widget_destroy(static_cast<GtkWidget*>(control));
    }

    void AppendListRow(NativeHandle list, const Text& row) override {
        ControlData* data = ControlOf(list);
        if (data == nullptr || data->Rows == nullptr) {
            return;
        }
        gtk_list_store_insert_with_values(data->Rows, nullptr, -1, 0, Utf8(row).c_str(), -1);
    }

    uint32_t WaitPlatformMessage() override {
        gtk_main_iteration_do(TRUE);
        return MainLoopIteration;
    }

    NativeHandle FocusedControl() override {
        GtkWidget* window = ActiveTopLevel();
        if (window == nullptr) {
            // Right after a deactivation the window still knows its focused child.
            window = lastActive_;
        }
        if (window == nullptr) {
            return nullptr;
        }
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
        return focus == nullptr ? nullptr : ControlWidgetOf(focus);
    }

    bool ControlCanTakeFocus(NativeHandle control) override {
        GtkWidget* w = static_cast<GtkWidget*>(control);
        return gtk_widget_is_sensitive(w) && gtk_widget_is_visible(w);
    }

    void FocusControl(NativeHandle control) override {
        ControlData* data = ControlOf(control);
        GtkWidget* target = data != nullptr && data->Focusable != nullptr
                                ? data->Focusable
                                : static_cast<GtkWidget*>(control);
        gtk_widget_grab_focus(target);
    }

    void SetKeyboardCues(NativeHandle window, bool shown) override {
        gtk_window_set_focus_visible(GTK_WINDOW(window), shown ? TRUE : FALSE);
    }

    int32_t PathBufferUnits() override {
        // Paths on Linux are not bound to Windows' 260 units.
        return 4096;
    }

    bool RunOpenDialog(OpenDialogRequest& request) override;

    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                          uint32_t flags) override;

    NativeHandle ForegroundTopLevel() override { return ActiveTopLevel(); }

    bool TopLevelBelongsToProcess(NativeHandle) override {
        return true; // GTK shows no other process's windows
    }

    std::vector<NativeHandle> VisibleThreadTopLevels() override {
        std::vector<NativeHandle> result;
        GList* all = gtk_window_list_toplevels();
        for (GList* it = all; it != nullptr; it = it->next) {
            GtkWidget* w = GTK_WIDGET(it->data);
            if (gtk_widget_get_visible(w) &&
                gtk_window_get_window_type(GTK_WINDOW(w)) == GTK_WINDOW_TOPLEVEL) {
                result.push_back(w);
            }
        }
        g_list_free(all);
        return result;
    }

    bool TopLevelEnabled(NativeHandle window) override {
        return gtk_widget_get_sensitive(static_cast<GtkWidget*>(window)) != FALSE;
    }

    void EnableTopLevel(NativeHandle window, bool enabled) override {
        gtk_widget_set_sensitive(static_cast<GtkWidget*>(window), enabled ? TRUE : FALSE);
    }

    bool TopLevelIsTopmost(NativeHandle window) override {
        TopLevelData* data = TopLevelOf(window);
        return data != nullptr && data->KeepAbove;
    }

    void SetTopLevelTopmost(NativeHandle window, bool topmost) override {
        if (TopLevelData* data = TopLevelOf(window)) {
            data->KeepAbove = topmost;
        }
        gtk_window_set_keep_above(GTK_WINDOW(window), topmost ? TRUE : FALSE);
    }

    void CapturePointer(NativeHandle) override {
        // GTK grabs the pointer for the widget that got the press until the release.
    }

    void ReleasePointer() override {}

    PixelSize DragDistance() override {
        gint threshold = 8;
        g_object_get(gtk_settings_get_default(), "gtk-dnd-drag-threshold", &threshold, nullptr);
        return PixelSize{threshold, threshold};
    }

private:
    GtkWidget* MakeList(ControlData& data) {
        data.Rows = gtk_list_store_new(1, G_TYPE_STRING);
        GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(data.Rows));
        g_object_unref(data.Rows); // the view holds it from here on
        GtkCellRenderer* cell = gtk_cell_renderer_text_new();
        gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(tree), -1, "", cell, "text", 0,
                                                    nullptr);
        gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(tree), FALSE);
        gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), FALSE);
        GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(tree));
        gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
        gtk_style_context_add_class(gtk_widget_get_style_context(tree), ControlClass);

        GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
        // Rows wider than the list are cut, as the height never follows the rows.
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_EXTERNAL,
                                       GTK_POLICY_AUTOMATIC);
        gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroller), FALSE);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(scroller), tree);
        data.Focusable = tree;

        gtk_widget_add_events(tree, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                        GDK_POINTER_MOTION_MASK);
        g_signal_connect(selection, "changed", G_CALLBACK(OnSelectionChanged), scroller);
        g_signal_connect(tree, "button-press-event", G_CALLBACK(OnListButtonPress), scroller);
        g_signal_connect(tree, "button-release-event", G_CALLBACK(OnListButtonRelease), scroller);
        g_signal_connect(tree, "motion-notify-event", G_CALLBACK(OnListMotion), scroller);
        return scroller;
    }

    GtkWidget* ActiveTopLevel() {
        GtkWidget* active = nullptr;
        GList* all = gtk_window_list_toplevels();
        for (GList* it = all; it != nullptr; it = it->next) {
            if (gtk_window_is_active(GTK_WINDOW(it->data))) {
                active = GTK_WIDGET(it->data);
            }
        }
        g_list_free(all);
        return active;
    }

    GtkWidget* lastActive_ = nullptr;
};

struct DialogSize {
    PixelSize Size;
    PixelSize Screen;
    bool Centre = false; // no owner to centre on
};

// Dialogs stand in the middle of their owner, or of the screen when they have none.
GtkWindowPosition PositionFor(NativeHandle owner) {
    return owner == nullptr ? GTK_WIN_POS_CENTER : GTK_WIN_POS_CENTER_ON_PARENT;
}

// Finds the file chooser widget inside the dialog, to put a name into its location field.
GtkWidget* FindChooserWidget(GtkWidget* widget) {
    if (GTK_IS_FILE_CHOOSER_WIDGET(widget)) {
        return widget;
    }
    if (!GTK_IS_CONTAINER(widget)) {
        return nullptr;
    }
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* it = children; it != nullptr && found == nullptr; it = it->next) {
        found = FindChooserWidget(GTK_WIDGET(it->data));
    }
    g_list_free(children);
    return found;
}

// The chooser sizes itself from its saved or its own default size when it is realized
// and again when it is mapped; without a window manager to limit that, it can be
// larger than the screen. Ours comes after both.
void SetDialogSize(GtkWidget* dialog, gpointer size) {
    const DialogSize* s = static_cast<const DialogSize*>(size);
    gtk_window_resize(GTK_WINDOW(dialog), s->Size.Width, s->Size.Height);
    if (s->Centre && gtk_widget_get_mapped(dialog)) {
        const CentredPosition at =
            ScreenCentredPosition(PixelRect{0, 0, s->Size.Width, s->Size.Height}, s->Screen);
        gtk_window_move(GTK_WINDOW(dialog), at.X, at.Y);
    }
}

// The chooser's name field, with the name in it: Enter then opens that file. The
// field is opened empty and filled without the chooser hearing of it: told of a typed
// name, it would clear its list's selection, and clearing the selection empties the
// field again when the folder has just been read and the name is the one selected.
void PutNameIntoField(GtkWidget* dialog, gpointer name) {
    GtkWidget* chooser = FindChooserWidget(dialog);
    if (chooser == nullptr) {
        return;
    }
    g_signal_emit_by_name(chooser, "location-popup", "");
    GtkWidget* field = gtk_window_get_focus(GTK_WINDOW(dialog));
    if (field == nullptr || !GTK_IS_ENTRY(field)) {
        return;
    }
    g_signal_handlers_block_matched(field, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, chooser);
    gtk_entry_set_text(GTK_ENTRY(field), static_cast<const std::string*>(name)->c_str());
    gtk_editable_set_position(GTK_EDITABLE(field), -1);
    g_signal_handlers_unblock_matched(field, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, chooser);
}

bool GtkPlatform::RunOpenDialog(OpenDialogRequest& request) {
    GtkWindow* owner = request.Owner == nullptr ? nullptr : GTK_WINDOW(request.Owner);
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        Utf8(request.Title).c_str(), owner, GTK_FILE_CHOOSER_ACTION_OPEN,
        g_dgettext("gtk30", "_Cancel"), GTK_RESPONSE_CANCEL, g_dgettext("gtk30", "_Open"),
        GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), PositionFor(request.Owner));
    const PixelSize screen = ScreenSize();
    DialogSize size{{std::min(760, screen.Width * 9 / 10), std::min(540, screen.Height * 9 / 10)},
                    screen,
                    request.Owner == nullptr};
    g_signal_connect_after(dialog, "realize", G_CALLBACK(SetDialogSize), &size);
    g_signal_connect_after(dialog, "map", G_CALLBACK(SetDialogSize), &size);

    std::vector<GtkFileFilter*> filters;
    for (const FileFilter& pair : request.Filters) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, Utf8(pair.Description).c_str());
        for (const Text& pattern : SplitPatterns(pair.Pattern)) {
            gtk_file_filter_add_pattern(filter, Utf8(pattern).c_str());
        }
        gtk_file_chooser_add_filter(chooser, filter); // the chooser owns it
        filters.push_back(filter);
    }
    if (request.FilterIndex >= 1 && request.FilterIndex <= static_cast<int32_t>(filters.size())) {
        gtk_file_chooser_set_filter(chooser, filters[request.FilterIndex - 1]);
    }

    // No folder, or an empty one: the platform's choice, which here is the folder the
    // program was started in.
    gchar* here = g_get_current_dir();
    const std::string folder = request.HasInitialFolder && !request.InitialFolder.empty()
                                   ? Utf8(request.InitialFolder)
                                   : std::string(here);
    g_free(here);
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());

    const Text name = request.PathBuffer.substr(0, request.PathBuffer.find(u'\0'));
    std::string preselected;
    if (!name.empty()) {
        gchar* full = g_build_filename(folder.c_str(), Utf8(name).c_str(), nullptr);
        // Selected in the list, and in the name field once the dialog is up.
        if (g_file_test(full, G_FILE_TEST_IS_REGULAR)) {
            gtk_file_chooser_select_filename(chooser, full);
            preselected = Utf8(name);
        }
        g_free(full);
    }
    if (!preselected.empty()) {
        // The name goes into the name field once the dialog is on screen: mapping
        // restores the chooser's saved mode, which would take it out again.
        g_signal_connect_after(dialog, "map", G_CALLBACK(PutNameIntoField), &preselected);
    }

    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    bool chosen = false;
    if (response == GTK_RESPONSE_ACCEPT) {
        gchar* path = gtk_file_chooser_get_filename(chooser);
        if (path != nullptr) {
            gchar* utf8 = g_filename_to_utf8(path, -1, nullptr, nullptr, nullptr);
            if (utf8 != nullptr) {
                const Text chosenPath = Utf8ToText(utf8);
                // A path that does not fit is a failure of the dialog, as on Windows.
                if (!chosenPath.empty() && chosenPath.size() < request.PathBuffer.size()) {
                    std::fill(request.PathBuffer.begin(), request.PathBuffer.end(), u'\0');
                    std::copy(chosenPath.begin(), chosenPath.end(), request.PathBuffer.begin());
                    chosen = true;
                }
                g_free(utf8);
            }
            g_free(path);
        }
        GtkFileFilter* selected = gtk_file_chooser_get_filter(chooser);
        const auto it = std::find(filters.begin(), filters.end(), selected);
        if (chosen && it != filters.end()) {
            request.FilterIndex = static_cast<int32_t>(it - filters.begin()) + 1;
        }
    }
    gtk_widget_destroy(dialog);
    // Let the dialog leave the screen before the program goes on.
    while (gtk_events_pending()) {
        gtk_main_iteration_do(FALSE);
    }
    return chosen;
}

int32_t GtkPlatform::RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                                   uint32_t flags) {
    // The button set and the icon from the flags (MB_OK and no icon for this tool).
    GtkButtonsType buttons = GTK_BUTTONS_OK;
    switch (flags & 0xF) {
    case 1: // MB_OKCANCEL
        buttons = GTK_BUTTONS_OK_CANCEL;
        break;
    case 4: // MB_YESNO
        buttons = GTK_BUTTONS_YES_NO;
        break;
    default:
        break;
    }
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (flags & 0xF0) {
    case 0x10:
        type = GTK_MESSAGE_ERROR;
        break;
    case 0x20:
        type = GTK_MESSAGE_QUESTION;
        break;
    case 0x30:
        type = GTK_MESSAGE_WARNING;
        break;
    case 0x40:
        type = GTK_MESSAGE_INFO;
        break;
    default:
        break;
    }
    GtkWidget* box =
        gtk_message_dialog_new(owner == nullptr ? nullptr : GTK_WINDOW(owner), GTK_DIALOG_MODAL,
                               type, buttons, "%s", Utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), Utf8(title).c_str());
    gtk_window_set_position(GTK_WINDOW(box), PositionFor(owner));
    const gint response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    while (gtk_events_pending()) {
        gtk_main_iteration_do(FALSE);
    }
    switch (response) {
    case GTK_RESPONSE_CANCEL:
        return 2; // IDCANCEL
    case GTK_RESPONSE_YES:
        return 6; // IDYES
    case GTK_RESPONSE_NO:
        return 7; // IDNO
    default:
        // OK, or the box closed some other way: a box with one OK button gives OK.
        return buttons == GTK_BUTTONS_OK ? 1 : 2;
    }
}

} // namespace

std::unique_ptr<Platform> MakeGtkPlatform() {
    return std::make_unique<GtkPlatform>();
}

} // namespace rz
