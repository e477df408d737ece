// Windows and controls by number: styles, geometry, centring, records, focus walk, and
// the events the platform's notifications become.
#include "ui_fixture.hpp"

#include <algorithm>

namespace rz::testing {
namespace {

using namespace EventKind;

TEST(WindowFlags, StylesComeFromTheFlagsWord) {
    struct Case {
        uint32_t flags;
        uint32_t style;
        uint32_t exStyle;
    };
    const Case cases[] = {
        {0xC80001, 0x00C80000, 0},             // the main window: caption, window menu
        {0x0, 0x00C00000, 0},                  // nothing asked: a caption
        {0x1, 0x00C00000, 0},                  // only centring: a caption
        {0x10000003, 0x00C00000, 0},           // centring and hidden: still a caption
        {0x8, 0x00C00000, 0},                  // the parent bit never counts
        {0x4, 0x0, WindowExStyle::ToolWindow}, // a tool window, no caption added
        {0x02000001, 0x0, 0},                  // show without activating is a layer bit
        {0x00CF0000, 0x00CF0000, 0},           // platform bits pass through
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const WindowStyles s = StylesFromFlags(c.flags);
        EXPECT_EQ(s.Style, c.style);
        EXPECT_EQ(s.ExStyle, c.exStyle);
    }
}

TEST(WindowFlags, CentringUsesTheWholeScreenAndDropsRemainders) {
    struct Case {
        PixelRect outer;
        PixelSize screen;
        int32_t x;
        int32_t y;
    };
    const Case cases[] = {
        {{0, 0, 246, 499}, {1024, 768}, 389, 134},
        {{-3, -26, 243, 473}, {1280, 1024}, 517, 262},
        {{0, 0, 240, 470}, {241, 471}, 0, 0},    // odd leftover: the remainder is dropped
        {{0, 0, 2000, 1000}, {1024, 768}, 0, 0}, // larger than the screen: clamped
    };
    for (const Case& c : cases) {
        const CentredPosition at = ScreenCentredPosition(c.outer, c.screen);
        EXPECT_EQ(at.X, c.x);
        EXPECT_EQ(at.Y, c.y);
    }
}

class WindowLayerTest : public UiTest {};

TEST_F(WindowLayerTest, TheMainWindowIsSizedFromItsClientAreaCentredShownAndActive) {
    NativeHandle h = OpenMain();
    ASSERT_NE(h, nullptr);
    const auto& n = platform.Of(h);
    EXPECT_EQ(n.TopLevelParamsGiven.Title, u"Rezurudev V1.1");
    EXPECT_EQ(n.TopLevelParamsGiven.Style, 0x00C80000u);
    EXPECT_EQ(n.TopLevelParamsGiven.ClientWidth, 240);
    EXPECT_EQ(n.TopLevelParamsGiven.OuterWidth, 246);
    EXPECT_EQ(n.TopLevelParamsGiven.OuterHeight, 499);
    EXPECT_FALSE(n.TopLevelParamsGiven.PlatformPosition);
    // (1024 - 246) / 2, (768 - 499) / 2 for the outer rectangle.
    EXPECT_EQ(n.Outer.Left, 389);
    EXPECT_EQ(n.Outer.Top, 134);
    EXPECT_TRUE(n.Shown);
    EXPECT_EQ(n.ShownMode, ShowMode::Normal);
    const std::vector<std::string> order(platform.Log.begin(), platform.Log.end());
    EXPECT_EQ(order, (std::vector<std::string>{"outer-for-client 240x470 style 13107200 ex 0",
                                               "create-window 0", "move 389,134", "show"}));
    ASSERT_EQ(n.Accelerators.size(), 2u);
    EXPECT_EQ(n.Accelerators[0].Key, VirtualKeyTab);
    EXPECT_EQ(n.Accelerators[0].Command, 64001);
    EXPECT_EQ(n.Accelerators[1].Flags & AcceleratorFlag::Shift, AcceleratorFlag::Shift);
    EXPECT_EQ(n.Accelerators[1].Command, 64002);
    EXPECT_EQ(CurrentControlParent(), 0);
    EXPECT_EQ(platform.Focused, nullptr) << "opening gives no control the focus";
    // The move while opening is no event; the activation is.
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{Ev(ActivateEvent, 0, 0, 0)}));
}

TEST_F(WindowLayerTest, PlatformChosenPosition) {
    OpenTopLevelWindow(1, PlatformPosition, 5, 100, 100, u"a", 0);
    OpenTopLevelWindow(2, 5, PlatformPosition, 100, 100, u"b", 0);
    OpenTopLevelWindow(3, 5, PlatformPosition, 100, 100, u"c", 0x2);
    EXPECT_TRUE(platform.Of(WindowHandle(1)).TopLevelParamsGiven.PlatformPosition);
    EXPECT_TRUE(platform.Of(WindowHandle(2)).TopLevelParamsGiven.PlatformPosition);
    EXPECT_FALSE(platform.Of(WindowHandle(3)).TopLevelParamsGiven.PlatformPosition);
}

TEST_F(WindowLayerTest, HiddenAndNonActivatingWindows) {
    OpenTopLevelWindow(1, 0, 0, 100, 100, u"hidden", 0x10000000);
    OpenTopLevelWindow(2, 0, 0, 100, 100, u"quiet", 0x02000000 | 0x8);
    EXPECT_FALSE(platform.Of(WindowHandle(1)).Shown);
    EXPECT_EQ(platform.Of(WindowHandle(2)).ShownMode, ShowMode::NoActivate);
    EXPECT_EQ(CurrentControlParent(), 1) << "bit 0x8 keeps the control parent";
}

TEST_F(WindowLayerTest, ARefusedWindowLeavesNoRecordAndNoControls) {
    platform.RefuseTopLevel = true;
    EXPECT_EQ(OpenMain(), nullptr);
    EXPECT_EQ(WindowHandle(0), nullptr);
    EXPECT_EQ(CurrentControlParent(), -1);
    EXPECT_EQ(CreatePushButton(4, 10, 390, 220, 30, u"x"), nullptr);
    EXPECT_EQ(AddListItem(0, -1, u"0.8"), 0);
    CloseAllWindows();
}

TEST_F(WindowLayerTest, ControlsGetTheirKindsStylesAndExactGeometry) {
    NativeHandle window = OpenMain();
    NativeHandle label = CreateTextLabel(2, 30, 10, 70, 20, u" Vorher");
    NativeHandle list = CreateListControl(0, 10, 30, 100, 350);
    NativeHandle button = CreatePushButton(4, 10, 390, 220, 30, u"Neue Rezurudev Übernehmen");
    struct Case {
        NativeHandle h;
        ControlKind kind;
        uint32_t style;
        uint32_t exStyle;
        int32_t x, y, w, hgt;
        Text caption;
    };
    const Case cases[] = {
        {label, ControlKind::Label, 0x50020080, 0, 30, 10, 70, 20, u" Vorher"},
        {list, ControlKind::List, 0x50330141, 0x200, 10, 30, 100, 350, u""},
        {button, ControlKind::Button, 0x50030000, 0, 10, 390, 220, 30,
         u"Neue Rezurudev Übernehmen"},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.h, nullptr);
        const ControlParams& s = platform.Of(c.h).ControlParamsGiven;
        EXPECT_EQ(s.Kind, c.kind);
        EXPECT_EQ(s.Style, c.style);
        EXPECT_EQ(s.ExStyle, c.exStyle);
        EXPECT_EQ(s.Parent, window);
        EXPECT_EQ(s.ParentNumber, 0);
        EXPECT_EQ((std::vector<int32_t>{s.X, s.Y, s.Width, s.Height}),
                  (std::vector<int32_t>{c.x, c.y, c.w, c.hgt}));
        EXPECT_EQ(s.Caption, c.caption);
    }
    EXPECT_EQ(AddListItem(2, -1, u"not a list"), 0);
    EXPECT_TRUE(platform.Of(label).Rows.empty());
}

TEST_F(WindowLayerTest, ARefusedControlHasNoRecordButTheOthersCarryOn) {
    OpenMain();
    platform.RefusedControls = {0};
    EXPECT_EQ(CreateListControl(0, 10, 30, 100, 350), nullptr);
    EXPECT_EQ(ControlHandle(0), nullptr);
    EXPECT_EQ(AddListItem(0, -1, u"0.8"), 0);
    EXPECT_NE(CreateListControl(1, 120, 30, 110, 350), nullptr);
    AddListItem(1, -1, u"0.8");
    EXPECT_EQ(platform.Of(ControlHandle(1)).Rows, std::vector<Text>{u"0.8"});
}

TEST_F(WindowLayerTest, ANumberTakenAgainReplacesTheOldControlAndItsEvents) {
    OpenMain();
    NativeHandle first = CreatePushButton(4, 10, 390, 220, 30, u"a");
    ControlCommand(4, ControlNotification::ButtonClicked);
    PostEvent(ControlEvent, 5, 0, 0);
    NativeHandle second = CreatePushButton(4, 10, 390, 220, 30, u"b");
    EXPECT_TRUE(platform.Of(first).Destroyed);
    EXPECT_FALSE(platform.Of(second).Destroyed);
    EXPECT_EQ(ControlHandle(4), second);
    EXPECT_EQ(Queue(),
              (std::vector<QueuedEvent>{Ev(ActivateEvent, 0, 0, 0), Ev(ControlEvent, 5, 0, 0)}));
    // A late report of the old control's end must not take the new one with it.
    ControlDestroyed(4, first);
    EXPECT_EQ(ControlHandle(4), second);
}

TEST_F(WindowLayerTest, ReopeningAWindowNumberClosesTheOldWindowFirst) {
    NativeHandle first = OpenMain();
    CreatePushButton(4, 10, 390, 220, 30, u"a");
    NativeHandle second = OpenMain();
    EXPECT_TRUE(platform.Of(first).Destroyed);
    EXPECT_NE(first, second);
    EXPECT_EQ(ControlHandle(4), nullptr);
}

TEST_F(WindowLayerTest, CloseAllWindowsDestroysEverythingAndDropsItsEvents) {
    NativeHandle window = OpenMain();
    CreatePushButton(4, 10, 390, 220, 30, u"a");
    OpenTopLevelWindow(1, 0, 0, 50, 50, u"other", 0x1);
    PostEvent(ControlEvent, 4, 0, 0);
    PostEvent(CloseEvent, 1, 1, 0);
    PostEvent(MenuEvent, 9, 7, 0); // no such window: stays
    CloseAllWindows();
    EXPECT_TRUE(platform.Of(window).Destroyed);
    EXPECT_EQ(WindowHandle(0), nullptr);
    EXPECT_EQ(WindowHandle(1), nullptr);
    EXPECT_EQ(ControlHandle(4), nullptr);
    EXPECT_EQ(CurrentControlParent(), -1);
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{Ev(MenuEvent, 9, 7, 0)}));
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
    // The control number that has the focus, -1 for none.
    int32_t FocusedNumber() {
        for (int32_t c = 0; c <= 5; ++c) {
            if (platform.Focused != nullptr && ControlHandle(c) == platform.Focused) {
                return c;
            }
        }
        return -1;
    }
    void FocusNumber(int32_t c) { platform.Focused = c < 0 ? nullptr : ControlHandle(c); }
};

TEST_F(MainControlsTest, TabAndShiftTabWalkTheFourTabStops) {
    struct Case {
        int32_t from;
        int32_t command;
        int32_t to;
    };
    const Case cases[] = {
        {-1, 64001, 0},
        {0, 64001, 1},
        {1, 64001, 4},
        {4, 64001, 5},
        {5, 64001, 0},
        {-1, 64002, 5},
        {5, 64002, 4},
        {4, 64002, 1},
        {1, 64002, 0},
        {0, 64002, 5},
        {2, 64001, 0}, // a label never has the focus, but if it
                       // had, the walk goes on after it
        {3, 64002, 5}, // nothing before the labels: round to the last
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.from << " " << c.command);
        FocusNumber(c.from);
        WindowCommand(0, c.command);
        EXPECT_EQ(FocusedNumber(), c.to);
        EXPECT_TRUE(platform.CuesShown);
    }
    EXPECT_TRUE(Queue().empty()) << "focus moves raise no event";
}

TEST_F(MainControlsTest, TheWalkSkipsControlsThatCannotTakeTheFocus) {
    platform.Of(ControlHandle(1)).Enabled = false;
    platform.Of(ControlHandle(4)).Visible = false;
    FocusNumber(0);
    WindowCommand(0, 64001);
    EXPECT_EQ(FocusedNumber(), 5);
    WindowCommand(0, 64002);
    EXPECT_EQ(FocusedNumber(), 0);
    // Focus in another window counts as outside.
    NativeHandle elsewhere = platform.AddOwnTopLevel(true, true, false);
    platform.Focused = elsewhere;
    WindowCommand(0, 64002);
    EXPECT_EQ(FocusedNumber(), 5);
}

TEST_F(MainControlsTest, OtherCommandsAreMenuEvents) {
    WindowCommand(0, 7);
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{Ev(MenuEvent, 7, 0, 0)}));
}

TEST_F(MainControlsTest, DeactivationSavesTheFocusAndActivationGivesItBack) {
    FocusNumber(4);
    WindowDeactivated(0);
    EXPECT_FALSE(platform.CuesShown);
    FocusNumber(-1); // another window took it
    WindowActivated(0);
    EXPECT_EQ(FocusedNumber(), 4);
    EXPECT_EQ(Queue(),
              (std::vector<QueuedEvent>{Ev(DeactivateEvent, 0, 0, 0), Ev(ActivateEvent, 0, 0, 0)}));
    // Deactivated with no focus: activation leaves the focus alone.
    FocusNumber(-1);
    WindowDeactivated(0);
    FocusNumber(1);
    WindowActivated(0);
    EXPECT_EQ(FocusedNumber(), 1);
}

TEST_F(MainControlsTest, NotificationsBecomeEventsWithTheControlsNumber) {
    struct Case {
        const char* name;
        int32_t control;
        int32_t code;
        std::vector<QueuedEvent> queued;
    };
    const std::vector<Case> cases = {
        {"apply clicked", 4, ControlNotification::ButtonClicked, {Ev(ControlEvent, 4, 0, 0)}},
        {"cancel clicked", 5, ControlNotification::ButtonClicked, {Ev(ControlEvent, 5, 0, 0)}},
        {"button code kept", 5, 6, {Ev(ControlEvent, 5, 0, 6)}},
        {"selection", 1, ControlNotification::ListSelectionChanged, {Ev(ControlEvent, 1, 0, 0)}},
        {"double click", 0, ControlNotification::ListDoubleClicked, {Ev(ControlEvent, 0, 0, 2)}},
        {"list focus", 0, ControlNotification::ListFocusGained, {}},
        {"unknown control", 9, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventLayer().EventQueue.clear();
        ControlCommand(c.control, c.code);
        EXPECT_EQ(Queue(), c.queued);
    }
}

TEST_F(MainControlsTest, WindowNotificationsBecomeEvents) {
    struct Case {
        const char* name;
        void (*raise)();
        std::vector<QueuedEvent> queued;
    };
    const std::vector<Case> cases = {
        {"close", [] { WindowCloseRequested(0); }, {Ev(CloseEvent, 0, 0, 0)}},
        {"move", [] { WindowMoved(0); }, {Ev(MoveEvent, 0, 0, 0)}},
        {"repaint", [] { WindowBackgroundErased(0); }, {Ev(RepaintEvent, 0, 0, 0)}},
        {"left", [] { WindowClicked(0, WindowClick::LeftUp); }, {Ev(LeftClickEvent, 0, 0, 0)}},
        {"double",
         [] { WindowClicked(0, WindowClick::LeftDoubleClick); },
         {Ev(LeftDoubleClickEvent, 0, 0, 0)}},
        {"right", [] { WindowClicked(0, WindowClick::RightUp); }, {Ev(RightClickEvent, 0, 0, 0)}},
        {"minimize then restore",
         [] {
             WindowSizeChanged(0, SizeChange::Minimized);
             WindowSizeChanged(0, SizeChange::Restored);
         },
         {Ev(MinimizeEvent, 0, 0, 0), Ev(RestoreEvent, 0, 0, 0), Ev(SizeEvent, 0, 0, 0)}},
        {"restore without minimize",
         [] { WindowSizeChanged(0, SizeChange::Restored); },
         {Ev(SizeEvent, 0, 0, 0)}},
        {"one pending size event at most",
         [] {
             WindowSizeChanged(0, SizeChange::Maximized);
             WindowMoved(0);
             WindowSizeChanged(0, SizeChange::Restored);
         },
         {Ev(MaximizeEvent, 0, 0, 0), Ev(MoveEvent, 0, 0, 0), Ev(RestoreEvent, 0, 0, 0),
          Ev(SizeEvent, 0, 0, 0)}},
        {"unknown window", [] { WindowCloseRequested(3); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventLayer().EventQueue.clear();
        c.raise();
        EXPECT_EQ(Queue(), c.queued);
    }
}

TEST_F(MainControlsTest, TheListHookTellsClicksFromDrags) {
    struct Case {
        const char* name;
        void (*gesture)();
        std::vector<QueuedEvent> queued;
    };
    const std::vector<Case> cases = {
        {"click on a row",
         [] {
             ListLeftPressed(0, 20, 5, true, true);
             ListPointerMoved(0, 24, 9); // within the drag distance
             ListLeftReleased(0);
         },
         {Ev(ControlEvent, 0, 0, 0)}},
        {"drag",
         [] {
             ListLeftPressed(1, 20, 5, true, true);
             ListPointerMoved(1, 20, 10);
             ListPointerMoved(1, 20, 30);
             ListLeftReleased(1);
         },
         {Ev(ControlEvent, 1, 0, 14002)}},
        {"press below the rows",
         [] {
             ListLeftPressed(0, 20, 300, false, true);
             ListLeftReleased(0);
         },
         {}},
        {"press with shift",
         [] {
             ListLeftPressed(0, 20, 5, true, false);
             ListPointerMoved(0, 90, 90);
             ListLeftReleased(0);
         },
         {}},
        {"right button", [] { ListRightReleased(1); }, {Ev(ControlEvent, 1, 0, 1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventLayer().EventQueue.clear();
        c.gesture();
        EXPECT_EQ(Queue(), c.queued);
        EXPECT_EQ(platform.Captured, nullptr);
    }
}

} // namespace
} // namespace rz::testing
