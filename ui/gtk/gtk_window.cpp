// Top-level windows: one GtkWindow holding a GtkFixed per window, its signals handed to
// the layer's entry points, its frame asked of the window manager.
#include "ui/gtk/gtk_private.hpp"

namespace rz::gtk {

namespace {

// Tags every handler we connect to a window, so that they can all go at once.
int windowHandlers = 0;
GtkWidget* lastActive = nullptr;

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
    const auto became = [event, now](GdkWindowState state) {
        return (event->changed_mask & state) != 0 && (now & state) != 0;
    };
    if (became(GDK_WINDOW_STATE_ICONIFIED)) {
        data->MinimizedOrMaximized = true;
        WindowSizeChanged(data->Number, SizeChange::Minimized);
    } else if (became(GDK_WINDOW_STATE_MAXIMIZED)) {
        data->MinimizedOrMaximized = true;
        WindowSizeChanged(data->Number, SizeChange::Maximized);
    } else if (data->MinimizedOrMaximized &&
               (now & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED)) == 0) {
        data->MinimizedOrMaximized = false;
        WindowSizeChanged(data->Number, SizeChange::Restored);
    }
    return FALSE;
}

void OnActiveChanged(GObject* window, GParamSpec*, gpointer) {
    TopLevelData* data = TopLevelOf(window);
    if (gtk_window_is_active(GTK_WINDOW(window))) {
        lastActive = GTK_WIDGET(window);
        WindowActivated(data->Number);
    } else {
        WindowDeactivated(data->Number);
    }
}

// A window manager adds its frame only once the window is on screen: a window placed
// before that is moved once so that its frame stands where the layer placed the client
// area, middle on middle (the layer centres windows by their outer rectangle).
gboolean OnMapped(GtkWidget* window, GdkEvent*, gpointer) {
    TopLevelData* data = TopLevelOf(window);
    if (!data->PlacedWithoutFrame) {
        return FALSE;
    }
    data->PlacedWithoutFrame = false;
    GdkRectangle frame{};
    gdk_window_get_frame_extents(gtk_widget_get_window(window), &frame);
    const PixelRect& placed = data->Requested;
    const int x = placed.Left + (placed.Width() - frame.width) / 2;
    const int y = placed.Top + (placed.Height() - frame.height) / 2;
    if (frame.x != x || frame.y != y) {
        gtk_window_move(GTK_WINDOW(window), x, y);
    }
    return FALSE;
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

// The window manager draws the frame: it offers what the style asks for, and never a
// sizing border or a minimize or maximize box (the window has a fixed size).
void ApplyWindowManagerHints(GtkWidget* window, gpointer) {
    const uint32_t style = TopLevelOf(window)->Style;
    int functions = GDK_FUNC_MOVE;
    int decorations = 0;
    if ((style & WindowStyle::Caption) == WindowStyle::Caption) {
        decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    }
    if ((style & WindowStyle::SysMenu) != 0) {
        functions |= GDK_FUNC_CLOSE;
        decorations |= GDK_DECOR_MENU;
    }
    GdkWindow* gdk = gtk_widget_get_window(window);
    gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(gdk, static_cast<GdkWMDecoration>(decorations));
}

void ConnectWindowSignals(GtkWidget* window) {
    gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_STRUCTURE_MASK | GDK_KEY_PRESS_MASK);
    const struct {
        const char* Signal;
        GCallback Handler;
    } handlers[] = {
        {"realize", G_CALLBACK(ApplyWindowManagerHints)},
        {"delete-event", G_CALLBACK(OnDelete)},
        {"configure-event", G_CALLBACK(OnConfigure)},
        {"map-event", G_CALLBACK(OnMapped)},
        {"window-state-event", G_CALLBACK(OnWindowState)},
        {"notify::is-active", G_CALLBACK(OnActiveChanged)},
        {"draw", G_CALLBACK(OnDraw)},
        {"button-press-event", G_CALLBACK(OnWindowButtonPress)},
        {"button-release-event", G_CALLBACK(OnWindowButtonRelease)},
        {"key-press-event", G_CALLBACK(OnKeyPress)},
    };
    for (const auto& h : handlers) {
        g_signal_connect(window, h.Signal, h.Handler, &windowHandlers);
    }
}

} // namespace

GtkWidget* ActiveTopLevel() {
    GtkWidget* active = nullptr;
    const GListOwner all(gtk_window_list_toplevels());
    for (GList* it = all.get(); it != nullptr; it = it->next) {
        if (gtk_window_is_active(GTK_WINDOW(it->data))) {
            active = GTK_WIDGET(it->data);
        }
    }
    return active;
}

GtkWidget* LastActiveTopLevel() {
    return lastActive;
}

PixelRect GtkPlatform::OuterRectForClient(int32_t clientWidth, int32_t clientHeight, uint32_t) {
    // The frame belongs to the window manager and is unknown before the window is on
    // screen; the window itself is exactly its client area.
    return PixelRect{0, 0, clientWidth, clientHeight};
}

NativeHandle GtkPlatform::CreateTopLevel(const TopLevelParams& params) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (window == nullptr) {
        return nullptr;
    }
    auto* data = new TopLevelData();
    data->Number = params.Number;
    data->Style = params.Style;
    data->Requested =
        PixelRect{params.X, params.Y, params.X + params.OuterWidth, params.Y + params.OuterHeight};
    AttachTopLevelData(window, data);

    gtk_window_set_title(GTK_WINDOW(window), Utf8(params.Title).c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    if ((params.Style & WindowStyle::Caption) != WindowStyle::Caption) {
        gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    }
    gtk_style_context_add_class(gtk_widget_get_style_context(window), ControlClass);

    data->Fixed = gtk_fixed_new();
    gtk_widget_set_size_request(data->Fixed, params.ClientWidth, params.ClientHeight);
    gtk_container_add(GTK_CONTAINER(window), data->Fixed);
    gtk_widget_show(data->Fixed);
    if (!params.PlatformPosition) {
        gtk_window_move(GTK_WINDOW(window), params.X, params.Y);
    }
    ConnectWindowSignals(window);
    return window;
}

PixelRect GtkPlatform::TopLevelOuterRect(NativeHandle window) {
    GtkWidget* w = static_cast<GtkWidget*>(window);
    GdkWindow* gdk = gtk_widget_get_window(w);
    if (gdk != nullptr && gtk_widget_get_mapped(w)) {
        GdkRectangle frame{};
        gdk_window_get_frame_extents(gdk, &frame);
        return PixelRect{frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
    }
    return TopLevelOf(w)->Requested;
}

PixelSize GtkPlatform::ScreenSize() {
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

void GtkPlatform::MoveTopLevel(NativeHandle window, int32_t x, int32_t y) {
    TopLevelData* data = TopLevelOf(window);
    const PixelRect outer = TopLevelOuterRect(window);
    data->Requested = PixelRect{x, y, x + outer.Width(), y + outer.Height()};
    data->PlacedWithoutFrame = !gtk_widget_get_mapped(static_cast<GtkWidget*>(window));
    gtk_window_move(GTK_WINDOW(window), x, y);
}

void GtkPlatform::ShowTopLevel(NativeHandle window) {
    gtk_window_present(GTK_WINDOW(window));
}

void GtkPlatform::DestroyTopLevel(NativeHandle window) {
    GtkWidget* w = static_cast<GtkWidget*>(window);
    if (lastActive == w) {
        lastActive = nullptr;
    }
    // Its own handlers go first: a window on its way out reports nothing more.
    g_signal_handlers_disconnect_matched(w, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         &windowHandlers);
    gtk_widget_destroy(w);
    gdk_display_flush(gdk_display_get_default());
}

NativeHandle GtkPlatform::ForegroundTopLevel() {
    return ActiveTopLevel();
}

bool GtkPlatform::TopLevelBelongsToProcess(NativeHandle) {
    return true; // GTK shows no other process's windows
}

std::vector<NativeHandle> GtkPlatform::VisibleThreadTopLevels() {
    std::vector<NativeHandle> result;
    const GListOwner all(gtk_window_list_toplevels());
    for (GList* it = all.get(); it != nullptr; it = it->next) {
        GtkWidget* w = GTK_WIDGET(it->data);
        if (gtk_widget_get_visible(w) &&
            gtk_window_get_window_type(GTK_WINDOW(w)) == GTK_WINDOW_TOPLEVEL) {
            result.push_back(w);
        }
    }
    return result;
}

bool GtkPlatform::TopLevelEnabled(NativeHandle window) {
    return gtk_widget_get_sensitive(static_cast<GtkWidget*>(window)) != FALSE;
}

void GtkPlatform::EnableTopLevel(NativeHandle window, bool enabled) {
    gtk_widget_set_sensitive(static_cast<GtkWidget*>(window), enabled ? TRUE : FALSE);
}

bool GtkPlatform::TopLevelIsTopmost(NativeHandle window) {
    const TopLevelData* data = TopLevelOf(window);
    return data != nullptr && data->KeepAbove;
}

void GtkPlatform::SetTopLevelTopmost(NativeHandle window, bool topmost) {
    if (TopLevelData* data = TopLevelOf(window)) {
        data->KeepAbove = topmost;
    }
    gtk_window_set_keep_above(GTK_WINDOW(window), topmost ? TRUE : FALSE);
}

} // namespace rz::gtk
