// The main window built from the board state: order of creation, rows, new tokens.
#include "ui_fixture.hpp"

#include "core/board_state.hpp"
#include "ui/main_window.hpp"

namespace rz::testing {
namespace {

class MainWindowTest : public UiTest {
protected:
    BoardState StateWith(std::vector<Text> tokens) {
        BoardState state;
        state.DrillTokens = {Text()};
        for (Text& t : tokens) {
            state.DrillTokens.push_back(std::move(t));
        }
        state.NewDrillTokens.assign(state.DrillTokens.size(), Text());
        state.DrillCount = static_cast<int32_t>(state.DrillTokens.size());
        return state;
    }
    std::vector<Text> Rows(int32_t control) { return platform.Of(ControlHandle(control)).Rows; }
};

TEST_F(MainWindowTest, RowsShowValuesAndRoundedValuesAndTheNewTokensAreStored) {
    BoardState state = StateWith({u"(drill 0.762)", u"(drill 1.016)"});
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(Rows(BeforeList), (std::vector<Text>{u"0.762", u"1.016"}));
    EXPECT_EQ(Rows(AfterList), (std::vector<Text>{u"0.8", u"1.0"}));
    EXPECT_EQ(state.DrillCount, 2);
    EXPECT_EQ(state.NewDrillTokens.at(1), u"(drill 0.8)");
    EXPECT_EQ(state.NewDrillTokens.at(2), u"(drill 1.0)");
    // Creation order is the tab order, and it is the same on every platform.
    std::vector<std::string> created;
    for (const std::string& line : platform.Log) {
        if (line.rfind("create-", 0) == 0) {
            created.push_back(line);
        }
    }
    EXPECT_EQ(created,
              (std::vector<std::string>{"create-window 0", "create-control 2", "create-control 3",
                                        "create-control 0", "create-control 1", "create-control 4",
                                        "create-control 5"}));
    EXPECT_EQ(platform.Of(ControlHandle(BeforeLabel)).ControlParamsGiven.Caption, u" Vorher");
    EXPECT_EQ(platform.Of(ControlHandle(AfterLabel)).ControlParamsGiven.Caption, u" Nachher");
    EXPECT_EQ(platform.Of(ControlHandle(CancelButton)).ControlParamsGiven.Caption,
              u"Keine Übernahme, Abbruch");
    EXPECT_EQ(platform.Of(WindowHandle(MainWindow)).TopLevelParamsGiven.Title, u"Rezurudev V1.1");
}

TEST_F(MainWindowTest, NoTokenGivesEmptyListsAndWorkingButtons) {
    BoardState state = StateWith({});
    state.DrillCount = 0; // nothing was collected
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(state.DrillCount, -1);
    EXPECT_TRUE(Rows(BeforeList).empty());
    EXPECT_TRUE(Rows(AfterList).empty());
    EXPECT_NE(ControlHandle(ApplyButton), nullptr);
    EXPECT_NE(ControlHandle(CancelButton), nullptr);
}

TEST_F(MainWindowTest, RowsAreNotEventsOfTheUser) {
    platform.OnAppendRow = [](NativeHandle, const Text&) {
        ControlCommand(BeforeList, ControlNotification::ListSelectionChanged);
    };
    BoardState state = StateWith({u"(drill 0.762)"});
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(Queue(), (std::vector<QueuedEvent>{Ev(EventKind::ActivateEvent, 0, 0, 0)}));
}

TEST_F(MainWindowTest, AWindowThatCannotBeOpenedLeavesTheStateAlone) {
    platform.RefuseTopLevel = true;
    BoardState state = StateWith({u"(drill 0.762)"});
    EXPECT_FALSE(BuildMainWindow(state));
    EXPECT_EQ(state.DrillCount, 2);
    EXPECT_EQ(state.NewDrillTokens.at(1), u"");
    EXPECT_EQ(platform.Log.back(), "create-window 0");
}

} // namespace
} // namespace rz::testing
