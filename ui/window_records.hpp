// The window layer's records, shared by its operations (window_layer.cpp) and by the
// entry points through which the platform reports what happened (window_handlers.cpp).
#pragma once

#include "text/text.hpp"
#include "ui/platform.hpp"

#include <cstdint>
#include <map>
#include <vector>

namespace rz::detail {

struct ControlRecord;

// The operations of one kind of control.
struct ControlKindTable {
    ControlKind Kind;
    bool TabStop; // Tab and Shift+Tab stop on it
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
    uint64_t CreationOrder = 0; // the tab order
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

WindowLayerState& Layer();
ControlRecord* FindControl(int32_t control);
WindowRecord* FindWindow(int32_t window);

// The controls of a window in creation order, and the index of the focused one among
// them (-1 when the focus is elsewhere).
struct FocusWalk {
    std::vector<const ControlRecord*> Controls;
    int Focused = -1;
};
FocusWalk CollectFocusWalk(int32_t window);

} // namespace rz::detail
