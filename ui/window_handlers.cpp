// The entry points through which a platform reports what happened to the windows and
// controls of the layer: each turns a report into events, or into a focus move.
#include "ui/events.hpp"
#include "ui/platform.hpp"
#include "ui/window_layer.hpp"
#include "ui/window_records.hpp"

#include <cstdlib>

namespace rz {

using namespace detail;

void WindowCommand(int32_t window, int32_t command) {
    const WindowRecord* record = FindWindow(window);
    if (record == nullptr) {
        return;
    }
    if (command == FocusNextCommand || command == FocusPreviousCommand) {
        if (command == FocusNextCommand) {
            FocusNextControl(window);
        } else {
            FocusPreviousControl(window);
        }
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
    const WindowRecord* record = FindWindow(window);
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
    // Only the newest size counts: an older one still queued goes.
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
