// A platform without a display: it records what the layers ask of it, and each wait for a
// platform message plays the next step of a script (std::out_of_range when there is none),
// which may call the layers' entry points as a real platform's handlers would.
#pragma once

#include "ui/events.hpp"
#include "ui/main_window.hpp"
#include "ui/platform.hpp"
#include "ui/window_layer.hpp"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace rz::testing {

// A native window or control; its handle is its address.
struct Native {
    int32_t Number = 0;
    bool TopLevel = false, Destroyed = false;
};

class ScriptedPlatform : public Platform {
public:
    bool RefuseTopLevel = false;
    int Waits = 0;
    std::deque<std::pair<std::function<void()>, uint32_t>> Script; // what runs, what returns
    std::function<Text(const OpenDialogRequest&)> OpenDialogAnswer = [](auto&) { return u""; };
    std::vector<OpenDialogRequest> OpenDialogs;
    std::vector<std::tuple<NativeHandle, Text, Text>> Boxes; // owner, title, text
    NativeHandle Foreground = nullptr;

    static Native& Of(NativeHandle h) { return *static_cast<Native*>(h); }
    void Then(std::function<void()> f, uint32_t m = 0x0113) { Script.emplace_back(f, m); }

    bool StartPlatform(std::string&) override { return true; }
    void FinishPlatform() override {}
    PixelRect OuterRectForClient(int32_t w, int32_t h, uint32_t) override { return {0, 0, w, h}; }
    NativeHandle CreateTopLevel(const TopLevelParams& p) override {
        return RefuseTopLevel ? nullptr : &natives_.emplace_back(Native{p.Number, true, false});
    }
    PixelRect TopLevelOuterRect(NativeHandle) override { return {0, 0, 240, 470}; }
    PixelSize ScreenSize() override { return {1024, 768}; }
    void MoveTopLevel(NativeHandle window, int32_t, int32_t) override {
        WindowMoved(Of(window).Number); // as a real window reports its move
    }
    void ShowTopLevel(NativeHandle window) override {
        Foreground = window;
        WindowActivated(Of(window).Number);
    }
    void InstallAccelerators(NativeHandle, const std::vector<AcceleratorEntry>&) override {}
    void DestroyTopLevel(NativeHandle window) override {
        Of(window).Destroyed = true;
        Foreground = Foreground == window ? nullptr : Foreground;
    }
    NativeHandle CreateControl(const ControlParams& p) override {
        return &natives_.emplace_back(Native{p.Number, false, false});
    }
    void DestroyControl(NativeHandle control) override { Of(control).Destroyed = true; }
    void AppendListRow(NativeHandle, const Text&) override {}
    uint32_t WaitPlatformMessage() override {
        ++Waits;
        const auto step = Script.at(0);
        Script.pop_front();
        step.first();
        return step.second;
    }
    // The focus walk and the modal guard are tried on real windows (tests/e2e, tests/win32).
    NativeHandle FocusedControl() override { return nullptr; }
    bool ControlCanTakeFocus(NativeHandle) override { return true; }
    void FocusControl(NativeHandle) override {}
    void SetKeyboardCues(NativeHandle, bool) override {}
    Text RunOpenDialog(const OpenDialogRequest& request) override {
        OpenDialogs.push_back(request);
        return OpenDialogAnswer(request);
    }
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text) override {
        Boxes.emplace_back(owner, title, text);
        return 1;
    }
    NativeHandle ForegroundTopLevel() override { return Foreground; }
    bool TopLevelBelongsToProcess(NativeHandle) override { return true; }
    std::vector<NativeHandle> VisibleThreadTopLevels() override { return {}; }
    bool TopLevelEnabled(NativeHandle) override { return true; }
    void EnableTopLevel(NativeHandle, bool) override {}
    bool TopLevelIsTopmost(NativeHandle) override { return false; }
    void SetTopLevelTopmost(NativeHandle, bool) override {}
    void CapturePointer(NativeHandle) override {}
    void ReleasePointer() override {}
    PixelSize DragDistance() override { return {4, 4}; }

private:
    std::deque<Native> natives_; // stable addresses
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatform(&platform);
        ResetWindowLayer();
        ResetEventLayer();
    }
    void TearDown() override { SetPlatform(nullptr); }
    NativeHandle OpenMain() {
        return OpenTopLevelWindow(0, 0, 0, 240, 470, u"Rezurudev V1.1", MainWindowFlags);
    }
    std::vector<QueuedEvent> Queue() const {
        return {EventLayer().EventQueue.begin(), EventLayer().EventQueue.end()};
    }
    void Post(const std::vector<QueuedEvent>& events) {
        for (const QueuedEvent& e : events) {
            PostEvent(e.Kind, e.Control, e.Window, e.Type);
        }
    }

    ScriptedPlatform platform;
};

inline QueuedEvent Ev(uint32_t kind, int32_t control, int32_t window = 0, int32_t type = 0) {
    return QueuedEvent{kind, control, window, type};
}

} // namespace rz::testing
