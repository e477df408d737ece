#include "ui/platform_dialogs.hpp"

#include <algorithm>
#include <thread>

namespace rz {

namespace {

// No OFN_FILEMUSTEXIST: a file that does not exist may be named in an existing folder,
// and the load reports it.
constexpr uint32_t OpenDialogOptions =
    OpenDialogOption::Explorer | OpenDialogOption::PathMustExist | OpenDialogOption::NoChangeDir |
    OpenDialogOption::HideReadOnly; // 0x8080C

struct SuspendedWindow {
    std::thread::id Thread;
    NativeHandle Window = nullptr;
    bool WasTopmost = false;
    bool DisabledByGuard = false;
};

std::vector<SuspendedWindow>& SuspendedWindowList() {
    static std::vector<SuspendedWindow> list;
    return list;
}

// Runs a modal dialog inside the guard, so that no window of ours takes input meanwhile.
template <typename Dialog> auto Guarded(Dialog dialog) {
    SuspendOtherWindows();
    auto result = dialog();
    ResumeOtherWindows();
    return result;
}

} // namespace

std::vector<FileFilter> FilterPairs(const Text& filter) {
    std::vector<Text> pieces;
    for (size_t start = 0; !filter.empty() && start <= filter.size();) {
        const size_t bar = std::min(filter.find(u'|', start), filter.size());
        pieces.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<FileFilter> pairs;
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) {
        pairs.push_back(FileFilter{pieces[i], pieces[i + 1]});
    }
    return pairs;
}

DefaultFileParts SplitDefaultFile(const Text& defaultFile, char16_t separator) {
    DefaultFileParts parts;
    if (defaultFile.empty()) {
        return parts;
    }
    parts.HasFolder = true; // present, though perhaps empty: the folder the program started in
    const size_t last = defaultFile.rfind(separator);
    if (last != Text::npos && (last > 0 || separator == u'/')) {
        parts.Folder = last > 0 ? defaultFile.substr(0, last) : Text(u"/");
        parts.Name = defaultFile.substr(last + 1);
    } else {
        parts.Name = defaultFile;
    }
    return parts;
}

bool IsPlainFileName(const Text& name) {
    if (name.empty()) {
        return false;
    }
    static const Text forbidden = u"\"\\/:*?<>|";
    return std::none_of(name.begin(), name.end(), [](char16_t unit) {
        return unit < 0x20 || forbidden.find(unit) != Text::npos;
    });
}

NativeHandle ModalOwnerWindow() {
    Platform& platform = CurrentPlatform();
    NativeHandle foreground = platform.ForegroundTopLevel();
    if (foreground != nullptr && platform.TopLevelBelongsToProcess(foreground)) {
        return foreground;
    }
    return nullptr;
}

void SuspendOtherWindows() {
    Platform& platform = CurrentPlatform();
    const std::thread::id thread = std::this_thread::get_id();
    NativeHandle foreground = platform.ForegroundTopLevel();
    auto& list = SuspendedWindowList();
    for (NativeHandle window : platform.VisibleThreadTopLevels()) {
        SuspendedWindow entry{thread, window, platform.TopLevelIsTopmost(window), false};
        // The foreground window stays usable: it owns the dialog.
        if (window != foreground && platform.TopLevelEnabled(window)) {
            entry.DisabledByGuard = true;
            platform.EnableTopLevel(window, false);
        }
        list.push_back(entry);
    }
    // A topmost window of ours would stand in front of the dialog.
    for (const SuspendedWindow& entry : list) {
        if (entry.Thread == thread && entry.WasTopmost) {
            platform.SetTopLevelTopmost(entry.Window, false);
        }
    }
}

void ResumeOtherWindows() {
    Platform& platform = CurrentPlatform();
    const std::thread::id thread = std::this_thread::get_id();
    auto& list = SuspendedWindowList();
    for (const SuspendedWindow& entry : list) {
        if (entry.Thread != thread) {
            continue;
        }
        if (entry.DisabledByGuard) {
            platform.EnableTopLevel(entry.Window, true);
        }
        if (entry.WasTopmost) {
            platform.SetTopLevelTopmost(entry.Window, true);
        }
    }
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const SuspendedWindow& e) { return e.Thread == thread; }),
               list.end());
}

Text PlatformDialogs::ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                                     int32_t filterPosition) {
    OpenDialogRequest request;
    request.Title = title;
    request.Filters = FilterPairs(filter);
    request.FilterIndex = filterPosition + 1;
    request.Options = OpenDialogOptions;
    const DefaultFileParts parts = SplitDefaultFile(defaultFile);
    request.HasInitialFolder = parts.HasFolder;
    request.InitialFolder = parts.Folder;
    // A name the field could not hold as a file name starts the dialog empty.
    if (IsPlainFileName(parts.Name)) {
        request.FileName = parts.Name;
    }
    request.Owner = ModalOwnerWindow();
    return Guarded([&] { return CurrentPlatform().RunOpenDialog(request); });
}

int32_t PlatformDialogs::ShowMessage(const Text& title, const Text& text, uint32_t) {
    NativeHandle owner = ModalOwnerWindow();
    return Guarded([&] { return CurrentPlatform().RunMessageBox(owner, title, text); });
}

} // namespace rz
