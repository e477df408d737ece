#include "ui/window_layer.hpp"

#include "ui/events.hpp"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace rz {

namespace {

// Control styles of the three kinds (flags 0).
constexpr uint32_t StaticNoPrefix = 0x80;        // an ampersand is shown, not a mnemonic
constexpr uint32_t ListNotify = 0x1;             // the list reports selection and double clicks
constexpr uint32_t ListHasStrings = 0x40;        // rows are texts
constexpr uint32_t ListNoIntegralHeight = 0x100; // exactly the given height
constexpr uint32_t ButtonPush = 0x0;

constexpr uint32_t ChildVisibleGroup =
    WindowStyle::Child | WindowStyle::Visible | WindowStyle::Group;

struct ControlRecord;

// The operations of one kind of control.
struct ControlKindTable {
    ControlKind Kind;
    uint32_t Style;
    uint32_t ExStyle;
    // Takes a notification the control sent to its window; true when it was handled
    // (no further event). nullptr: the notification becomes a control event as it is.
    bool (*NotificationHandler)(ControlRecord& record, int32_t code);
    // Adds a row; nullptr when the kind holds no rows.
    int32_t (*AddItem)(ControlRecord& record, int32_t position, const Text& text);
};

struct ControlRecord {
    NativeHandle Handle = nullptr;
    const ControlKindTable* KindTable = nullptr;
    int32_t Number = 0;
    int32_t Window = 0;
    uint64_t CreationOrder = 0;
    // The list hook's press point, while a press on a row may still become a drag.
    bool PressPending = false;
    int32_t PressX = 0;
    int32_t PressY = 0;
};

struct WindowRecord {
    NativeHandle Handle = nullptr;
    std::vector<AcceleratorEntry> Accelerators;
    bool MinimizedOrMaximized = false;
    // Move and size notifications count only once the window is open.
    bool CreationFinished = false;
    int32_t SavedFocusControl = -1; // none until the first deactivation
};

struct WindowLayerState {
    std::map<int32_t, WindowRecord> Windows;
    std::map<int32_t, ControlRecord> Controls;
    int32_t CurrentControlParent = -1;
    uint64_t NextCreationOrder = 1;
};

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

const ControlKindTable LabelKind{ControlKind::Label, ChildVisibleGroup | StaticNoPrefix, 0, nullptr,
                                 nullptr};
const ControlKindTable ListKind{ControlKind::List,
                                ChildVisibleGroup | WindowStyle::VScroll | WindowStyle::HScroll |
                                    WindowStyle::TabStop | ListNoIntegralHeight | ListHasStrings |
                                    ListNotify,
                                WindowExStyle::ClientEdge, ListNotification, ListAddItem};
const ControlKindTable ButtonKind{ControlKind::Button,
                                  ChildVisibleGroup | WindowStyle::TabStop | ButtonPush, 0, nullptr,
                                  nullptr};

NativeHandle CreateControlOfKind(const ControlKindTable& kind, int32_t control, int32_t x,
                                 int32_t y, int32_t width, int32_t height, const Text& text,
                                 uint32_t flags) {
    WindowLayerState& layer = Layer();
    WindowRecord* parent = FindWindow(layer.CurrentControlParent);
    if (parent == nullptr) {
        return nullptr;
    }
    ControlParams params;
    params.Kind = kind.Kind;
    params.Number = control;
    params.Parent = parent->Handle;
    params.ParentNumber = layer.CurrentControlParent;
    params.X = x;
    params.Y = y;
    params.Width = width;
    params.Height = height;
    params.Style = kind.Style | flags;
    params.ExStyle = kind.ExStyle;
    params.Caption = text;
    NativeHandle handle = CurrentPlatform().CreateControl(params);
    if (handle == nullptr) {
        return nullptr;
    }
    // A control that already has this number goes first, with its pending events.
    if (ControlRecord* old = FindControl(control)) {
        NativeHandle oldHandle = old->Handle;
        CurrentPlatform().DestroyControl(oldHandle);
        ControlDestroyed(control, oldHandle);
    }
    ControlRecord record;
    record.Handle = handle;
    record.KindTable = &kind;
    record.Number = control;
    record.Window = params.ParentNumber;
    record.CreationOrder = layer.NextCreationOrder++;
    layer.Controls[control] = record;
    return handle;
}

// The controls of a window that the focus walk may stop on, in creation order, and the
// position of the focused one among all controls of the window.
struct FocusWalk {
    std::vector<const ControlRecord*> Controls; // every control of the window, in order
    int Focused = -1;                           // index into Controls, -1 when outside
};

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

bool IsTabStop(const ControlRecord& record) {
    return (record.KindTable->Style & WindowStyle::TabStop) != 0 &&
           CurrentPlatform().ControlCanTakeFocus(record.Handle);
}

void MoveFocus(int32_t window, bool forward) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    FocusWalk walk = CollectFocusWalk(window);
    const int count = static_cast<int>(walk.Controls.size());
    const ControlRecord* target = nullptr;
    if (forward) {
        for (int i = walk.Focused + 1; walk.Focused >= 0 && i < count && !target; ++i) {
            if (IsTabStop(*walk.Controls[i])) {
                target = walk.Controls[i];
            }
        }
        for (int i = 0; i < count && !target; ++i) { // wrap, or focus outside the window
            if (IsTabStop(*walk.Controls[i])) {
                target = walk.Controls[i];
            }
        }
    } else {
        for (int i = walk.Focused - 1; walk.Focused >= 0 && i >= 0 && !target; --i) {
            if (IsTabStop(*walk.Controls[i])) {
                target = walk.Controls[i];
            }
        }
        for (int i = count - 1; i >= 0 && !target; --i) {
            if (IsTabStop(*walk.Controls[i])) {
                target = walk.Controls[i];
            }
        }
    }
    if (target != nullptr) {
        CurrentPlatform().FocusControl(target->Handle);
    }
}

void CloseWindow(int32_t window) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    CurrentPlatform().DestroyTopLevel(record->Handle, window);
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

} // namespace

WindowStyles StylesFromFlags(uint32_t flags) {
    using namespace WindowFlag;
    uint32_t style = flags & ~KeepControlParent;
    if ((style & ~(CentreOnScreen | CentreOnParent | CreateHidden)) == 0) {
        style |= WindowStyle::Caption;
    }
    WindowStyles result;
    result.Style =
        style & ~(CentreOnScreen | CentreOnParent | ToolWindow | ShowNoActivate | CreateHidden);
    result.ExStyle = (flags & ToolWindow) != 0 ? WindowExStyle::ToolWindow : 0;
    return result;
}

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

    const WindowStyles styles = StylesFromFlags(flags);
    const PixelRect outer =
        platform.OuterRectForClient(clientWidth, clientHeight, styles.Style, styles.ExStyle);
    TopLevelParams params;
    params.Number = window;
    params.X = x;
    params.Y = y;
    params.PlatformPosition =
        x == PlatformPosition ||
        (y == PlatformPosition &&
         (flags & (WindowFlag::CentreOnScreen | WindowFlag::CentreOnParent)) == 0);
    params.OuterWidth = outer.Width();
    params.OuterHeight = outer.Height();
    params.ClientWidth = clientWidth;
    params.ClientHeight = clientHeight;
    params.Title = title;
    params.Style = styles.Style;
    params.ExStyle = styles.ExStyle;
    NativeHandle handle = platform.CreateTopLevel(params);
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
    if ((flags & WindowFlag::CreateHidden) == 0) {
        platform.ShowTopLevel(handle, (flags & WindowFlag::ShowNoActivate) != 0
                                          ? ShowMode::NoActivate
                                          : ShowMode::Normal);
    }
    // Showing may have run handlers that closed or replaced the window.
    WindowRecord* record = FindWindow(window);
    if (record == nullptr || record->Handle != handle) {
        return nullptr;
    }
    constexpr uint8_t tabFlags = AcceleratorFlag::VirtualKey | AcceleratorFlag::NoInvert;
    record->Accelerators = {
        AcceleratorEntry{tabFlags, VirtualKeyTab, static_cast<uint16_t>(FocusNextCommand)},
        AcceleratorEntry{static_cast<uint8_t>(tabFlags | AcceleratorFlag::Shift), VirtualKeyTab,
                         static_cast<uint16_t>(FocusPreviousCommand)}};
    platform.InstallAccelerators(handle, record->Accelerators);
    if ((flags & WindowFlag::KeepControlParent) == 0) {
        layer.CurrentControlParent = window;
    }
    record->CreationFinished = true;
    return handle;
}

NativeHandle CreateTextLabel(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                             const Text& text, uint32_t flags) {
    return CreateControlOfKind(LabelKind, control, x, y, width, height, text, flags);
}

NativeHandle CreateListControl(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                               uint32_t flags) {
    return CreateControlOfKind(ListKind, control, x, y, width, height, Text(), flags);
}

NativeHandle CreatePushButton(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                              const Text& text, uint32_t flags) {
    return CreateControlOfKind(ButtonKind, control, x, y, width, height, text, flags);
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

int32_t CurrentControlParent() {
    return Layer().CurrentControlParent;
}

NativeHandle WindowHandle(int32_t window) {
    const WindowRecord* record = FindWindow(window);
    return record == nullptr ? nullptr : record->Handle;
}

NativeHandle ControlHandle(int32_t control) {
    const ControlRecord* record = FindControl(control);
    return record == nullptr ? nullptr : record->Handle;
}

void ResetWindowLayer() {
    Layer() = WindowLayerState();
}

// ---- entry points for the platform's handlers ---------------------------------------

void WindowCommand(int32_t window, int32_t command) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    if (command == FocusNextCommand || command == FocusPreviousCommand) {
        MoveFocus(window, command == FocusNextCommand);
        CurrentPlatform().SetKeyboardCues(record->Handle, true);
        return;
    }
    PostEvent(EventKind::MenuEvent, command, window, 0);
}

void ControlCommand(int32_t control, int32_t notificationCode) {
    ControlRecord* record = FindControl(control);
    if (record == nullptr) {
        return;
    }
    if (record->KindTable->NotificationHandler != nullptr &&
        record->KindTable->NotificationHandler(*record, notificationCode)) {
        return;
    }
    PostEvent(EventKind::ControlEvent, control, record->Window, notificationCode);
}

void WindowCloseRequested(int32_t window) {
    if (FindWindow(window) != nullptr) {
        PostEvent(EventKind::CloseEvent, window, window, 0);
    }
}

void WindowActivated(int32_t window) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    if (const ControlRecord* saved = FindControl(record->SavedFocusControl)) {
        if (saved->Window == window) {
            CurrentPlatform().FocusControl(saved->Handle);
        }
    }
    PostEvent(EventKind::ActivateEvent, 0, window, 0);
}

void WindowDeactivated(int32_t window) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    const FocusWalk walk = CollectFocusWalk(window);
    record->SavedFocusControl = walk.Focused >= 0 ? walk.Controls[walk.Focused]->Number : -1;
    CurrentPlatform().SetKeyboardCues(record->Handle, false);
    PostEvent(EventKind::DeactivateEvent, 0, window, 0);
}

void WindowBackgroundErased(int32_t window) {
    if (FindWindow(window) != nullptr) {
        PostEvent(EventKind::RepaintEvent, 0, window, 0);
    }
}

void WindowMoved(int32_t window) {
    const WindowRecord* record = FindWindow(window);
    if (record != nullptr && record->CreationFinished) {
        PostEvent(EventKind::MoveEvent, window, window, 0);
    }
}

void WindowSizeChanged(int32_t window, SizeChange change) {
    WindowRecord* record = FindWindow(window);
    if (record == nullptr || !record->CreationFinished) {
        return;
    }
    auto postSize = [window] {
        DropPendingEvents(EventKind::SizeEvent, -1, window);
        PostEvent(EventKind::SizeEvent, window, window, 0);
    };
    switch (change) {
    case SizeChange::Minimized:
        record->MinimizedOrMaximized = true;
        PostEvent(EventKind::MinimizeEvent, 0, window, 0);
        break;
    case SizeChange::Maximized:
        record->MinimizedOrMaximized = true;
        PostEvent(EventKind::MaximizeEvent, 0, window, 0);
        postSize();
        break;
    case SizeChange::Restored:
        if (record->MinimizedOrMaximized) {
            record->MinimizedOrMaximized = false;
            PostEvent(EventKind::RestoreEvent, 0, window, 0);
        }
        postSize();
        break;
    }
}

void WindowClicked(int32_t window, WindowClick click) {
    if (FindWindow(window) == nullptr) {
        return;
    }
    switch (click) {
    case WindowClick::LeftUp:
        PostEvent(EventKind::LeftClickEvent, 0, window, 0);
        break;
    case WindowClick::LeftDoubleClick:
        PostEvent(EventKind::LeftDoubleClickEvent, 0, window, 0);
        break;
    case WindowClick::RightUp:
        PostEvent(EventKind::RightClickEvent, 0, window, 0);
        break;
    }
}

void ListLeftPressed(int32_t control, int32_t x, int32_t y, bool onRow, bool plain) {
    ControlRecord* record = FindControl(control);
    if (record == nullptr || !onRow || !plain) {
        return;
    }
    record->PressPending = true;
    record->PressX = x;
    record->PressY = y;
    CurrentPlatform().CapturePointer(record->Handle);
}

void ListPointerMoved(int32_t control, int32_t x, int32_t y) {
    ControlRecord* record = FindControl(control);
    if (record == nullptr || !record->PressPending) {
        return;
    }
    const PixelSize drag = CurrentPlatform().DragDistance();
    if (std::abs(x - record->PressX) > drag.Width || std::abs(y - record->PressY) > drag.Height) {
        record->PressPending = false;
        CurrentPlatform().ReleasePointer();
        PostEvent(EventKind::ControlEvent, control, record->Window, ListEventType::Dragged);
    }
}

void ListLeftReleased(int32_t control) {
    ControlRecord* record = FindControl(control);
    if (record == nullptr || !record->PressPending) {
        return;
    }
    record->PressPending = false;
    CurrentPlatform().ReleasePointer();
    PostEvent(EventKind::ControlEvent, control, record->Window, ListEventType::Selected);
}

void ListRightReleased(int32_t control) {
    const ControlRecord* record = FindControl(control);
    if (record != nullptr) {
        PostEvent(EventKind::ControlEvent, control, record->Window, ListEventType::RightReleased);
    }
}

void ControlDestroyed(int32_t control, NativeHandle handle) {
    const ControlRecord* record = FindControl(control);
    if (record == nullptr || record->Handle != handle) {
        return;
    }
    Layer().Controls.erase(control);
    DropPendingEvents(EventKind::ControlEvent, control, -1);
}

} // namespace rz
