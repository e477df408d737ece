// Labels, lists and push buttons, placed at exact pixels in their window's GtkFixed,
// their signals handed to the layer's entry points.
#include "ui/gtk/gtk_private.hpp"

namespace rz::gtk {

namespace {

void OnControlDestroy(GtkWidget* widget, gpointer) {
    ControlDestroyed(ControlOf(widget)->Number, widget);
}

void OnButtonClicked(GtkButton* button, gpointer) {
    ControlCommand(ControlOf(button)->Number, ControlNotification::ButtonClicked);
}

void OnSelectionChanged(GtkTreeSelection*, gpointer list) {
    const ControlData* data = ControlOf(list);
    if (!data->FocusArriving) {
        ControlCommand(data->Number, ControlNotification::ListSelectionChanged);
    }
}

// A tree view selects the row under its cursor when it gets the focus; a list on
// Windows does not, and neither does ours.
gboolean AllowSelection(GtkTreeSelection*, GtkTreeModel*, GtkTreePath*, gboolean, gpointer list) {
    return ControlOf(list)->FocusArriving ? FALSE : TRUE;
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

GtkWidget* MakeLabel(const ControlParams& params) {
    GtkWidget* label = gtk_label_new(Utf8(params.Caption).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    // The size asked for wins over the text's own width.
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_style_context_add_class(gtk_widget_get_style_context(label), ControlClass);
    return label;
}

GtkWidget* MakeButton(const ControlParams& params, ControlData& data) {
    GtkWidget* button = gtk_button_new_with_label(Utf8(params.Caption).c_str());
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (GTK_IS_LABEL(label)) {
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    }
    gtk_style_context_add_class(gtk_widget_get_style_context(button), ControlClass);
    g_signal_connect(button, "clicked", G_CALLBACK(OnButtonClicked), nullptr);
    data.Focusable = button;
    return button;
}

// A one-column tree view without headers in a scrolled window; the scrolled window is
// the control, the tree view takes the focus.
GtkWidget* MakeList(ControlData& data) {
    data.Rows = gtk_list_store_new(1, G_TYPE_STRING);
    GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(data.Rows));
    g_object_unref(data.Rows); // the view holds it from here on
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(tree), -1, "", cell, "text", 0,
                                                nullptr);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(tree), FALSE);
    gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(tree), ControlClass);

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    // Rows wider than the list are cut, as the height never follows the rows.
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_EXTERNAL,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroller), FALSE);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroller), tree);
    data.Focusable = tree;

    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(tree));
    gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
    gtk_tree_selection_set_select_function(selection, AllowSelection, scroller, nullptr);
    gtk_widget_add_events(tree, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                    GDK_POINTER_MOTION_MASK);
    g_signal_connect(selection, "changed", G_CALLBACK(OnSelectionChanged), scroller);
    g_signal_connect(tree, "button-press-event", G_CALLBACK(OnListButtonPress), scroller);
    g_signal_connect(tree, "button-release-event", G_CALLBACK(OnListButtonRelease), scroller);
    g_signal_connect(tree, "motion-notify-event", G_CALLBACK(OnListMotion), scroller);
    return scroller;
}

} // namespace

NativeHandle GtkPlatform::CreateControl(const ControlParams& params) {
    TopLevelData* parent = params.Parent == nullptr ? nullptr : TopLevelOf(params.Parent);
    if (parent == nullptr) {
        return nullptr;
    }
    auto* data = new ControlData();
    data->Number = params.Number;
    GtkWidget* widget = nullptr;
    switch (params.Kind) {
    case ControlKind::Label:
        widget = MakeLabel(params);
        break;
    case ControlKind::List:
        widget = MakeList(*data);
        break;
    case ControlKind::Button:
        widget = MakeButton(params, *data);
        break;
    }
    AttachControlData(widget, data);
    gtk_widget_set_size_request(widget, params.Width, params.Height);
    gtk_fixed_put(GTK_FIXED(parent->Fixed), widget, params.X, params.Y);
    g_signal_connect(widget, "destroy", G_CALLBACK(OnControlDestroy), nullptr);
    gtk_widget_show_all(widget);
    return widget;
}

void GtkPlatform::DestroyControl(NativeHandle control) {
    gtk_widget_destroy(static_cast<GtkWidget*>(control));
}

void GtkPlatform::AppendListRow(NativeHandle list, const Text& row) {
    const ControlData* data = ControlOf(list);
    if (data == nullptr || data->Rows == nullptr) {
        return;
    }
    gtk_list_store_insert_with_values(data->Rows, nullptr, -1, 0, Utf8(row).c_str(), -1);
}

void GtkPlatform::CapturePointer(NativeHandle) {
    // GTK grabs the pointer for the widget that got the press until the release.
}

void GtkPlatform::ReleasePointer() {}

PixelSize GtkPlatform::DragDistance() {
    gint threshold = 8;
    g_object_get(gtk_settings_get_default(), "gtk-dnd-drag-threshold", &threshold, nullptr);
    return PixelSize{threshold, threshold};
}

} // namespace rz::gtk
