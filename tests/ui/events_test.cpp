// The event queue: order, coalescing, suppression, dropping, and what the last event's
// control is across waits.
#include "ui_fixture.hpp"

#include "ui/main_window.hpp"

namespace rz::testing {
namespace {

using namespace EventKind;

class EventQueueTest : public UiTest {};

TEST_F(EventQueueTest, EventsComeOutInTheOrderTheyWerePosted) {
    PostEvent(ActivateEvent, 0, 0, 0);
    PostEvent(ControlEvent, 1, 0, 0);
    PostEvent(ControlEvent, 4, 0, 0);
    EXPECT_EQ(WaitEvent(), ActivateEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 1);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(platform.Waits, 0) << "no platform message is read while events are queued";
}

TEST_F(EventQueueTest, OnlyAnIdenticalLastEntryIsCoalesced) {
    struct Case {
        const char* name;
        std::vector<QueuedEvent> posted;
        std::vector<QueuedEvent> queued;
    };
    const QueuedEvent click = Ev(ControlEvent, 4, 0, 0);
    const std::vector<Case> cases = {
        {"twice the same", {click, click}, {click}},
        {"other type", {click, Ev(ControlEvent, 4, 0, 2)}, {click, Ev(ControlEvent, 4, 0, 2)}},
        {"other control", {click, Ev(ControlEvent, 5, 0, 0)}, {click, Ev(ControlEvent, 5, 0, 0)}},
        {"other window", {click, Ev(ControlEvent, 4, 1, 0)}, {click, Ev(ControlEvent, 4, 1, 0)}},
        {"other kind", {click, Ev(MenuEvent, 4, 0, 0)}, {click, Ev(MenuEvent, 4, 0, 0)}},
        {"not last any more",
         {click, Ev(RepaintEvent, 0, 0, 0), click},
         {click, Ev(RepaintEvent, 0, 0, 0), click}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEventLayer();
        for (const QueuedEvent& e : c.posted) {
            PostEvent(e.Kind, e.Control, e.Window, e.Type);
        }
        EXPECT_EQ(Queue(), c.queued);
    }
}

TEST_F(EventQueueTest, CoalescingCanBeTurnedOffAndSparesHighKinds) {
    PostEventWithFlags(ControlEvent, 4, 0, 0, 0);
    PostEventWithFlags(ControlEvent, 4, 0, 0, PostFlag::NoCoalescing);
    PostEventWithFlags(70000, 1, 0, 0, 0);
    PostEventWithFlags(70000, 1, 0, 0, 0);
    EXPECT_EQ(Queue().size(), 4u);
}

TEST_F(EventQueueTest, SuppressedEventsAreDiscardedUnlessForced) {
    EventLayer().EventSuppressCount = 1;
    PostEvent(ControlEvent, 0, 0, 0);
    PostEventWithFlags(ControlEvent, 1, 0, 0, PostFlag::EvenWhenSuppressed);
    EventLayer().EventSuppressCount = 0;
    PostEvent(ControlEvent, 5, 0, 0);
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{
                           QueuedEvent{ControlEvent, PostFlag::EvenWhenSuppressed, 1, 0, 0},
                           Ev(ControlEvent, 5, 0, 0)}));
}

TEST_F(EventQueueTest, EventsRaisedWhileARowIsAddedAreDiscarded) {
    OpenMain();
    CreateListControl(0, 10, 30, 100, 350);
    // A list may report the new row as a selection change while it is inserted.
    platform.OnAppendRow = [](NativeHandle, const Text&) {
        ControlCommand(0, ControlNotification::ListSelectionChanged);
        PostEvent(ControlEvent, 4, 0, 0);
    };
    EventLayer().EventQueue.clear();
    EXPECT_EQ(AddListItem(0, -1, u"0.762"), 0);
    EXPECT_EQ(AddListItem(0, -1, u"1.016"), 0);
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(EventLayer().EventSuppressCount, 0u);
    EXPECT_EQ(platform.Of(ControlHandle(0)).Rows, (std::vector<Text>{u"0.762", u"1.016"}));
    // Afterwards the same notification is an event again.
    ControlCommand(0, ControlNotification::ListSelectionChanged);
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{Ev(ControlEvent, 0, 0, 0)}));
}

TEST_F(EventQueueTest, DropPendingEventsMatchesEveryGivenField) {
    struct Case {
        const char* name;
        int64_t kind;
        int32_t control;
        int32_t window;
        std::vector<QueuedEvent> left;
    };
    const std::vector<QueuedEvent> posted = {Ev(ControlEvent, 1, 0, 0), Ev(ControlEvent, 4, 0, 0),
                                             Ev(MoveEvent, 0, 0, 0), Ev(ControlEvent, 1, 7, 0)};
    const std::vector<Case> cases = {
        {"one control's events", ControlEvent, 1, -1, {posted[1], posted[2]}},
        {"one window's events", -1, -1, 0, {posted[3]}},
        {"one kind", MoveEvent, -1, -1, {posted[0], posted[1], posted[3]}},
        {"nothing matches", SizeEvent, -1, -1, posted},
        {"everything", -1, -1, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEventLayer();
        for (const QueuedEvent& e : posted) {
            PostEvent(e.Kind, e.Control, e.Window, e.Type);
        }
        DropPendingEvents(c.kind, c.control, c.window);
        EXPECT_EQ(Queue(), c.left);
    }
}

TEST_F(EventQueueTest, APlatformMessageKeepsTheLastEventsControlAndWindow) {
    PostEvent(ControlEvent, 1, 3, 2);
    platform.ThenNothing(0x0200);
    platform.ThenNothing(0x000F);
    EXPECT_EQ(LastEventControl(), 0) << "zero before the first event";
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(CurrentEvent().Type, 2);
    EXPECT_EQ(WaitEvent(), 0x0200u);
    EXPECT_EQ(CurrentEvent().Kind, 0u);
    EXPECT_EQ(CurrentEvent().Type, -1);
    EXPECT_EQ(CurrentEvent().Window, 3);
    EXPECT_EQ(LastEventControl(), 1);
    EXPECT_EQ(WaitEvent(), 0x000Fu);
    EXPECT_EQ(LastEventControl(), 1);
}

TEST_F(EventQueueTest, EventsPostedWhileAMessageIsDispatchedComeWithLaterWaits) {
    OpenMain();
    CreatePushButton(4, 10, 390, 220, 30, u"Neue Rezurudev Übernehmen");
    EventLayer().EventQueue.clear();
    // A click: the release message is dispatched and the button notifies its window.
    platform.Then([] { ControlCommand(4, ControlNotification::ButtonClicked); }, 0x0202);
    EXPECT_EQ(WaitEvent(), 0x0202u);
    EXPECT_EQ(LastEventControl(), 0);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(CurrentEvent().Type, 0);
}

} // namespace
} // namespace rz::testing
