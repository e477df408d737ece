// The two modal dialogs: a file chooser for the open dialog, and a message box.
#include "ui/gtk/gtk_private.hpp"
#include "ui/window_layer.hpp"

#include <algorithm>

namespace rz::gtk {

namespace {

// IDOK: what a box with its one OK button gives however it is closed, as on Windows.
constexpr int32_t OkButton = 1;

struct DialogSize {
    PixelSize Size;
    PixelSize Screen;
    bool Centre = false; // no owner to centre on
};

// Dialogs stand in the middle of their owner, or of the screen when they have none.
GtkWindowPosition PositionFor(NativeHandle owner) {
    return owner == nullptr ? GTK_WIN_POS_CENTER : GTK_WIN_POS_CENTER_ON_PARENT;
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

// The file chooser widget inside the dialog, whose name field takes the starting name.
GtkWidget* FindChooserWidget(GtkWidget* widget) {
    if (GTK_IS_FILE_CHOOSER_WIDGET(widget)) {
        return widget;
    }
    if (!GTK_IS_CONTAINER(widget)) {
        return nullptr;
    }
    const GListOwner children(gtk_container_get_children(GTK_CONTAINER(widget)));
    GtkWidget* found = nullptr;
    for (GList* it = children.get(); it != nullptr && found == nullptr; it = it->next) {
        found = FindChooserWidget(GTK_WIDGET(it->data));
    }
    return found;
}

// The chooser's name field, with the name in it: Enter then opens that file, or names
// one that does not exist, which the load then reports. The field is opened empty and
// filled without the chooser hearing of it: told of a typed name, it would clear its
// list's selection, and clearing the selection empties the field again when the folder
// has just been read and the name is the one selected.
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

GtkWidget* MakeChooser(const OpenDialogRequest& request, DialogSize& size) {
    GtkWindow* owner = request.Owner == nullptr ? nullptr : GTK_WINDOW(request.Owner);
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        Utf8(request.Title).c_str(), owner, GTK_FILE_CHOOSER_ACTION_OPEN,
        g_dgettext("gtk30", "_Cancel"), GTK_RESPONSE_CANCEL, g_dgettext("gtk30", "_Open"),
        GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), PositionFor(request.Owner));
    size.Size = PixelSize{std::min(760, size.Screen.Width * 9 / 10),
                          std::min(540, size.Screen.Height * 9 / 10)};
    size.Centre = request.Owner == nullptr;
    g_signal_connect_after(dialog, "realize", G_CALLBACK(SetDialogSize), &size);
    g_signal_connect_after(dialog, "map", G_CALLBACK(SetDialogSize), &size);
    return dialog;
}

// The patterns of one filter, split at ";" as Windows does; blanks around a pattern
// mean nothing to a file name match.
std::vector<std::string> SplitPatterns(const Text& pattern) {
    std::vector<std::string> result;
    for (size_t start = 0; start <= pattern.size();) {
        const size_t end = std::min(pattern.find(u';', start), pattern.size());
        const Text piece = pattern.substr(start, end - start);
        const size_t first = piece.find_first_not_of(u' ');
        if (first != Text::npos) {
            result.push_back(Utf8(piece.substr(first, piece.find_last_not_of(u' ') - first + 1)));
        }
        start = end + 1;
    }
    return result;
}

void AddFilters(GtkFileChooser* chooser, const OpenDialogRequest& request) {
    for (size_t i = 0; i < request.Filters.size(); ++i) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, Utf8(request.Filters[i].Description).c_str());
        for (const std::string& pattern : SplitPatterns(request.Filters[i].Pattern)) {
            gtk_file_filter_add_pattern(filter, pattern.c_str());
        }
        gtk_file_chooser_add_filter(chooser, filter); // the chooser owns it
        if (static_cast<int32_t>(i) + 1 == request.FilterIndex) {
            gtk_file_chooser_set_filter(chooser, filter);
        }
    }
}

// No folder, or an empty one: the platform's choice, which here is the folder the
// program was started in.
std::string StartFolder(const OpenDialogRequest& request) {
    if (request.HasInitialFolder && !request.InitialFolder.empty()) {
        return Utf8(request.InitialFolder);
    }
    const GCharOwner here(g_get_current_dir());
    return here.get();
}

// The name is selected in the list when the file exists, and in the name field in any
// case once the dialog is on screen: mapping restores the chooser's saved mode, which
// would take it out again.
void OfferName(GtkWidget* dialog, const std::string& folder, const std::string& name) {
    const GCharOwner full(g_build_filename(folder.c_str(), name.c_str(), nullptr));
    if (g_file_test(full.get(), G_FILE_TEST_IS_REGULAR)) {
        gtk_file_chooser_select_filename(GTK_FILE_CHOOSER(dialog), full.get());
    }
    g_signal_connect_after(dialog, "map", G_CALLBACK(PutNameIntoField),
                           const_cast<std::string*>(&name));
}

Text ChosenPath(GtkFileChooser* chooser) {
    const GCharOwner path(gtk_file_chooser_get_filename(chooser));
    if (path == nullptr) {
        return Text();
    }
    const GCharOwner utf8(g_filename_to_utf8(path.get(), -1, nullptr, nullptr, nullptr));
    return utf8 == nullptr ? Text() : Utf8ToText(utf8.get());
}

} // namespace

Text GtkPlatform::RunOpenDialog(const OpenDialogRequest& request) {
    DialogSize size{{}, ScreenSize(), false};
    const DialogGuard dialog(MakeChooser(request, size));
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
    AddFilters(chooser, request);
    const std::string folder = StartFolder(request);
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());
    const std::string name = Utf8(request.FileName);
    if (!name.empty()) {
        OfferName(dialog.get(), folder, name);
    }
    if (gtk_dialog_run(GTK_DIALOG(dialog.get())) != GTK_RESPONSE_ACCEPT) {
        return Text();
    }
    return ChosenPath(chooser);
}

int32_t GtkPlatform::RunMessageBox(NativeHandle owner, const Text& title, const Text& text) {
    const DialogGuard box(gtk_message_dialog_new(owner == nullptr ? nullptr : GTK_WINDOW(owner),
                                                 GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                                 GTK_BUTTONS_OK, "%s", Utf8(text).c_str()));
    gtk_window_set_title(GTK_WINDOW(box.get()), Utf8(title).c_str());
    gtk_window_set_position(GTK_WINDOW(box.get()), PositionFor(owner));
    gtk_dialog_run(GTK_DIALOG(box.get()));
    return OkButton;
}

} // namespace rz::gtk
