#include "ui/window_layer.hpp"

#include "ui/events.hpp"
#include "ui/window_records.hpp"

#include <algorithm>

namespace rz {

namespace detail {

WindowLayerState& Layer() {
    static WindowLayerState state;
    return state;
}

ControlRecord* FindControl(int32_t control) {
    auto it = Layer().Controls.find(control);
    return it == Layer().Controls.end() ? nullptr : &it->second;
}

WindowRecord* FindWindow(int32_t window) {
    auto it = Layer().Windows.find(window);
    return it == Layer().Windows.end() ? nullptr : &it->second;
}

FocusWalk CollectFocusWalk(int32_t window) {
    FocusWalk walk;
    for (const auto& entry : Layer().Controls) {
        if (entry.second.Window == window) {
            walk.Controls.push_back(&entry.second);
        }
    }
    std::sort(walk.Controls.begin(), walk.Controls.end(),
              [](const ControlRecord* a, const ControlRecord* b) {
                  return a->CreationOrder < b->CreationOrder;
              });
    NativeHandle focused = CurrentPlatform().FocusedControl();
    for (size_t i = 0; focused != nullptr && i < walk.Controls.size(); ++i) {
        if (walk.Controls[i]->Handle == focused) {
            walk.Focused = static_cast<int>(i);
        }
    }
    return walk;
}

} // namespace detail

using namespace detail;

namespace {

bool ListNotification(ControlRecord& record, int32_t code) {
    if (code == ControlNotification::ListSelectionChanged) {
        PostEvent(EventKind::ControlEvent, record.Number, record.Window, ListEventType::Selected);
    } else if (code == ControlNotification::ListDoubleClicked) {
        PostEvent(EventKind::ControlEvent, record.Number, record.Window,
                  ListEventType::DoubleClicked);
    }
    // Every other list notification (focus changes and the like) is taken silently.
    return true;
}

int32_t ListAddItem(ControlRecord& record, int32_t position, const Text& text) {
    // Only appending is offered; other positions add nothing.
    if (position == -1) {
        CurrentPlatform().AppendListRow(record.Handle, text);
    }
    return 0;
}

const ControlKindTable LabelKind{ControlKind::Label, false, nullptr, nullptr};
const ControlKindTable ListKind{ControlKind::List, true, ListNotification, ListAddItem};
const ControlKindTable ButtonKind{ControlKind::Button, true, nullptr, nullptr};

NativeHandle CreateControlOfKind(const ControlKindTable& kind, int32_t control, int32_t x,
                                 int32_t y, int32_t width, int32_t height, const Text& text) {
    WindowLayerState& layer = Layer();
    const WindowRecord* parent = FindWindow(layer.CurrentControlParent);
    if (parent == nullptr) {
        return nullptr;
    }
    const ControlParams params{kind.Kind, control, parent->Handle, x, y, width, height, text};
    NativeHandle handle = CurrentPlatform().CreateControl(params);
    if (handle == nullptr) {
        return nullptr;
    }
    // A control that already has this number goes first, with its pending events.
    if (const ControlRecord* old = FindControl(control)) {
        NativeHandle oldHandle = old->Handle;
        CurrentPlatform().DestroyControl(oldHandle);
        ControlDestroyed(control, oldHandle);
    }
    ControlRecord record;
    record.Handle = handle;
    record.KindTable = &kind;
    record.Number = control;
    record.Window = layer.CurrentControlParent;
    record.CreationOrder = layer.NextCreationOrder++;
    layer.Controls[control] = record;
    return handle;
}

void CloseWindow(int32_t window) {
    const WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    CurrentPlatform().DestroyTopLevel(record->Handle);
    // The platform reports each destroyed child; whatever it did not report goes too.
    std::vector<std::pair<int32_t, NativeHandle>> leftOver;
    for (const auto& entry : Layer().Controls) {
        if (entry.second.Window == window) {
            leftOver.emplace_back(entry.first, entry.second.Handle);
        }
    }
    for (const auto& [control, handle] : leftOver) {
        ControlDestroyed(control, handle);
    }
    DropPendingEvents(-1, -1, window);
    Layer().Windows.erase(window);
    if (Layer().CurrentControlParent == window) {
        Layer().CurrentControlParent = -1;
    }
}

// The platform style a flags word stands for. A word without any frame bits would make
// a bare popup nobody could move, so it gets a title bar.
uint32_t StyleFromFlags(uint32_t flags) {
    const uint32_t style = flags & ~WindowFlag::CentreOnScreen;
    return style == 0 ? WindowStyle::Caption : style;
}

TopLevelParams TopLevelFor(int32_t window, int32_t x, int32_t y, int32_t clientWidth,
                           int32_t clientHeight, const Text& title, uint32_t flags) {
    TopLevelParams params;
    params.Number = window;
    params.X = x;
    params.Y = y;
    // The mark in x hands the whole position to the platform; in y alone it counts only
    // for a window that is not centred afterwards anyway.
    params.PlatformPosition = x == PlatformPosition ||
                              (y == PlatformPosition && (flags & WindowFlag::CentreOnScreen) == 0);
    params.Style = StyleFromFlags(flags);
    const PixelRect outer =
        CurrentPlatform().OuterRectForClient(clientWidth, clientHeight, params.Style);
    params.OuterWidth = outer.Width();
    params.OuterHeight = outer.Height();
    params.ClientWidth = clientWidth;
    params.ClientHeight = clientHeight;
    params.Title = title;
    return params;
}

void MoveFocus(int32_t window, bool forward) {
    if (FindWindow(window) == nullptr) {
        return;
    }
    const FocusWalk walk = CollectFocusWalk(window);
    const int count = static_cast<int>(walk.Controls.size());
    const int step = forward ? 1 : -1;
    // From the focused control on, and round from the other end (which is where a
    // focus outside the window starts).
    const int from = walk.Focused >= 0 ? walk.Focused : (forward ? count - 1 : 0);
    for (int k = 1; k <= count; ++k) {
        const ControlRecord* candidate = walk.Controls[((from + step * k) % count + count) % count];
        if (candidate->KindTable->TabStop &&
            CurrentPlatform().ControlCanTakeFocus(candidate->Handle)) {
            CurrentPlatform().FocusControl(candidate->Handle);
            return;
        }
    }
}

} // namespace

CentredPosition ScreenCentredPosition(const PixelRect& outer, const PixelSize& screen) {
    const int32_t width = std::min(outer.Width(), screen.Width);
    const int32_t height = std::min(outer.Height(), screen.Height);
    return CentredPosition{(screen.Width - width) / 2, (screen.Height - height) / 2};
}

NativeHandle OpenTopLevelWindow(int32_t window, int32_t x, int32_t y, int32_t clientWidth,
                                int32_t clientHeight, const Text& title, uint32_t flags) {
    Platform& platform = CurrentPlatform();
    CloseWindow(window);
    WindowLayerState& layer = Layer();
    layer.Windows[window] = WindowRecord();
    NativeHandle handle =
        platform.CreateTopLevel(TopLevelFor(window, x, y, clientWidth, clientHeight, title, flags));
    if (handle == nullptr) {
        layer.Windows.erase(window);
        return nullptr;
    }
    layer.Windows[window].Handle = handle;

    if ((flags & WindowFlag::CentreOnScreen) != 0) {
        const CentredPosition at =
            ScreenCentredPosition(platform.TopLevelOuterRect(handle), platform.ScreenSize());
        platform.MoveTopLevel(handle, at.X, at.Y);
    }
    platform.ShowTopLevel(handle);
    // Showing may have run handlers that closed or replaced the window.
    WindowRecord* record = FindWindow(window);
    if (record == nullptr || record->Handle != handle) {
        return nullptr;
    }
    record->Accelerators = {AcceleratorEntry{AcceleratorKey::Tab, false, FocusNextCommand},
                            AcceleratorEntry{AcceleratorKey::Tab, true, FocusPreviousCommand}};
    platform.InstallAccelerators(handle, record->Accelerators);
    layer.CurrentControlParent = window;
    record->CreationFinished = true;
    return handle;
}

NativeHandle CreateTextLabel(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                             const Text& text) {
    return CreateControlOfKind(LabelKind, control, x, y, width, height, text);
}

NativeHandle CreateListControl(int32_t control, int32_t x, int32_t y, int32_t width,
                               int32_t height) {
    return CreateControlOfKind(ListKind, control, x, y, width, height, Text());
}

NativeHandle CreatePushButton(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                              const Text& text) {
    return CreateControlOfKind(ButtonKind, control, x, y, width, height, text);
}

int32_t AddListItem(int32_t control, int32_t position, const Text& text) {
    ControlRecord* record = FindControl(control);
    if (record == nullptr || record->KindTable->AddItem == nullptr) {
        return 0;
    }
    // A list may report the new row as a selection change; that is not the user's doing.
    EventLayerState& events = EventLayer();
    ++events.EventSuppressCount;
    const int32_t result = record->KindTable->AddItem(*record, position, text);
    --events.EventSuppressCount;
    return result;
}

void CloseAllWindows() {
    std::vector<int32_t> open;
    for (const auto& entry : Layer().Windows) {
        open.push_back(entry.first);
    }
    for (int32_t window : open) {
        CloseWindow(window);
    }
}

void FocusNextControl(int32_t window) {
    MoveFocus(window, true);
}

void FocusPreviousControl(int32_t window) {
    MoveFocus(window, false);
}

void ResetWindowLayer() {
    Layer() = WindowLayerState();
}

} // namespace rz
