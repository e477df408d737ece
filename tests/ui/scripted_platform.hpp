// A platform without a display: it records what the layers ask of it, and each wait for
// a platform message plays the next step of a script (which may call the layer's entry
// points, as a real platform's handlers would).
#pragma once

#include "ui/platform.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace rz::testing {

struct ScriptExhausted : std::runtime_error {
    ScriptExhausted() : std::runtime_error("the scripted platform ran out of messages") {}
};

class ScriptedPlatform : public Platform {
public:
    struct Native {
        bool TopLevel = false;
        int32_t Number = 0;
        TopLevelParams TopLevelParamsGiven;
        ControlParams ControlParamsGiven;
        PixelRect Outer;
        bool Shown = false;
        ShowMode ShownMode = ShowMode::Normal;
        bool Enabled = true;
        bool Visible = true;
        bool Topmost = false;
        bool Foreign = false; // belongs to another process
        std::vector<Text> Rows;
        std::vector<AcceleratorEntry> Accelerators;
        bool Destroyed = false;
    };

    // ---- knobs for the test ----
    bool StartSucceeds = true;
    bool RefuseTopLevel = false;
    std::set<int32_t> RefusedControls;
    PixelSize Screen{1024, 768};
    int32_t FrameLeft = 3, FrameTop = 26, FrameRight = 3, FrameBottom = 3; // outer - client
    int32_t PathUnits = 260;
    PixelSize Drag{4, 4};
    std::deque<std::function<uint32_t()>> Script; // each step returns its message number
    std::function<bool(OpenDialogRequest&)> OpenDialogAnswer;
    std::function<void(NativeHandle)> OnShow;
    std::function<void(NativeHandle, const Text&)> OnAppendRow;
    // What the dialogs saw of the windows while they ran.
    std::function<void()> DuringDialog;

    // ---- what happened ----
    std::vector<std::string> Log;
    std::map<NativeHandle, Native> Natives;
    NativeHandle Focused = nullptr;
    NativeHandle Foreground = nullptr;
    NativeHandle Captured = nullptr;
    bool CuesShown = false;
    int Waits = 0;
    std::vector<OpenDialogRequest> OpenDialogRequests;
    struct MessageBoxCall {
        NativeHandle Owner;
        Text Title;
        Text Message;
        uint32_t Flags;
    };
    std::vector<MessageBoxCall> MessageBoxes;

    NativeHandle AddForeignTopLevel(bool visible, bool topmost);
    NativeHandle AddOwnTopLevel(bool visible, bool enabled, bool topmost);
    Native& Of(NativeHandle h) { return Natives.at(h); }
    // Step helpers: a step that calls f and returns a message number.
    void Then(std::function<void()> f, uint32_t message = 0x0113);
    void ThenNothing(uint32_t message = 0x000F) {
        Then([] {}, message);
    }

    // ---- Platform ----
    bool StartPlatform(std::string& why) override;
    void FinishPlatform() override { Log.push_back("finish"); }
    PixelRect OuterRectForClient(int32_t clientWidth, int32_t clientHeight, uint32_t style,
                                 uint32_t exStyle) override;
    NativeHandle CreateTopLevel(const TopLevelParams& params) override;
    PixelRect TopLevelOuterRect(NativeHandle window) override { return Of(window).Outer; }
    PixelSize ScreenSize() override { return Screen; }
    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override;
    void ShowTopLevel(NativeHandle window, ShowMode mode) override;
    bool InstallAccelerators(NativeHandle window,
                             const std::vector<AcceleratorEntry>& entries) override;
    void DestroyTopLevel(NativeHandle window, int32_t number) override;
    void ActivateTopLevel(NativeHandle window) override { Foreground = window; }
    NativeHandle CreateControl(const ControlParams& params) override;
    void DestroyControl(NativeHandle control) override;
    void AppendListRow(NativeHandle list, const Text& row) override;
    uint32_t WaitPlatformMessage() override;
    NativeHandle FocusedControl() override { return Focused; }
    bool ControlCanTakeFocus(NativeHandle control) override;
    void FocusControl(NativeHandle control) override { Focused = control; }
    void SetKeyboardCues(NativeHandle, bool shown) override { CuesShown = shown; }
    int32_t PathBufferUnits() override { return PathUnits; }
    bool RunOpenDialog(OpenDialogRequest& request) override;
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                          uint32_t flags) override;
    NativeHandle ForegroundTopLevel() override { return Foreground; }
    bool TopLevelBelongsToProcess(NativeHandle window) override { return !Of(window).Foreign; }
    std::vector<NativeHandle> VisibleThreadTopLevels() override;
    bool TopLevelEnabled(NativeHandle window) override { return Of(window).Enabled; }
    void EnableTopLevel(NativeHandle window, bool enabled) override;
    bool TopLevelIsTopmost(NativeHandle window) override { return Of(window).Topmost; }
    void SetTopLevelTopmost(NativeHandle window, bool topmost) override;
    void CapturePointer(NativeHandle control) override { Captured = control; }
    void ReleasePointer() override { Captured = nullptr; }
    PixelSize DragDistance() override { return Drag; }

private:
    NativeHandle NewHandle();
    uintptr_t next_ = 0x1000;
};

} // namespace rz::testing
