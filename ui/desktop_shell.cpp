#include "ui/desktop_shell.hpp"

#include "ui/events.hpp"
#include "ui/main_window.hpp"
#include "ui/window_layer.hpp"

#include <filesystem>

namespace rz {

// The run sequence decides on these numbers; the window is what raises them.
static_assert(ApplyButton == ApplyButtonControl && CancelButton == CancelButtonControl);
static_assert(EventKind::CloseEvent == CloseRequestKind);

bool DesktopShell::StartLayers(std::string& why) {
    SetPlatform(&platform_);
    ResetWindowLayer();
    ResetEventLayer();
    return platform_.StartPlatform(why);
}

bool DesktopShell::BuildMainWindow(BoardState& state) {
    return rz::BuildMainWindow(state);
}

int32_t DesktopShell::LastEventControl() {
    return rz::LastEventControl();
}

uint32_t DesktopShell::WaitEvent() {
    return rz::WaitEvent();
}

void DesktopShell::EndLayers() {
    CloseAllWindows();
    platform_.FinishPlatform();
}

Text GivenBoardPath(const Text& argument) {
    namespace fs = std::filesystem;
    try {
        std::error_code error;
        const fs::path given(argument);
        if (!fs::is_regular_file(given, error)) {
            return Text();
        }
        // The folder as the system resolves it: after a linked folder, ".." leads to the
        // folder above the link's target, which a plain tidying of the text would miss.
        // The name stays as given, so a link to the board is opened as a link.
        const fs::path folder = fs::canonical(fs::absolute(given).parent_path(), error);
        return error ? Text() : (folder / given.filename()).make_preferred().u16string();
    } catch (const std::exception&) {
        return Text(); // a name the system's paths cannot hold
    }
}

} // namespace rz
