// The portable event, window and dialog layers on the scripted platform.
#include "scripted_platform.hpp"

#include "core/board_state.hpp"
#include "ui/platform_dialogs.hpp"

namespace rz::testing {
namespace {

using namespace EventKind;
using Events = std::vector<QueuedEvent>;

TEST_F(UiTest, OnlyAnIdenticalLastEntryIsCoalescedAndSuppressedEventsAreLost) {
    const QueuedEvent click = Ev(ControlEvent, 4);
    const struct {
        Events posted;
        size_t kept; // the first entries of posted
    } cases[] = {
        {{click, click}, 1},
        {{click, Ev(ControlEvent, 4, 0, 2), Ev(ControlEvent, 5), Ev(ControlEvent, 5, 1)}, 4},
        {{click, Ev(MenuEvent, 4), Ev(RepaintEvent, 0), click}, 4},
        {{Ev(70000, 1), Ev(70000, 1)}, 2}, // kinds beyond the layer's own
    };
    for (const auto& c : cases) {
        ResetEventLayer();
        Post(c.posted);
        EXPECT_EQ(Queue(), Events(c.posted.begin(), c.posted.begin() + c.kept));
    }
    OpenMain();
    CreateListControl(0, 10, 30, 100, 350);
    // A list may report the new row as a selection change while it is inserted.
    platform.OnAppendRow = [] {
        ControlCommand(0, ControlNotification::ListSelectionChanged);
        PostEvent(ControlEvent, 4, 0, 0);
    };
    EventLayer().EventQueue.clear();
    EXPECT_EQ(AddListItem(0, -1, u"0.762"), 0);
    EXPECT_EQ(AddListItem(0, -1, u"1.016"), 0);
    EXPECT_EQ(AddListItem(1, -1, u"no such list"), 0);
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(platform.Of(platform.Find(0)).Rows, (std::vector<Text>{u"0.762", u"1.016"}));
    ControlCommand(0, ControlNotification::ListSelectionChanged);
    EXPECT_EQ(Queue(), (Events{Ev(ControlEvent, 0)})) << "suppression ends with the row";
}

TEST_F(UiTest, ADestroyedControlOrClosedWindowTakesItsPendingEventsAlong) {
    OpenMain();
    CreateListControl(0, 10, 30, 100, 350);
    const QueuedEvent other = Ev(ControlEvent, 1), move = Ev(MoveEvent, 0), elsewhere = Ev(7, 7, 7);
    EventLayer().EventQueue.clear();
    Post({Ev(ControlEvent, 0), other, move, Ev(ControlEvent, 0, 7), elsewhere});
    CreateListControl(0, 10, 30, 100, 350); // the new list takes over the number
    EXPECT_EQ(Queue(), (Events{other, move, elsewhere}));
    CloseAllWindows();
    EXPECT_EQ(Queue(), (Events{elsewhere}));
}

TEST_F(UiTest, EventsComeInOrderAndPlatformMessagesKeepTheLastEventsControl) {
    Post({Ev(ActivateEvent, 0), Ev(ControlEvent, 1, 3, 2)});
    // A click whose release message, dispatched, makes a button notify its window.
    platform.Then([] { PostEvent(ControlEvent, 4, 0, 0); }, 0x0202);
    platform.Then([] {}, 0x000F);
    EXPECT_EQ(LastEventControl(), 0) << "zero before the first event";
    EXPECT_EQ(WaitEvent(), ActivateEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(platform.Waits, 0) << "no platform message while events are queued";
    EXPECT_EQ(EventLayer().CurrentEvent.Type, 2);
    EXPECT_EQ(WaitEvent(), 0x0202u);
    const CurrentEventRecord& now = EventLayer().CurrentEvent;
    EXPECT_EQ(std::tie(now.Kind, now.Type, now.Window, now.Control), std::make_tuple(0u, -1, 3, 1));
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(WaitEvent(), 0x000Fu);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_THROW(WaitEvent(), std::out_of_range);
}

TEST_F(UiTest, AListPressBecomesADragOnlyBeyondTheDragDistance) {
    OpenMain();
    CreateListControl(1, 120, 30, 110, 350);
    EventLayer().EventQueue.clear();
    ListLeftPressed(1, 10, 10, false, true); // beside the rows: no drag can start
    ListPointerMoved(1, 50, 50);
    ListLeftPressed(1, 10, 10, true, false); // with Shift or Ctrl
    ListPointerMoved(1, 50, 50);
    EXPECT_TRUE(Queue().empty());
    ListLeftPressed(1, 10, 10, true, true);
    EXPECT_EQ(platform.Captured, platform.Find(1));
    ListPointerMoved(1, 14, 6); // the distance itself is no drag yet
    ListLeftReleased(1);
    ListLeftPressed(1, 10, 10, true, true);
    ListPointerMoved(1, 10, 15);
    ListLeftReleased(1); // the drag has ended the press
    ListRightReleased(1);
    EXPECT_EQ(platform.Captured, nullptr);
    EXPECT_EQ(Queue(), (Events{Ev(ControlEvent, 1, 0, ListEventType::Selected),
                               Ev(ControlEvent, 1, 0, ListEventType::Dragged),
                               Ev(ControlEvent, 1, 0, ListEventType::RightReleased)}));
}

TEST_F(UiTest, TheMainWindowOpensCentredAndTabWalksItsTabStops) {
    BoardState state;
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(platform.Log.front(),
              "style " + std::to_string(WindowStyle::Caption | WindowStyle::SysMenu));
    // The outer rectangle, frame included, stands in the middle of the screen.
    const PixelRect outer = platform.Of(platform.Find(MainWindow, true)).Outer;
    EXPECT_EQ(outer.Width(), 246);
    EXPECT_EQ(outer.Left + outer.Right, platform.Screen.Width);
    EXPECT_LE(std::abs(outer.Top + outer.Bottom - platform.Screen.Height), 1);
    EXPECT_EQ(platform.Focused, nullptr) << "opening gives no control the focus";
    EXPECT_EQ(Queue(), (Events{Ev(ActivateEvent, 0)})) << "the move while opening is no event";
    EventLayer().EventQueue.clear();
    // {from, command, to}; labels never get the focus, but the walk goes on after one.
    const int32_t walk[][3] = {{-1, 64001, 0}, {0, 64001, 1},  {1, 64001, 4}, {4, 64001, 5},
                               {5, 64001, 0},  {-1, 64002, 5}, {5, 64002, 4}, {4, 64002, 1},
                               {1, 64002, 0},  {0, 64002, 5},  {2, 64001, 0}, {3, 64002, 5}};
    for (const auto& w : walk) {
        platform.Focused = w[0] < 0 ? nullptr : platform.Find(w[0]);
        WindowCommand(0, w[1]);
        EXPECT_EQ(platform.Focused, platform.Find(w[2])) << "from " << w[0] << " by " << w[1];
        EXPECT_TRUE(platform.CuesShown);
    }
    platform.Of(platform.Find(AfterList)).Enabled = false;
    platform.Focused = platform.Find(BeforeList);
    FocusNextControl(MainWindow);
    EXPECT_EQ(platform.Focused, platform.Find(ApplyButton)) << "a disabled control is passed";
    EXPECT_TRUE(Queue().empty()) << "focus moves raise no event";
    WindowDeactivated(0);
    EXPECT_FALSE(platform.CuesShown);
    platform.Focused = nullptr; // another window took it
    WindowActivated(0);
    EXPECT_EQ(platform.Focused, platform.Find(ApplyButton));
    EXPECT_EQ(Queue(), (Events{Ev(DeactivateEvent, 0), Ev(ActivateEvent, 0)}));
}

TEST_F(UiTest, TheOpenDialogGetsTheToolsTextsAndOnlyAPlainNamePart) {
    PlatformDialogs dialogs;
    const Text filter = u"PCB-datei (*.kicad_pcb)| *.kicad_pcb";
    const struct {
        Text defaultFile;
        Text field; // what the name field starts with
        bool hasFolder;
        Text folder;
    } cases[] = {
        {u"test.kicad_pcb", u"test.kicad_pcb", true, u""},
        {u"C:\\pcb\\test.kicad_pcb", u"test.kicad_pcb", true, u"C:\\pcb"},
        {u"C:\\pcb\\*.kicad_pcb", u"", true, u"C:\\pcb"},
        {u"\\test.kicad_pcb", u"", true, u""}, // a first backslash does not split
        {u"a/b.kicad_pcb", u"", true, u""},
        {u"", u"", false, u""},
    };
    platform.OpenDialogAnswer = [](const OpenDialogRequest& r) { return r.Title + u"!"; };
    for (const auto& c : cases) {
        EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", c.defaultFile, filter, 0),
                  u"Lade PCB-Datei!");
        const OpenDialogRequest& q = platform.OpenDialogs.back();
        EXPECT_EQ(std::tie(q.FileName, q.HasInitialFolder, q.InitialFolder),
                  std::tie(c.field, c.hasFolder, c.folder))
            << TextToUtf8(c.defaultFile);
    }
    const OpenDialogRequest& r = platform.OpenDialogs.at(0);
    ASSERT_EQ(r.Filters.size(), 1u);
    EXPECT_EQ(std::tie(r.Filters[0].Description, r.Filters[0].Pattern, r.FilterIndex),
              std::make_tuple(u"PCB-datei (*.kicad_pcb)", u" *.kicad_pcb", 1));
    EXPECT_EQ(r.Options, 0x8080Cu) << "a missing file may be named";
    EXPECT_EQ(r.Owner, nullptr) << "no window of ours is up yet";
    for (const auto& [pieces, pairs] :
         {std::pair<Text, size_t>{u"", 0}, {u"A|*.a|B|*.b", 2}, {u"A|*.a|B", 1}, {u"A||", 1}}) {
        EXPECT_EQ(FilterPairs(pieces).size(), pairs) << TextToUtf8(pieces);
    }
    for (const Text plain : {u"Übernahme 2 (neu).kicad_pcb", u" ", u"a.b.c"}) {
        EXPECT_TRUE(IsPlainFileName(plain));
    }
    for (const Text odd : {u"a?", u"a\"b", u"C:x", u"<a", u"a>", u"a|b", u"a\tb", u"\x1F"}) {
        EXPECT_FALSE(IsPlainFileName(odd));
    }
    NativeHandle main = OpenMain(); // the foreground window owns the dialogs
    EXPECT_EQ(dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0), 1);
    EXPECT_EQ(platform.Boxes.at(0),
              std::make_tuple(main, u"Information", u"Datei ist nicht vorhanden"));
}

} // namespace
} // namespace rz::testing
