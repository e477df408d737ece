#include "scripted_platform.hpp"

#include "text/text.hpp"

namespace rz::testing {

NativeHandle ScriptedPlatform::NewHandle() {
    next_ += 0x10;
    return reinterpret_cast<NativeHandle>(next_);
}

NativeHandle ScriptedPlatform::AddForeignTopLevel(bool visible, bool topmost) {
    NativeHandle h = NewHandle();
    Native& n = Natives[h];
    n.TopLevel = true;
    n.Foreign = true;
    n.Visible = visible;
    n.Topmost = topmost;
    return h;
}

NativeHandle ScriptedPlatform::AddOwnTopLevel(bool visible, bool enabled, bool topmost) {
    NativeHandle h = NewHandle();
    Native& n = Natives[h];
    n.TopLevel = true;
    n.Number = -100;
    n.Visible = visible;
    n.Shown = visible;
    n.Enabled = enabled;
    n.Topmost = topmost;
    return h;
}

void ScriptedPlatform::Then(std::function<void()> f, uint32_t message) {
    Script.push_back([f = std::move(f), message] {
        f();
        return message;
    });
}

bool ScriptedPlatform::StartPlatform(std::string& why) {
    Log.push_back("start");
    if (!StartSucceeds) {
        why = "no display";
    }
    return StartSucceeds;
}

PixelRect ScriptedPlatform::OuterRectForClient(int32_t clientWidth, int32_t clientHeight,
                                               uint32_t style, uint32_t exStyle) {
    Log.push_back("outer-for-client " + std::to_string(clientWidth) + "x" +
                  std::to_string(clientHeight) + " style " + std::to_string(style) + " ex " +
                  std::to_string(exStyle));
    return PixelRect{-FrameLeft, -FrameTop, clientWidth + FrameRight, clientHeight + FrameBottom};
}

NativeHandle ScriptedPlatform::CreateTopLevel(const TopLevelParams& params) {
    Log.push_back("create-window " + std::to_string(params.Number));
    if (RefuseTopLevel) {
        return nullptr;
    }
    NativeHandle h = NewHandle();
    Native& n = Natives[h];
    n.TopLevel = true;
    n.Number = params.Number;
    n.TopLevelParamsGiven = params;
    n.Visible = false;
    const int32_t x = params.PlatformPosition ? 50 : params.X;
    const int32_t y = params.PlatformPosition ? 60 : params.Y;
    n.Outer = PixelRect{x, y, x + params.OuterWidth, y + params.OuterHeight};
    return h;
}

void ScriptedPlatform::MoveTopLevel(NativeHandle window, int32_t x, int32_t y) {
    Log.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    Native& n = Of(window);
    n.Outer = PixelRect{x, y, x + n.Outer.Width(), y + n.Outer.Height()};
    WindowMoved(n.Number); // as a real window reports its move
}

void ScriptedPlatform::ShowTopLevel(NativeHandle window, ShowMode mode) {
    Log.push_back(mode == ShowMode::Normal ? "show" : "show-noactivate");
    Native& n = Of(window);
    n.Shown = true;
    n.Visible = true;
    n.ShownMode = mode;
    if (mode == ShowMode::Normal) {
        Foreground = window;
        WindowActivated(n.Number);
    }
    if (OnShow) {
        OnShow(window);
    }
}

bool ScriptedPlatform::InstallAccelerators(NativeHandle window,
                                           const std::vector<AcceleratorEntry>& entries) {
    Of(window).Accelerators = entries;
    return true;
}

void ScriptedPlatform::DestroyTopLevel(NativeHandle window, int32_t number) {
    Log.push_back("destroy-window " + std::to_string(number));
    Native& n = Of(window);
    n.Destroyed = true;
    n.Visible = false;
    // Children go with their window and report it, as native children do.
    for (auto& [handle, child] : Natives) {
        if (!child.TopLevel && !child.Destroyed && child.ControlParamsGiven.Parent == window) {
            child.Destroyed = true;
            ControlDestroyed(child.Number, handle);
        }
    }
    if (Foreground == window) {
        Foreground = nullptr;
    }
}

NativeHandle ScriptedPlatform::CreateControl(const ControlParams& params) {
    Log.push_back("create-control " + std::to_string(params.Number));
    if (RefusedControls.count(params.Number) > 0) {
        return nullptr;
    }
    NativeHandle h = NewHandle();
    Native& n = Natives[h];
    n.Number = params.Number;
    n.ControlParamsGiven = params;
    return h;
}

void ScriptedPlatform::DestroyControl(NativeHandle control) {
    Native& n = Of(control);
    Log.push_back("destroy-control " + std::to_string(n.Number));
    n.Destroyed = true;
    if (Focused == control) {
        Focused = nullptr;
    }
    ControlDestroyed(n.Number, control);
}

void ScriptedPlatform::AppendListRow(NativeHandle list, const Text& row) {
    Of(list).Rows.push_back(row);
    if (OnAppendRow) {
        OnAppendRow(list, row);
    }
}

uint32_t ScriptedPlatform::WaitPlatformMessage() {
    ++Waits;
    if (Script.empty()) {
        throw ScriptExhausted();
    }
    auto step = std::move(Script.front());
    Script.pop_front();
    return step();
}

bool ScriptedPlatform::ControlCanTakeFocus(NativeHandle control) {
    const Native& n = Of(control);
    return n.Enabled && n.Visible && !n.Destroyed;
}

bool ScriptedPlatform::RunOpenDialog(OpenDialogRequest& request) {
    OpenDialogRequests.push_back(request);
    if (DuringDialog) {
        DuringDialog();
    }
    return OpenDialogAnswer ? OpenDialogAnswer(request) : false;
}

int32_t ScriptedPlatform::RunMessageBox(NativeHandle owner, const Text& title, const Text& text,
                                        uint32_t flags) {
    MessageBoxes.push_back(MessageBoxCall{owner, title, text, flags});
    if (DuringDialog) {
        DuringDialog();
    }
    return 1;
}

std::vector<NativeHandle> ScriptedPlatform::VisibleThreadTopLevels() {
    std::vector<NativeHandle> result;
    for (const auto& [handle, n] : Natives) {
        if (n.TopLevel && !n.Foreign && n.Visible && !n.Destroyed) {
            result.push_back(handle);
        }
    }
    return result;
}

void ScriptedPlatform::EnableTopLevel(NativeHandle window, bool enabled) {
    Of(window).Enabled = enabled;
}

void ScriptedPlatform::SetTopLevelTopmost(NativeHandle window, bool topmost) {
    Of(window).Topmost = topmost;
}

} // namespace rz::testing
