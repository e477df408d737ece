// The portable event, window and dialog layers on the scripted platform: queue order,
// coalescing, suppression, dropping, the last event's control across waits; window
// flags, centring and records, the focus walk, what notifications become; the open
// dialog's filter and default file, and the modal guard.
#include "scripted_platform.hpp"
#include "ui/platform_dialogs.hpp"

namespace rz::testing {
namespace {

using namespace EventKind;
using Events = std::vector<QueuedEvent>;

class EventQueueTest : public UiTest {};

TEST_F(EventQueueTest, EventsComeOutInTheOrderTheyWerePostedWithoutPlatformWaits) {
    Post({Ev(ActivateEvent, 0), Ev(ControlEvent, 1), Ev(ControlEvent, 4)});
    EXPECT_EQ(WaitEvent(), ActivateEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 1);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(platform.Waits, 0);
}

TEST_F(EventQueueTest, OnlyAnIdenticalLastEntryIsCoalescedAndOnlyForcedEventsBeatSuppression) {
    const QueuedEvent click = Ev(ControlEvent, 4);
    const struct {
        Events posted;
        size_t kept; // the first entries of posted
    } cases[] = {
        {{click, click}, 1},
        {{click, Ev(ControlEvent, 4, 0, 2), Ev(ControlEvent, 5), Ev(ControlEvent, 5, 1)}, 4},
        {{click, Ev(MenuEvent, 4), Ev(RepaintEvent, 0), click}, 4},
        {{click, QueuedEvent{ControlEvent, PostFlag::NoCoalescing, 4, 0, 0}}, 2},
        {{Ev(70000, 1), Ev(70000, 1)}, 2}, // kinds beyond the event kinds
    };
    for (const auto& c : cases) {
        ResetEventLayer();
        Post(c.posted);
        EXPECT_EQ(Queue(), Events(c.posted.begin(), c.posted.begin() + c.kept));
    }
    ResetEventLayer();
    const QueuedEvent forced{ControlEvent, PostFlag::EvenWhenSuppressed, 1, 0, 0};
    EventLayer().EventSuppressCount = 1;
    Post({Ev(ControlEvent, 0), forced});
    EventLayer().EventSuppressCount = 0;
    Post({Ev(ControlEvent, 5)});
    EXPECT_EQ(Queue(), (Events{forced, Ev(ControlEvent, 5)}));
}

TEST_F(EventQueueTest, EventsRaisedWhileARowIsAddedAreDiscarded) {
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
    EXPECT_EQ(AddListItem(7, -1, u"no such list"), 0);
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(EventLayer().EventSuppressCount, 0u);
    EXPECT_EQ(platform.Of(ControlHandle(0)).Rows, (std::vector<Text>{u"0.762", u"1.016"}));
    ControlCommand(0, ControlNotification::ListSelectionChanged);
    EXPECT_EQ(Queue(), (Events{Ev(ControlEvent, 0)}));
}

TEST_F(EventQueueTest, DropPendingEventsMatchesEveryGivenField) {
    const Events posted = {Ev(ControlEvent, 1), Ev(ControlEvent, 4), Ev(MoveEvent, 0),
                           Ev(ControlEvent, 1, 7)};
    const struct {
        int64_t kind;
        int32_t control, window;
        Events left;
    } cases[] = {
        {ControlEvent, 1, -1, {posted[1], posted[2]}},
        {-1, -1, 0, {posted[3]}},
        {MoveEvent, -1, -1, {posted[0], posted[1], posted[3]}},
        {SizeEvent, -1, -1, posted},
        {-1, -1, -1, {}},
    };
    for (const auto& c : cases) {
        ResetEventLayer();
        Post(posted);
        DropPendingEvents(c.kind, c.control, c.window);
        EXPECT_EQ(Queue(), c.left) << c.kind << " " << c.control << " " << c.window;
    }
}

TEST_F(EventQueueTest, APlatformMessageKeepsTheLastEventsControlAndWindow) {
    PostEvent(ControlEvent, 1, 3, 2);
    // A click whose release message, dispatched, makes a button notify its window.
    platform.Then([] { PostEvent(ControlEvent, 4, 0, 0); }, 0x0202);
    platform.Then([] {}, 0x000F);
    EXPECT_EQ(LastEventControl(), 0) << "zero before the first event";
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(CurrentEvent().Type, 2);
    EXPECT_EQ(WaitEvent(), 0x0202u);
    EXPECT_EQ(CurrentEvent().Kind, 0u);
    EXPECT_EQ(CurrentEvent().Type, -1);
    EXPECT_EQ(CurrentEvent().Window, 3);
    EXPECT_EQ(LastEventControl(), 1);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(WaitEvent(), 0x000Fu);
    EXPECT_EQ(LastEventControl(), 4);
    EXPECT_EQ(platform.Waits, 2);
}

TEST(WindowFlags, StylesComeFromTheFlagsWordAndCentringDropsRemainders) {
    const uint32_t styles[][3] = {{0xC80001, 0x00C80000, 0}, {0x10000003, 0x00C00000, 0},
                                  {0x8, 0x00C00000, 0},      {0x4, 0x0, 0x80},
                                  {0x02000001, 0x0, 0},      {0x00CF0000, 0x00CF0000, 0}};
    for (const auto& s : styles) {
        EXPECT_EQ(StylesFromFlags(s[0]).Style, s[1]) << std::hex << s[0];
        EXPECT_EQ(StylesFromFlags(s[0]).ExStyle, s[2]) << std::hex << s[0];
    }
    const CentredPosition odd = ScreenCentredPosition({-3, -26, 243, 473}, {1281, 1024});
    EXPECT_EQ(std::make_pair(odd.X, odd.Y), std::make_pair(517, 262));
    const CentredPosition large = ScreenCentredPosition({0, 0, 2000, 1000}, {1024, 768});
    EXPECT_EQ(std::make_pair(large.X, large.Y), std::make_pair(0, 0));
}

class WindowLayerTest : public UiTest {};

TEST_F(WindowLayerTest, TheMainWindowIsSizedFromItsClientAreaCentredShownAndActive) {
    const Native& n = platform.Of(OpenMain());
    EXPECT_EQ(std::make_pair(n.Top.OuterWidth, n.Top.OuterHeight), std::make_pair(246, 499));
    // (1024 - 246) / 2, (768 - 499) / 2 for the outer rectangle, before it shows.
    EXPECT_EQ(platform.Log, (std::vector<std::string>{"outer 13107200 0", "create-window 0",
                                                      "move 389,134", "show"}));
    EXPECT_EQ(CurrentControlParent(), 0);
    EXPECT_EQ(platform.Focused, nullptr) << "opening gives no control the focus";
    EXPECT_EQ(Queue(), (Events{Ev(ActivateEvent, 0)})) << "the move while opening is no event";
}

TEST_F(WindowLayerTest, NumbersTakenAgainReplaceTheOldOnesAndTheirEvents) {
    platform.RefuseTopLevel = true;
    EXPECT_EQ(OpenMain(), nullptr);
    EXPECT_EQ(CurrentControlParent(), -1);
    EXPECT_EQ(CreatePushButton(4, 10, 390, 220, 30, u"x"), nullptr);
    platform.RefuseTopLevel = false;
    OpenMain();
    NativeHandle first = CreatePushButton(4, 10, 390, 220, 30, u"a");
    ControlCommand(4, ControlNotification::ButtonClicked);
    PostEvent(ControlEvent, 5, 0, 0);
    NativeHandle second = CreatePushButton(4, 10, 390, 220, 30, u"b");
    EXPECT_TRUE(platform.Of(first).Destroyed);
    EXPECT_EQ(ControlHandle(4), second);
    EXPECT_EQ(Queue(), (Events{Ev(ActivateEvent, 0), Ev(ControlEvent, 5)}));
    ControlDestroyed(4, first); // a late report of the old control's end
    EXPECT_EQ(ControlHandle(4), second);
    // A window number taken again closes the old window with its controls.
    NativeHandle main = OpenMain();
    EXPECT_TRUE(platform.Of(second).Destroyed);
    EXPECT_EQ(ControlHandle(4), nullptr);
    CreatePushButton(4, 10, 390, 220, 30, u"a");
    OpenTopLevelWindow(1, 0, 0, 50, 50, u"other", 0x1);
    EventLayer().EventQueue.clear();
    Post({Ev(ControlEvent, 4), Ev(CloseEvent, 1, 1), Ev(MenuEvent, 9, 7)});
    CloseAllWindows();
    EXPECT_TRUE(platform.Of(main).Destroyed);
    EXPECT_EQ(WindowHandle(1), nullptr);
    EXPECT_EQ(ControlHandle(4), nullptr);
    EXPECT_EQ(CurrentControlParent(), -1);
    EXPECT_EQ(Queue(), (Events{Ev(MenuEvent, 9, 7)})) << "events of no window of ours stay";
}

// The main window's six controls, created in its order.
class MainControlsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        OpenMain();
        CreateTextLabel(2, 30, 10, 70, 20, u" Vorher");
        CreateTextLabel(3, 150, 10, 60, 20, u" Nachher");
        CreateListControl(0, 10, 30, 100, 350);
        CreateListControl(1, 120, 30, 110, 350);
        CreatePushButton(4, 10, 390, 220, 30, u"Neue Rezurudev Übernehmen");
        CreatePushButton(5, 10, 430, 220, 30, u"Keine Übernahme, Abbruch");
        EventLayer().EventQueue.clear();
    }
    int32_t Focused() { // the focused control's number, -1 for none
        for (int32_t c = 0; c <= 5; ++c) {
            if (platform.Focused != nullptr && ControlHandle(c) == platform.Focused) {
                return c;
            }
        }
        return -1;
    }
    void Focus(int32_t c) { platform.Focused = c < 0 ? nullptr : ControlHandle(c); }
};

TEST_F(MainControlsTest, TabAndShiftTabWalkTheTabStopsAndActivationRestoresTheFocus) {
    // {from, command, to}; labels never get the focus, but the walk goes on after one.
    const int32_t walk[][3] = {{-1, 64001, 0}, {0, 64001, 1},  {1, 64001, 4}, {4, 64001, 5},
                               {5, 64001, 0},  {-1, 64002, 5}, {5, 64002, 4}, {4, 64002, 1},
                               {1, 64002, 0},  {0, 64002, 5},  {2, 64001, 0}, {3, 64002, 5}};
    for (const auto& w : walk) {
        Focus(w[0]);
        WindowCommand(0, w[1]);
        EXPECT_EQ(Focused(), w[2]) << "from " << w[0] << " by " << w[1];
        EXPECT_TRUE(platform.CuesShown);
    }
    EXPECT_TRUE(Queue().empty()) << "focus moves raise no event";
    Focus(4);
    WindowDeactivated(0);
    EXPECT_FALSE(platform.CuesShown);
    Focus(-1); // another window took it
    WindowActivated(0);
    EXPECT_EQ(Focused(), 4);
    EXPECT_EQ(Queue(), (Events{Ev(DeactivateEvent, 0), Ev(ActivateEvent, 0)}));
    Focus(-1); // deactivated with no focus: activation leaves the focus alone
    WindowDeactivated(0);
    Focus(1);
    WindowActivated(0);
    EXPECT_EQ(Focused(), 1);
    // Disabled and hidden controls are skipped; focus in another window counts as none.
    platform.Of(ControlHandle(1)).Enabled = false;
    platform.Of(ControlHandle(4)).Visible = false;
    Focus(0);
    WindowCommand(0, 64001);
    EXPECT_EQ(Focused(), 5);
    WindowCommand(0, 64002);
    EXPECT_EQ(Focused(), 0);
    platform.Focused = AddTopLevel(false, true, true, false);
    WindowCommand(0, 64002);
    EXPECT_EQ(Focused(), 5);
}

TEST_F(MainControlsTest, NotificationsBecomeEventsWithTheirNumbers) {
    const struct {
        void (*raise)();
        Events queued;
    } cases[] = {
        {[] { ControlCommand(5, 6); }, {Ev(ControlEvent, 5, 0, 6)}}, // the code is the type
        {[] { ControlCommand(0, ControlNotification::ListDoubleClicked); },
         {Ev(ControlEvent, 0, 0, 2)}},
        {[] { ControlCommand(0, ControlNotification::ListFocusGained); }, {}},
        {[] { ControlCommand(9, 0); }, {}},
        {[] { WindowCloseRequested(3); }, {}},
        {[] { WindowCommand(0, 7); }, {Ev(MenuEvent, 7)}},
        {[] { WindowClicked(0, WindowClick::LeftDoubleClick); }, {Ev(LeftDoubleClickEvent, 0)}},
        {[] { WindowSizeChanged(0, SizeChange::Restored); }, {Ev(SizeEvent, 0)}},
        {[] {
             WindowSizeChanged(0, SizeChange::Minimized);
             WindowSizeChanged(0, SizeChange::Restored);
         },
         {Ev(MinimizeEvent, 0), Ev(RestoreEvent, 0), Ev(SizeEvent, 0)}},
        {[] { // one pending size event at most
             WindowSizeChanged(0, SizeChange::Maximized);
             WindowMoved(0);
             WindowSizeChanged(0, SizeChange::Restored);
         },
         {Ev(MaximizeEvent, 0), Ev(MoveEvent, 0), Ev(RestoreEvent, 0), Ev(SizeEvent, 0)}},
        // The list hook: a click on a row, a drag, presses that are neither.
        {[] {
             ListLeftPressed(0, 20, 5, true, true);
             ListPointerMoved(0, 24, 9); // within the drag distance
             ListLeftReleased(0);
         },
         {Ev(ControlEvent, 0)}},
        {[] {
             ListLeftPressed(1, 20, 5, true, true);
             ListPointerMoved(1, 20, 10);
             ListPointerMoved(1, 20, 30);
             ListLeftReleased(1);
         },
         {Ev(ControlEvent, 1, 0, 14002)}},
        {[] {
             ListLeftPressed(0, 20, 300, false, true); // below the rows
             ListLeftReleased(0);
             ListLeftPressed(0, 20, 5, true, false); // with Shift or Ctrl
             ListPointerMoved(0, 90, 90);
             ListLeftReleased(0);
         },
         {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EventLayer().EventQueue.clear();
        cases[i].raise();
        EXPECT_EQ(Queue(), cases[i].queued) << "case " << i;
        EXPECT_EQ(platform.Captured, nullptr) << "case " << i;
    }
}

const Text ToolFilter = u"PCB-datei (*.kicad_pcb)| *.kicad_pcb";

TEST(OpenDialogText, FilterPiecesAndPairsDefaultFileSplitAndPlainNames) {
    const struct {
        Text filter;
        std::vector<Text> pieces;
        size_t pairs;
    } filters[] = {
        {ToolFilter, {u"PCB-datei (*.kicad_pcb)", u" *.kicad_pcb"}, 1},
        {u"", {}, 0},
        {u"A|*.a|B|*.b", {u"A", u"*.a", u"B", u"*.b"}, 2},
        {u"A|*.a|B", {u"A", u"*.a", u"B"}, 1}, // a description without pattern is left out
        {u"A||", {u"A", u"", u""}, 1},
    };
    for (const auto& c : filters) {
        EXPECT_EQ(SplitFilterPieces(c.filter), c.pieces);
        EXPECT_EQ(FilterPairs(c.filter).size(), c.pairs);
    }
    EXPECT_EQ(FilterPairs(ToolFilter)[0].Pattern, u" *.kicad_pcb");
    using namespace std::string_literals;
    EXPECT_EQ(PlatformFilterBuffer(ToolFilter), u"PCB-datei (*.kicad_pcb)\0 *.kicad_pcb\0\0\0"s);
    EXPECT_EQ(PlatformFilterBuffer(u""), std::u16string(3, u'\0'));
    const struct {
        Text given;
        bool hasFolder;
        Text folder, name;
    } files[] = {
        {u"test.kicad_pcb", true, u"", u"test.kicad_pcb"},
        {u"C:\\boards\\v2\\test.kicad_pcb", true, u"C:\\boards\\v2", u"test.kicad_pcb"},
        {u"\\test.kicad_pcb", true, u"", u"\\test.kicad_pcb"}, // first character: no split
        {u"C:\\boards\\", true, u"C:\\boards", u""},
        {u"a/b/test.kicad_pcb", true, u"", u"a/b/test.kicad_pcb"},
        {u"", false, u"", u""},
    };
    for (const auto& c : files) {
        const DefaultFileParts p = SplitDefaultFile(c.given);
        EXPECT_EQ(std::tie(p.HasFolder, p.Folder, p.Name), std::tie(c.hasFolder, c.folder, c.name));
    }
    for (const Text plain : {u"test.kicad_pcb", u"Übernahme 2 (neu).kicad_pcb", u" ", u"a.b.c"}) {
        EXPECT_TRUE(IsPlainFileName(plain));
    }
    for (const Text odd : {u"", u"a*.kicad_pcb", u"a?", u"a\"b", u"a\\b", u"a/b", u"C:x", u"<a",
                           u"a>", u"a|b", u"a\tb", u"\x1F"}) {
        EXPECT_FALSE(IsPlainFileName(odd));
    }
}

class DialogTest : public UiTest {
protected:
    PlatformDialogs dialogs;
};

TEST_F(DialogTest, TheRequestCarriesTheToolsTextsAndOnlyThePlainNamePart) {
    EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"test.kicad_pcb", ToolFilter, 0), u"");
    const OpenDialogRequest& r = platform.OpenDialogs.at(0);
    EXPECT_EQ(r.Title, u"Lade PCB-Datei");
    EXPECT_EQ(r.FilterBuffer, PlatformFilterBuffer(ToolFilter));
    EXPECT_EQ(r.Filters.size(), 1u);
    EXPECT_EQ(r.FilterIndex, 1);
    EXPECT_EQ(r.Flags, 0x8080Cu);
    EXPECT_EQ(r.PathBuffer.size(), 260u);
    EXPECT_EQ(r.Owner, nullptr) << "no window of ours is up yet";
    EXPECT_EQ(dialogs.SelectedFilter(), 0) << "a cancel keeps no filter";
    const struct {
        Text defaultFile;
        int32_t units;
        Text field;
        bool hasFolder;
        Text folder;
    } cases[] = {
        {u"test.kicad_pcb", 260, u"test.kicad_pcb", true, u""},
        {u"C:\\pcb\\test.kicad_pcb", 260, u"test.kicad_pcb", true, u"C:\\pcb"},
        {u"C:\\pcb\\*.kicad_pcb", 260, u"", true, u"C:\\pcb"},
        {u"te?t.kicad_pcb", 260, u"", true, u""},
        {u"", 260, u"", false, u""},
        {u"abcdefgh", 5, u"abcd", true, u""}, // cut to the buffer, NUL kept
    };
    for (const auto& c : cases) {
        platform.PathUnits = c.units;
        dialogs.ChooseOpenFile(u"t", c.defaultFile, ToolFilter, 0);
        const std::u16string& buffer = platform.OpenDialogs.back().PathBuffer;
        EXPECT_EQ(buffer.substr(0, buffer.find(u'\0')), c.field);
        EXPECT_EQ(buffer.back(), u'\0');
        EXPECT_EQ(std::tie(platform.OpenDialogs.back().HasInitialFolder,
                           platform.OpenDialogs.back().InitialFolder),
                  std::tie(c.hasFolder, c.folder));
    }
    const size_t dialogsShown = platform.OpenDialogs.size();
    platform.PathUnits = 0;
    EXPECT_EQ(dialogs.ChooseOpenFile(u"t", u"test.kicad_pcb", ToolFilter, 0), u"");
    EXPECT_EQ(platform.OpenDialogs.size(), dialogsShown) << "no path buffer, no dialog";
}

TEST_F(DialogTest, AChosenPathIsReturnedWithItsFilter) {
    platform.OpenDialogAnswer = [](OpenDialogRequest& r) {
        const std::u16string path = u"/home/k/pcb/missing.kicad_pcb";
        std::fill(std::copy(path.begin(), path.end(), r.PathBuffer.begin()), r.PathBuffer.end(),
                  u'\0');
        r.FilterIndex = 2;
        return true;
    };
    EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"test.kicad_pcb", ToolFilter, 1),
              u"/home/k/pcb/missing.kicad_pcb");
    EXPECT_EQ(dialogs.SelectedFilter(), 2);
}

TEST_F(DialogTest, TheGuardDisablesOurOtherWindowsOnlyWhileADialogRuns) {
    NativeHandle main = OpenMain(); // shown, active: the foreground window and the owner
    NativeHandle behind = AddTopLevel(false, true, true, true);
    NativeHandle disabled = AddTopLevel(false, true, false, false);
    NativeHandle hidden = AddTopLevel(false, false, true, false);
    NativeHandle foreign = AddTopLevel(true, true, true, true);
    std::vector<std::vector<bool>> seen;
    platform.DuringDialog = [&] {
        auto& p = platform;
        seen.push_back({p.Of(main).Enabled, p.Of(behind).Enabled, p.Of(disabled).Enabled,
                        p.Of(hidden).Enabled, p.Of(foreign).Enabled, p.Of(behind).Topmost,
                        p.Of(foreign).Topmost});
    };
    EXPECT_EQ(dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0), 1);
    dialogs.ChooseOpenFile(u"t", u"test.kicad_pcb", ToolFilter, 0);
    const std::vector<bool> during = {true, false, false, true, true, false, true};
    EXPECT_EQ(seen, (std::vector<std::vector<bool>>{during, during}));
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Owner, main);
    EXPECT_EQ(platform.Boxes[0].Title, u"Information");
    EXPECT_EQ(platform.Boxes[0].Message, u"Datei ist nicht vorhanden");
    EXPECT_EQ(platform.Boxes[0].Flags, 0u);
    EXPECT_EQ(platform.OpenDialogs.at(0).Owner, main);
    EXPECT_TRUE(platform.Of(behind).Enabled);
    EXPECT_TRUE(platform.Of(behind).Topmost);
    EXPECT_FALSE(platform.Of(disabled).Enabled) << "what the guard did not disable stays";
    platform.Foreground = foreign; // a foreign foreground window owns nothing
    dialogs.ShowMessage(u"Information", u"x", 0);
    EXPECT_EQ(platform.Boxes.at(1).Owner, nullptr);
}

} // namespace
} // namespace rz::testing
