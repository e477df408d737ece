#include "ui/platform_dialogs.hpp"

#include <algorithm>
#include <thread>

namespace rz {

namespace {

constexpr char16_t FilterSeparator = u'|';
constexpr char16_t Backslash = u'\\';
// OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY. A file that
// does not exist may be named: the load reports it.
constexpr uint32_t OpenDialogFlags = 0x8080C;

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

Text UpToFirstNul(const std::u16string& buffer) {
    return buffer.substr(0, std::min(buffer.find(u'\0'), buffer.size()));
}

} // namespace

std::vector<Text> SplitFilterPieces(const Text& filter) {
    std::vector<Text> pieces;
    if (filter.empty()) {
        return pieces;
    }
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find(FilterSeparator, start);
        if (bar == Text::npos) {
            pieces.push_back(filter.substr(start));
            return pieces;
        }
        pieces.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
}

std::u16string PlatformFilterBuffer(const Text& filter) {
    // Zero-filled with room for the closing NULs, then every "|" becomes a NUL.
    std::u16string buffer(filter.size() + 3, u'\0');
    std::copy(filter.begin(), filter.end(), buffer.begin());
    std::replace(buffer.begin(), buffer.end(), FilterSeparator, u'\0');
    return buffer;
}

std::vector<FileFilter> FilterPairs(const Text& filter) {
    const std::vector<Text> pieces = SplitFilterPieces(filter);
    std::vector<FileFilter> pairs;
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) {
        pairs.push_back(FileFilter{pieces[i], pieces[i + 1]});
    }
    return pairs;
}

DefaultFileParts SplitDefaultFile(const Text& defaultFile) {
    DefaultFileParts parts;
    if (defaultFile.empty()) {
        return parts;
    }
    parts.HasFolder = true; // present, though perhaps empty: the platform's choice
    const size_t last = defaultFile.rfind(Backslash);
    if (last != Text::npos && last > 0) {
        parts.Folder = defaultFile.substr(0, last);
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
    Platform& platform = CurrentPlatform();
    const int32_t units = platform.PathBufferUnits();
    if (units < 1) {
        return Text();
    }
    OpenDialogRequest request;
    request.Title = title;
    request.PathBuffer.assign(static_cast<size_t>(units), u'\0');
    request.FilterBuffer = PlatformFilterBuffer(filter);
    request.Filters = FilterPairs(filter);
    request.FilterIndex = filterPosition + 1;
    request.Flags = OpenDialogFlags;

    const DefaultFileParts parts = SplitDefaultFile(defaultFile);
    if (parts.HasFolder) {
        request.HasInitialFolder = true;
        request.InitialFolder = parts.Folder;
        const size_t count = std::min(parts.Name.size(), static_cast<size_t>(units - 1));
        std::copy_n(parts.Name.begin(), count, request.PathBuffer.begin());
        // A name the field could not hold as a file name starts the dialog empty.
        if (!IsPlainFileName(UpToFirstNul(request.PathBuffer))) {
            std::fill(request.PathBuffer.begin(), request.PathBuffer.end(), u'\0');
        }
    }
    request.Owner = ModalOwnerWindow();

    SuspendOtherWindows();
    const bool chosen = platform.RunOpenDialog(request);
    ResumeOtherWindows();

    if (!chosen) {
        return Text();
    }
    selectedFilter_ = request.FilterIndex;
    return UpToFirstNul(request.PathBuffer);
}

int32_t PlatformDialogs::ShowMessage(const Text& title, const Text& text, uint32_t flags) {
    Platform& platform = CurrentPlatform();
    NativeHandle owner = ModalOwnerWindow();
    SuspendOtherWindows();
    const int32_t button = platform.RunMessageBox(owner, title, text, flags);
    ResumeOtherWindows();
    return button;
}

} // namespace rz
