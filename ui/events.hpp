// The event layer: a first-in first-out queue of small event records, filled by the
// platform's handlers and emptied one entry per WaitEvent.
#pragma once

#include <cstdint>
#include <deque>

namespace rz {

// WaitEvent gives back an event kind or a platform message number in the same word, so
// the kinds sit where no system message does: those all lie below WM_USER (1024). A
// window class's private messages may still carry these numbers; the Win32 loop
// reports such a message as WM_NULL, so it is never taken for an event.
namespace EventKind {
inline constexpr uint32_t ControlEvent = 13100;
inline constexpr uint32_t MenuEvent = 13101;
inline constexpr uint32_t ActivateEvent = 13104;
inline constexpr uint32_t MinimizeEvent = 13107;
inline constexpr uint32_t MaximizeEvent = 13108;
inline constexpr uint32_t RestoreEvent = 13109;
inline constexpr uint32_t TimerEvent = 13110; // the program sets no timer
inline constexpr uint32_t RightClickEvent = 13111;
inline constexpr uint32_t LeftClickEvent = 13112;
inline constexpr uint32_t LeftDoubleClickEvent = 13113;
inline constexpr uint32_t DeactivateEvent = 13114;
inline constexpr uint32_t RepaintEvent = 13115;
inline constexpr uint32_t CloseEvent = 13116;
inline constexpr uint32_t MoveEvent = 13117;
inline constexpr uint32_t SizeEvent = 13118;
inline constexpr uint32_t First = 13100;
inline constexpr uint32_t Last = 13118;
} // namespace EventKind

// Type field of a ControlEvent raised by a list (a button's type is its notification code).
namespace ListEventType {
inline constexpr int32_t Selected = 0; // selection changed, or released after a press on a row
inline constexpr int32_t RightReleased = 1;
inline constexpr int32_t DoubleClicked = 2;
// Far from the click types above and from every notification code a control sends
// (all small numbers), so a drag is never read as a selection or a click.
inline constexpr int32_t Dragged = 14002;
} // namespace ListEventType

struct QueuedEvent {
    uint32_t Kind = 0;
    int32_t Control = 0;
    int32_t Window = 0;
    int32_t Type = 0;
    bool operator==(const QueuedEvent&) const = default;
};

struct CurrentEventRecord {
    uint32_t Kind = 0;   // 0 when the last wait returned a platform message
    int32_t Window = 0;  // of the last event taken from the queue
    int32_t Control = 0; // of the last event taken from the queue
    int32_t Type = 0;    // -1 when the last wait returned a platform message
};

struct EventLayerState {
    std::deque<QueuedEvent> EventQueue;
    CurrentEventRecord CurrentEvent;
    uint32_t EventSuppressCount = 0; // events posted while above 0 are discarded
};

// The process-wide event layer (one thread uses it).
EventLayerState& EventLayer();
// Back to the state at program start: empty queue, zeroed CurrentEvent, no suppression.
void ResetEventLayer();

// Removes every queued event whose fields match; -1 matches any value in a field.
void DropPendingEvents(int64_t kind, int32_t control, int32_t window);

// Takes the next queued event, or waits for and dispatches one platform message. Returns
// the event's kind, or the platform message number.
uint32_t WaitEvent();

// The control field of the last event taken from the queue (0 before the first).
int32_t LastEventControl();

} // namespace rz
