// The run sequence's view of the portable window and event layers on one platform.
#pragma once

#include "core/run.hpp"
#include "ui/platform.hpp"
#include "ui/platform_dialogs.hpp"

namespace rz {

// The board named when the program is started ("rezurudev BOARD", a board dropped on
// the program or opened with it): its full path, for the open dialog to start in its
// folder with its name. The empty text when the argument names no existing file.
Text GivenBoardPath(const Text& argument);

class DesktopShell : public RunShell {
public:
    explicit DesktopShell(Platform& platform) : platform_(platform) {}

    bool StartLayers(std::string& why) override;
    Dialogs& RunDialogs() override { return dialogs_; }
    bool BuildMainWindow(BoardState& state) override;
    int32_t LastEventControl() override;
    uint32_t WaitEvent() override;
    void EndLayers() override;

private:
    Platform& platform_;
    PlatformDialogs dialogs_;
};

} // namespace rz
