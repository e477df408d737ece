#include "ui/events.hpp"

#include "ui/platform.hpp"

#include <algorithm>

namespace rz {

namespace {

// Kinds from 65536 up are left to a program's own events, where every one may count;
// the layer's own kinds all lie below.
constexpr uint32_t FirstUncoalescedKind = 65536;

} // namespace

EventLayerState& EventLayer() {
    static EventLayerState state;
    return state;
}

void ResetEventLayer() {
    EventLayer() = EventLayerState();
}

void PostEvent(uint32_t kind, int32_t control, int32_t window, int32_t type) {
    EventLayerState& s = EventLayer();
    if (s.EventSuppressCount > 0) {
        return;
    }
    // Two identical events nobody has taken yet are stored once: a click can report
    // itself twice (release and selection change), a repaint many times.
    const QueuedEvent event{kind, control, window, type};
    if (kind < FirstUncoalescedKind && !s.EventQueue.empty() && s.EventQueue.back() == event) {
        return;
    }
    s.EventQueue.push_back(event);
}

void DropPendingEvents(int64_t kind, int32_t control, int32_t window) {
    auto& queue = EventLayer().EventQueue;
    auto matches = [&](const QueuedEvent& e) {
        return (kind == -1 || static_cast<int64_t>(e.Kind) == kind) &&
               (control == -1 || e.Control == control) && (window == -1 || e.Window == window);
    };
    queue.erase(std::remove_if(queue.begin(), queue.end(), matches), queue.end());
}

uint32_t WaitEvent() {
    EventLayerState& s = EventLayer();
    CurrentEventRecord& current = s.CurrentEvent;
    current.Kind = 0;
    current.Type = -1;

    if (!s.EventQueue.empty()) {
        const QueuedEvent next = s.EventQueue.front();
        s.EventQueue.pop_front();
        current = CurrentEventRecord{next.Kind, next.Window, next.Control, next.Type};
        return next.Kind;
    }
    // Control and window keep the last event's values: the driver's loop must not see
    // a platform message as a decision.
    return CurrentPlatform().WaitPlatformMessage();
}

int32_t LastEventControl() {
    return EventLayer().CurrentEvent.Control;
}

} // namespace rz
