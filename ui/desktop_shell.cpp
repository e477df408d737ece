#include "ui/desktop_shell.hpp"

#include "ui/events.hpp"
#include "ui/main_window.hpp"
#include "ui/window_layer.hpp"

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

} // namespace rz
