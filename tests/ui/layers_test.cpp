// The portable event, window and dialog layers on the scripted platform.
#include "scripted_platform.hpp"

#include "core/board_state.hpp"
#include "ui/main_window.hpp"
#include "ui/platform_dialogs.hpp"

namespace rz::testing {
namespace {

using namespace EventKind;
using Events = std::vector<QueuedEvent>;

TEST_F(UiTest, OnlyAnIdenticalLastEntryIsCoalescedAndOnlyForcedEventsBeatSuppression) {
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

TEST_F(UiTest, EventsRaisedWhileARowIsAddedAreDiscarded) {
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
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(EventLayer().EventSuppressCount, 0u);
    EXPECT_EQ(platform.Of(ControlHandle(0)).Rows, (std::vector<Text>{u"0.762", u"1.016"}));
    ControlCommand(0, ControlNotification::ListSelectionChanged);
    EXPECT_EQ(Queue(), (Events{Ev(ControlEvent, 0)}));
}

TEST_F(UiTest, DropPendingEventsMatchesEveryGivenField) {
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

TEST_F(UiTest, EventsComeInOrderAndPlatformMessagesKeepTheLastEventsControl) {
    Post({Ev(ActivateEvent, 0), Ev(ControlEvent, 1, 3, 2)});
    // A click whose release message, dispatched, makes a button notify its window.
    platform.Then([] { PostEvent(ControlEvent, 4, 0, 0); }, 0x0202);
    platform.Then([] {}, 0x000F);
    EXPECT_EQ(LastEventControl(), 0) << "zero before the first event";
    EXPECT_EQ(WaitEvent(), ActivateEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(platform.Waits, 0) << "no platform message while events are queued";
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
    EXPECT_THROW(WaitEvent(), std::out_of_range);
}

TEST_F(UiTest, TheMainWindowOpensCentredAndTabWalksItsTabStops) {
    BoardState state;
    ASSERT_TRUE(BuildMainWindow(state));
    // (1024 - 246) / 2, (768 - 499) / 2 for the outer rectangle, before it shows.
    EXPECT_EQ(
        std::vector<std::string>(platform.Log.begin(), platform.Log.begin() + 4),
        (std::vector<std::string>{"outer 13107200 0", "create-window 0", "move 389,134", "show"}));
    EXPECT_EQ(platform.Focused, nullptr) << "opening gives no control the focus";
    EXPECT_EQ(Queue(), (Events{Ev(ActivateEvent, 0)})) << "the move while opening is no event";
    EventLayer().EventQueue.clear();
    // {from, command, to}; labels never get the focus, but the walk goes on after one.
    const int32_t walk[][3] = {{-1, 64001, 0}, {0, 64001, 1},  {1, 64001, 4}, {4, 64001, 5},
                               {5, 64001, 0},  {-1, 64002, 5}, {5, 64002, 4}, {4, 64002, 1},
                               {1, 64002, 0},  {0, 64002, 5},  {2, 64001, 0}, {3, 64002, 5}};
    for (const auto& w : walk) {
        platform.Focused = w[0] < 0 ? nullptr : ControlHandle(w[0]);
        WindowCommand(0, w[1]);
        EXPECT_EQ(platform.Focused, ControlHandle(w[2])) << "from " << w[0] << " by " << w[1];
        EXPECT_TRUE(platform.CuesShown);
    }
    EXPECT_TRUE(Queue().empty()) << "focus moves raise no event";
    platform.Focused = ControlHandle(ApplyButton);
    WindowDeactivated(0);
    EXPECT_FALSE(platform.CuesShown);
    platform.Focused = nullptr; // another window took it
    WindowActivated(0);
    EXPECT_EQ(platform.Focused, ControlHandle(ApplyButton));
    EXPECT_EQ(Queue(), (Events{Ev(DeactivateEvent, 0), Ev(ActivateEvent, 0)}));
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

TEST_F(UiTest, TheOpenDialogGetsTheToolsTextsAndOnlyThePlainNamePart) {
    PlatformDialogs dialogs;
    const struct {
        Text defaultFile;
        int32_t units;
        Text field; // what the name field starts with
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
        EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", c.defaultFile, ToolFilter, 0), u"");
        const OpenDialogRequest& q = platform.OpenDialogs.back();
        EXPECT_EQ(q.PathBuffer, c.field + Text(size_t(c.units) - c.field.size(), u'\0'));
        EXPECT_EQ(std::tie(q.HasInitialFolder, q.InitialFolder), std::tie(c.hasFolder, c.folder));
    }
    const OpenDialogRequest& r = platform.OpenDialogs.at(0);
    EXPECT_EQ(r.Title, u"Lade PCB-Datei");
    EXPECT_EQ(r.FilterBuffer, PlatformFilterBuffer(ToolFilter));
    EXPECT_EQ(std::make_tuple(r.Filters.size(), r.FilterIndex, r.Flags),
              std::make_tuple(size_t{1}, 1, 0x8080Cu));
    EXPECT_EQ(r.Owner, nullptr) << "no window of ours is up yet";
    EXPECT_EQ(dialogs.SelectedFilter(), 0) << "a cancel keeps no filter";
    const size_t shown = platform.OpenDialogs.size();
    platform.PathUnits = 0;
    EXPECT_EQ(dialogs.ChooseOpenFile(u"t", u"test.kicad_pcb", ToolFilter, 0), u"");
    EXPECT_EQ(platform.OpenDialogs.size(), shown) << "no path buffer, no dialog";
    NativeHandle main = OpenMain(); // the foreground window owns the dialogs
    EXPECT_EQ(dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0), 1);
    EXPECT_EQ(platform.Boxes.at(0),
              std::make_tuple(main, u"Information", u"Datei ist nicht vorhanden", 0u));
}

} // namespace
} // namespace rz::testing
