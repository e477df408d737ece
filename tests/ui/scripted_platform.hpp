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
    Native(bool topLevel, int32_t number)
        : TopLevel(topLevel), Visible(!topLevel), Number(number) {}
    bool TopLevel, Visible, Enabled = true, Topmost = false, Destroyed = false;
    int32_t Number;
    PixelRect Outer; // top-level windows
    std::vector<Text> Rows;
};

class ScriptedPlatform : public Platform {
public:
    bool StartSucceeds = true, RefuseTopLevel = false, CuesShown = false;
    int Waits = 0;
    std::deque<std::pair<std::function<void()>, uint32_t>> Script; // what runs, what returns
    std::function<Text(const OpenDialogRequest&)> OpenDialogAnswer = [](auto&) { return u""; };
    std::function<void()> OnAppendRow = [] {};
    std::vector<std::string> Log;
    std::vector<OpenDialogRequest> OpenDialogs;
    std::vector<std::tuple<NativeHandle, Text, Text>> Boxes; // owner, title, text
    NativeHandle Focused = nullptr, Foreground = nullptr, Captured = nullptr;
    PixelSize Screen{1024, 768};

    static Native& Of(NativeHandle h) { return *static_cast<Native*>(h); }
    // The live control or window with that number, or nullptr.
    NativeHandle Find(int32_t number, bool topLevel = false) {
        for (Native& n : natives_) {
            if (n.Number == number && n.TopLevel == topLevel && !n.Destroyed) {
                return &n;
            }
        }
        return nullptr;
    }
    void Then(std::function<void()> f, uint32_t m = 0x0113) { Script.emplace_back(f, m); }

    bool StartPlatform(std::string& why) override { // why counts only on failure
        why = "no display";
        return StartSucceeds;
    }
    void FinishPlatform() override { Log.push_back("finish"); }
    PixelRect OuterRectForClient(int32_t w, int32_t h, uint32_t style) override {
        Log.push_back("style " + std::to_string(style));
        return PixelRect{-3, -26, w + 3, h + 3}; // a frame, as on Windows
    }
    NativeHandle CreateTopLevel(const TopLevelParams& p) override {
        if (RefuseTopLevel) {
            return nullptr;
        }
        Native& n = natives_.emplace_back(Native(true, p.Number));
        n.Outer = PixelRect{p.X, p.Y, p.X + p.OuterWidth, p.Y + p.OuterHeight};
        return &n;
    }
    PixelRect TopLevelOuterRect(NativeHandle window) override { return Of(window).Outer; }
    PixelSize ScreenSize() override { return Screen; }
    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override {
        PixelRect& r = Of(window).Outer;
        r = PixelRect{x, y, x + r.Width(), y + r.Height()};
        WindowMoved(Of(window).Number); // as a real window reports its move
    }
    void ShowTopLevel(NativeHandle window) override {
        Log.push_back("show");
        Of(window).Visible = true;
        Foreground = window;
        WindowActivated(Of(window).Number);
    }
    void InstallAccelerators(NativeHandle, const std::vector<AcceleratorEntry>&) override {}
    void DestroyTopLevel(NativeHandle window) override {
        Of(window).Destroyed = true;
        Foreground = Foreground == window ? nullptr : Foreground;
    }
    NativeHandle CreateControl(const ControlParams& p) override {
        return &natives_.emplace_back(Native(false, p.Number));
    }
    void DestroyControl(NativeHandle control) override { Of(control).Destroyed = true; }
    void AppendListRow(NativeHandle list, const Text& row) override {
        Of(list).Rows.push_back(row);
        OnAppendRow();
    }
    uint32_t WaitPlatformMessage() override {
        ++Waits;
        const auto step = Script.at(0);
        Script.pop_front();
        step.first();
        return step.second;
    }
    NativeHandle FocusedControl() override { return Focused; }
    bool ControlCanTakeFocus(NativeHandle c) override {
        return Of(c).Enabled && Of(c).Visible && !Of(c).Destroyed;
    }
    void FocusControl(NativeHandle control) override { Focused = control; }
    void SetKeyboardCues(NativeHandle, bool shown) override { CuesShown = shown; }
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
    std::vector<NativeHandle> VisibleThreadTopLevels() override {
        std::vector<NativeHandle> result;
        for (Native& n : natives_) {
            if (n.TopLevel && n.Visible && !n.Destroyed) {
                result.push_back(&n);
            }
        }
        return result;
    }
    bool TopLevelEnabled(NativeHandle window) override { return Of(window).Enabled; }
    void EnableTopLevel(NativeHandle window, bool on) override { Of(window).Enabled = on; }
    bool TopLevelIsTopmost(NativeHandle window) override { return Of(window).Topmost; }
    void SetTopLevelTopmost(NativeHandle window, bool on) override { Of(window).Topmost = on; }
    void CapturePointer(NativeHandle control) override { Captured = control; }
    void ReleasePointer() override { Captured = nullptr; }
    PixelSize DragDistance() override { return {4, 4}; }

private:
    std::deque<Native> natives_; // stable addresses
};

// Fresh layers on a fresh scripted platform for every test.
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
