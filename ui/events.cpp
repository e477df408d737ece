#include "ui/events.hpp"

#include "ui/platform.hpp"

#include <algorithm>

namespace rz {

namespace {
EventLayerState& State() {
    static EventLayerState state;
    return state;
}
} // namespace

EventLayerState& EventLayer() {
    return State();
}

void ResetEventLayer() {
    State() = EventLayerState();
}

void PostEventWithFlags(uint32_t kind, int32_t control, int32_t window, int32_t type,
                        uint32_t flags) {
    EventLayerState& s = State();
    if (s.EventSuppressCount > 0 && (flags & PostFlag::EvenWhenSuppressed) == 0) {
        return;
    }
    // Two identical events nobody has taken yet are stored once: a click can report
    // itself twice (release and selection change), a repaint many times.
    if ((flags & PostFlag::NoCoalescing) == 0 && kind < 65536 && !s.EventQueue.empty()) {
        const QueuedEvent& last = s.EventQueue.back();
        if (last.Kind == kind && last.Control == control && last.Window == window &&
            last.Type == type) {
            return;
        }
    }
    s.EventQueue.push_back(QueuedEvent{kind, flags, control, window, type});
}

void PostEvent(uint32_t kind, int32_t control, int32_t window, int32_t type) {
    PostEventWithFlags(kind, control, window, type, 0);
}

void DropPendingEvents(int64_t kind, int32_t control, int32_t window) {
    auto& queue = State().EventQueue;
    auto matches = [&](const QueuedEvent& e) {
        return (kind == -1 || static_cast<int64_t>(e.Kind) == kind) &&
               (control == -1 || e.Control == control) && (window == -1 || e.Window == window);
    };
    queue.erase(std::remove_if(queue.begin(), queue.end(), matches), queue.end());
}

uint32_t WaitEvent() {
    EventLayerState& s = State();
    CurrentEventRecord& current = s.CurrentEvent;
    current.Kind = 0;
    current.Type = -1;

    if (!s.EventQueue.empty()) {
        const QueuedEvent next = s.EventQueue.front();
        s.EventQueue.pop_front();
        current.Kind = next.Kind;
        current.Control = next.Control;
        current.Window = next.Window;
        current.Type = next.Type;
        return next.Kind;
    }
    // Control and window keep the last event's values: the driver's loop must not see
    // a platform message as a decision.
    return CurrentPlatform().WaitPlatformMessage();
}

int32_t LastEventControl() {
    return State().CurrentEvent.Control;
}

const CurrentEventRecord& CurrentEvent() {
    return State().CurrentEvent;
}

} // namespace rz
