// GTK 3 under the portable layers: start and end, the message loop, and what the other
// files of the backend share. Nothing here decides anything the other platforms would
// have to decide again.
#include "ui/gtk/gtk_platform.hpp"

#include "ui/gtk/gtk_private.hpp"

#include <cstring>

namespace rz {

namespace gtk {

namespace {

constexpr const char* TopLevelKey = "rezurudev-top-level";
constexpr const char* ControlKey = "rezurudev-control";

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

// Dialogs without an owner are what this tool shows before its window exists; GTK's
// note about them would only clutter the terminal.
void FilterGtkMessages(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (message != nullptr && std::strstr(message, "without a transient parent") != nullptr) {
        return;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

TopLevelData* TopLevelOf(gpointer widget) {
    return static_cast<TopLevelData*>(g_object_get_data(G_OBJECT(widget), TopLevelKey));
}

ControlData* ControlOf(gpointer widget) {
    return static_cast<ControlData*>(g_object_get_data(G_OBJECT(widget), ControlKey));
}

void AttachTopLevelData(GtkWidget* window, TopLevelData* data) {
    g_object_set_data_full(G_OBJECT(window), TopLevelKey, data,
                           [](gpointer p) { delete static_cast<TopLevelData*>(p); });
}

void AttachControlData(GtkWidget* control, ControlData* data) {
    g_object_set_data_full(G_OBJECT(control), ControlKey, data,
                           [](gpointer p) { delete static_cast<ControlData*>(p); });
}

void DrainPendingEvents() {
    while (gtk_events_pending()) {
        gtk_main_iteration_do(FALSE);
    }
}

DialogGuard::~DialogGuard() {
    gtk_widget_destroy(dialog_);
    DrainPendingEvents();
}

bool GtkPlatform::StartPlatform(std::string& why) {
    if (!gtk_init_check(nullptr, nullptr)) {
        why = "Das Fenster kann nicht geöffnet werden: keine Anzeige verfügbar "
              "(ist DISPLAY gesetzt?)";
        return false;
    }
    g_log_set_handler("Gtk", G_LOG_LEVEL_MESSAGE, FilterGtkMessages, nullptr);
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, ControlStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    // The installed theme icon; without a desktop that matches windows to their menu
    // entry, the window would otherwise show none.
    gtk_window_set_default_icon_name("rezurudev");
    return true;
}

void GtkPlatform::FinishPlatform() {
    if (GdkDisplay* display = gdk_display_get_default()) {
        gdk_display_flush(display);
    }
}

uint32_t GtkPlatform::WaitPlatformMessage() {
    gtk_main_iteration_do(TRUE);
    return MainLoopIteration;
}

} // namespace gtk

std::unique_ptr<Platform> MakeGtkPlatform() {
    return std::make_unique<gtk::GtkPlatform>();
}

} // namespace rz
