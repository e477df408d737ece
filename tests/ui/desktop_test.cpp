// The main window built from the board state, the driver's loop and the whole run
// sequence on the scripted platform, with a real board file in a scratch folder.
#include "scripted_platform.hpp"

#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/main_window.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace rz::testing {
namespace {

using namespace EventKind;
namespace fs = std::filesystem;

BoardState StateWith(std::vector<Text> tokens) {
    BoardState state;
    state.DrillTokens = {Text()};
    state.DrillTokens.insert(state.DrillTokens.end(), tokens.begin(), tokens.end());
    state.NewDrillTokens.assign(state.DrillTokens.size(), Text());
    state.DrillCount = static_cast<int32_t>(state.DrillTokens.size());
    return state;
}

class MainWindowTest : public UiTest {
protected:
    std::vector<Text> Rows(int32_t list) { return platform.Of(ControlHandle(list)).Rows; }
};

TEST_F(MainWindowTest, RowsShowValuesAndRoundedValuesAndTheNewTokensAreStored) {
    BoardState state = StateWith({u"(drill 0.762)", u"(drill 1.016)"});
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(Rows(BeforeList), (std::vector<Text>{u"0.762", u"1.016"}));
    EXPECT_EQ(Rows(AfterList), (std::vector<Text>{u"0.8", u"1.0"}));
    EXPECT_EQ(state.DrillCount, 2);
    EXPECT_EQ(state.NewDrillTokens, (std::vector<Text>{u"", u"(drill 0.8)", u"(drill 1.0)"}));
    // Creation order is the tab order, the same on every platform.
    std::erase_if(platform.Log, [](const std::string& s) { return s.rfind("create", 0) != 0; });
    EXPECT_EQ(platform.Log,
              (std::vector<std::string>{"create-window 0", "create-control 2", "create-control 3",
                                        "create-control 0", "create-control 1", "create-control 4",
                                        "create-control 5"}));
    EXPECT_EQ(platform.Of(ControlHandle(AfterLabel)).Control.Caption, u" Nachher");
    EXPECT_EQ(platform.Of(ControlHandle(CancelButton)).Control.Caption,
              u"Keine Übernahme, Abbruch");
}

TEST_F(MainWindowTest, NoTokenGivesEmptyListsAndARefusedWindowLeavesTheStateAlone) {
    BoardState state = StateWith({});
    state.DrillCount = 0; // nothing was collected
    ASSERT_TRUE(BuildMainWindow(state));
    EXPECT_EQ(state.DrillCount, -1);
    EXPECT_TRUE(Rows(BeforeList).empty());
    EXPECT_TRUE(Rows(AfterList).empty());
    EXPECT_NE(ControlHandle(CancelButton), nullptr);
    CloseAllWindows();
    platform.RefuseTopLevel = true;
    platform.Log.clear();
    state = StateWith({u"(drill 0.762)"});
    EXPECT_FALSE(BuildMainWindow(state));
    EXPECT_EQ(state.DrillCount, 2);
    EXPECT_EQ(state.NewDrillTokens.at(1), u"");
    EXPECT_EQ(platform.Log.back(), "create-window 0");
}

TEST_F(UiTest, OnlyTheButtonsAndACloseRequestDecide) {
    const QueuedEvent apply = Ev(ControlEvent, 4), cancel = Ev(ControlEvent, 5),
                      close = Ev(CloseEvent, 0);
    // Each inner list: the events posted while one platform message is dispatched.
    const struct {
        std::vector<std::vector<QueuedEvent>> steps;
        Decision decision;
    } cases[] = {
        {{{apply}}, Decision::Apply},
        {{{cancel}}, Decision::Cancel},
        {{{close}}, Decision::Close},
        {{{Ev(ControlEvent, 0), Ev(ControlEvent, 1, 0, 2)},
          {Ev(ControlEvent, 1, 0, 14002), Ev(ControlEvent, 0, 0, 1)},
          {Ev(MoveEvent, 0), Ev(LeftClickEvent, 0), Ev(RightClickEvent, 0)},
          {Ev(DeactivateEvent, 0), Ev(ActivateEvent, 0), Ev(RepaintEvent, 0)},
          {},
          {cancel}},
         Decision::Cancel},
        {{{apply, cancel, close}}, Decision::Apply},
        {{{close, apply}}, Decision::Close},
    };
    BoardState state;
    ASSERT_TRUE(BuildMainWindow(state));
    DesktopShell shell(platform);
    for (const auto& c : cases) {
        ResetEventLayer();
        platform.Script.clear();
        for (const auto& posted : c.steps) {
            platform.Then([this, posted] { Post(posted); });
        }
        EXPECT_EQ(WaitForDecision(shell), c.decision) << ::testing::PrintToString(c.steps);
    }
    // The last event's control is read before the first wait.
    ResetEventLayer();
    PostEvent(ControlEvent, 5, 0, 0);
    WaitEvent();
    const int waits = platform.Waits;
    EXPECT_EQ(WaitForDecision(shell), Decision::Cancel);
    EXPECT_EQ(platform.Waits, waits);
    // Platform messages alone never decide, whatever their numbers.
    ResetEventLayer();
    for (uint32_t m = 0; m < 50; ++m) {
        platform.Then([] {}, m);
    }
    EXPECT_THROW(WaitForDecision(shell), ScriptExhausted);
    EXPECT_EQ(platform.Waits, waits + 51);
}

std::string ReadAll(const fs::path& p) {
    std::ostringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

// Two pads and two vias, as KiCad writes them on one line each.
const std::string Original =
    "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
    "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n"
    "(via (at 10 10) (size 0.6) (drill 0.762) (layers F.Cu B.Cu))\n"
    "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\n";
const std::string Rounded =
    "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.8) (layers *.Cu))\r\n"
    "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.0) (layers *.Cu))\r\n"
    "(via (at 10 10) (size 0.6) (drill 0.8) (layers F.Cu B.Cu))\r\n"
    "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\r\n";

TEST_F(UiTest, TheWholeRunWritesOnlyOnApplyAndSaysWhyItCannotStart) {
    const fs::path folder =
        fs::temp_directory_path() /
        ("rz_run_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    const fs::path board = folder / "test.kicad_pcb";
    const auto click = [](int32_t button) {
        return [button] { ControlCommand(button, ControlNotification::ButtonClicked); };
    };
    const struct {
        const char* name;
        bool start, dialogCancelled, opens;
        std::function<void()> user; // what the user does once the window is up
        bool fails;
        const std::string& written;
    } cases[] = {
        {"apply", true, false, true, click(ApplyButton), false, Rounded},
        {"cancel", true, false, true, click(CancelButton), false, Original},
        {"close", true, false, true, [] { WindowCloseRequested(MainWindow); }, false, Original},
        {"dialog cancelled, then apply", true, true, true, click(ApplyButton), false, Original},
        {"no display", false, false, true, nullptr, true, Original},
        {"no window", true, false, false, nullptr, true, Original},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetWindowLayer();
        ResetEventLayer();
        platform = ScriptedPlatform();
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::ofstream(board, std::ios::binary) << Original;
        platform.StartSucceeds = c.start;
        platform.RefuseTopLevel = !c.opens;
        platform.OpenDialogAnswer = [&](OpenDialogRequest& r) {
            const Text p = Utf8ToText(board.string());
            std::fill(std::copy(p.begin(), p.end(), r.PathBuffer.begin()), r.PathBuffer.end(), 0);
            return !c.dialogCancelled;
        };
        std::vector<Text> rows{u"x"};
        if (c.user) {
            platform.Then([] {});
            platform.Then([&] {
                rows = platform.Of(ControlHandle(BeforeList)).Rows;
                c.user();
            });
        }
        DesktopShell shell(platform);
        std::ostringstream errors;
        EXPECT_EQ(RunDesktop(shell, errors) != 0, c.fails);
        EXPECT_EQ(ReadAll(board), c.written);
        EXPECT_EQ(platform.OpenDialogs.size(), c.start ? 1u : 0u);
        ASSERT_EQ(platform.Boxes.empty(), !c.dialogCancelled); // apply may add its own word
        if (c.dialogCancelled) {
            EXPECT_EQ(platform.Boxes[0].Title, u"Information");
            EXPECT_EQ(platform.Boxes[0].Message, u"Datei ist nicht vorhanden");
            EXPECT_TRUE(rows.empty()) << "the lists of a board not loaded";
        }
        EXPECT_EQ(errors.str().empty(), !c.fails) << errors.str();
        if (!c.start) {
            EXPECT_NE(errors.str().find("no display"), std::string::npos);
        }
        if (c.user) {
            EXPECT_EQ(platform.Log.back(), "finish");
            EXPECT_EQ(WindowHandle(MainWindow), nullptr) << "the end routine closed the window";
        } else {
            EXPECT_EQ(platform.Waits, 0);
        }
    }
    fs::remove_all(folder);
}

} // namespace
} // namespace rz::testing
