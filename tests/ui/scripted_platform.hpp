// A platform without a display: it records what the layers ask of it, and each wait for a
// platform message plays the next step of a script, which may call the layers' entry
// points as a real platform's handlers would.
#pragma once

#include "ui/events.hpp"
#include "ui/platform.hpp"
#include "ui/window_layer.hpp"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace rz {
inline void PrintTo(const QueuedEvent& e, std::ostream* os) {
    *os << "{" << e.Kind << " flags " << e.Flags << " control " << e.Control << " window "
        << e.Window << " type " << e.Type << "}";
}
} // namespace rz

namespace rz::testing {

struct ScriptExhausted : std::runtime_error {
    ScriptExhausted() : std::runtime_error("the script ran out of platform messages") {}
};

// A native window or control; its handle is its address.
struct Native {
    bool TopLevel = false, Foreign = false, Visible = true, Enabled = true, Topmost = false,
         Destroyed = false;
    int32_t Number = 0;
    TopLevelParams Top{};
    ControlParams Control{};
    PixelRect Outer{};
    std::vector<Text> Rows{};
};

class ScriptedPlatform : public Platform {
public:
    bool StartSucceeds = true, RefuseTopLevel = false, CuesShown = false;
    int32_t PathUnits = 260;
    int Waits = 0;
    std::deque<std::function<uint32_t()>> Script; // each step returns its message number
    std::function<bool(OpenDialogRequest&)> OpenDialogAnswer = [](auto&) { return false; };
    std::function<void()> OnAppendRow = [] {}, DuringDialog = [] {};
    std::vector<std::string> Log;
    std::vector<OpenDialogRequest> OpenDialogs;
    struct Box {
        NativeHandle Owner;
        Text Title, Message;
        uint32_t Flags;
    };
    std::vector<Box> Boxes;
    NativeHandle Focused = nullptr, Foreground = nullptr, Captured = nullptr;

    static Native& Of(NativeHandle h) { return *static_cast<Native*>(h); }
    NativeHandle Add(Native n) { return &natives_.emplace_back(std::move(n)); }
    void Then(std::function<void()> f, uint32_t message = 0x0113) {
        Script.push_back([f = std::move(f), message] {
            f();
            return message;
        });
    }

    bool StartPlatform(std::string& why) override {
        why = StartSucceeds ? "" : "no display";
        return StartSucceeds;
    }
    void FinishPlatform() override { Log.push_back("finish"); }
    PixelRect OuterRectForClient(int32_t w, int32_t h, uint32_t style, uint32_t ex) override {
        Log.push_back("outer " + std::to_string(style) + " " + std::to_string(ex));
        return PixelRect{-3, -26, w + 3, h + 3};
    }
    NativeHandle CreateTopLevel(const TopLevelParams& p) override {
        Log.push_back("create-window " + std::to_string(p.Number));
        Native n{.TopLevel = true, .Visible = false, .Number = p.Number, .Top = p};
        n.Outer = {0, 0, p.OuterWidth, p.OuterHeight};
        return RefuseTopLevel ? nullptr : Add(n);
    }
    PixelRect TopLevelOuterRect(NativeHandle window) override { return Of(window).Outer; }
    PixelSize ScreenSize() override { return {1024, 768}; }
    void MoveTopLevel(NativeHandle window, int32_t x, int32_t y) override {
        Log.push_back("move " + std::to_string(x) + "," + std::to_string(y));
        Native& n = Of(window);
        n.Outer = PixelRect{x, y, x + n.Outer.Width(), y + n.Outer.Height()};
        WindowMoved(n.Number); // as a real window reports its move
    }
    void ShowTopLevel(NativeHandle window, ShowMode mode) override {
        Log.push_back(mode == ShowMode::Normal ? "show" : "show-noactivate");
        Of(window).Visible = true;
        if (mode == ShowMode::Normal) {
            Foreground = window;
            WindowActivated(Of(window).Number);
        }
    }
    bool InstallAccelerators(NativeHandle, const std::vector<AcceleratorEntry>&) override {
        return true;
    }
    void DestroyTopLevel(NativeHandle window, int32_t) override {
        Of(window).Destroyed = true;
        Of(window).Visible = false;
        for (Native& child : natives_) { // children go with their window and report it
            if (!child.TopLevel && !child.Destroyed && child.Control.Parent == window) {
                child.Destroyed = true;
                ControlDestroyed(child.Number, &child);
            }
        }
        Foreground = Foreground == window ? nullptr : Foreground;
    }
    void ActivateTopLevel(NativeHandle window) override { Foreground = window; }
    NativeHandle CreateControl(const ControlParams& p) override {
        Log.push_back("create-control " + std::to_string(p.Number));
        return Add({.Number = p.Number, .Control = p});
    }
    void DestroyControl(NativeHandle control) override {
        Of(control).Destroyed = true;
        Focused = Focused == control ? nullptr : Focused;
        ControlDestroyed(Of(control).Number, control);
    }
    void AppendListRow(NativeHandle list, const Text& row) override {
        Of(list).Rows.push_back(row);
        OnAppendRow();
    }
    uint32_t WaitPlatformMessage() override {
        ++Waits;
        if (Script.empty()) {
            throw ScriptExhausted();
        }
        auto step = std::move(Script.front());
        Script.pop_front();
        return step();
    }
    NativeHandle FocusedControl() override { return Focused; }
    bool ControlCanTakeFocus(NativeHandle c) override {
        return Of(c).Enabled && Of(c).Visible && !Of(c).Destroyed;
    }
    void FocusControl(NativeHandle control) override { Focused = control; }
    void SetKeyboardCues(NativeHandle, bool shown) override { CuesShown = shown; }
    int32_t PathBufferUnits() override { return PathUnits; }
    bool RunOpenDialog(OpenDialogRequest& request) override {
        OpenDialogs.push_back(request);
        DuringDialog();
        return OpenDialogAnswer(request);
    }
    int32_t RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                          uint32_t flags) override {
        Boxes.push_back(Box{owner, title, text, flags});
        DuringDialog();
        return 1;
    }
    NativeHandle ForegroundTopLevel() override { return Foreground; }
    bool TopLevelBelongsToProcess(NativeHandle window) override { return !Of(window).Foreign; }
    std::vector<NativeHandle> VisibleThreadTopLevels() override {
        std::vector<NativeHandle> result;
        for (Native& n : natives_) {
            if (n.TopLevel && !n.Foreign && n.Visible && !n.Destroyed) {
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
    void TearDown() override {
        ResetWindowLayer();
        ResetEventLayer();
        SetPlatform(nullptr);
    }
    NativeHandle OpenMain() {
        return OpenTopLevelWindow(0, 0, 0, 240, 470, u"Rezurudev V1.1", 0xC80001);
    }
    std::vector<QueuedEvent> Queue() const {
        return {EventLayer().EventQueue.begin(), EventLayer().EventQueue.end()};
    }
    void Post(const std::vector<QueuedEvent>& events) {
        for (const QueuedEvent& e : events) {
            PostEventWithFlags(e.Kind, e.Control, e.Window, e.Type, e.Flags);
        }
    }
    // Another top-level window, of this process or of another one.
    NativeHandle AddTopLevel(bool foreign, bool visible, bool enabled, bool topmost) {
        return platform.Add({true, foreign, visible, enabled, topmost, false, -100});
    }

    ScriptedPlatform platform;
};

inline QueuedEvent Ev(uint32_t kind, int32_t control, int32_t window = 0, int32_t type = 0) {
    return QueuedEvent{kind, 0, control, window, type};
}

} // namespace rz::testing
