// The driver's loop and the whole run sequence on the scripted platform, with real
// board files in a scratch folder.
#include "ui_fixture.hpp"

#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/main_window.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace rz::testing {
namespace {

using namespace EventKind;

// One platform message, during whose dispatch the given events are posted.
struct Step {
    std::vector<QueuedEvent> posted;
};

class DecisionTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        BoardState state;
        ASSERT_TRUE(BuildMainWindow(state));
    }
};

TEST_F(DecisionTest, OnlyTheButtonsAndACloseRequestDecide) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Decision decision;
    };
    const QueuedEvent apply = Ev(ControlEvent, 4, 0, 0);
    const QueuedEvent cancel = Ev(ControlEvent, 5, 0, 0);
    const std::vector<Case> cases = {
        {"apply clicked", {{{apply}}}, Decision::Apply},
        {"cancel clicked", {{{cancel}}}, Decision::Cancel},
        {"close request", {{{Ev(CloseEvent, 0, 0, 0)}}}, Decision::Close},
        {"list use, moves, clicks, activation, then cancel",
         {{{Ev(ControlEvent, 0, 0, 0), Ev(ControlEvent, 1, 0, 2)}},
          {{Ev(ControlEvent, 1, 0, 14002), Ev(ControlEvent, 0, 0, 1)}},
          {{Ev(MoveEvent, 0, 0, 0), Ev(LeftClickEvent, 0, 0, 0), Ev(RightClickEvent, 0, 0, 0)}},
          {{Ev(DeactivateEvent, 0, 0, 0), Ev(ActivateEvent, 0, 0, 0), Ev(RepaintEvent, 0, 0, 0)}},
          {{}},
          {{cancel}}},
         Decision::Cancel},
        {"the first decision counts",
         {{{apply, cancel, Ev(CloseEvent, 0, 0, 0)}}},
         Decision::Apply},
        {"a close request before a click", {{{Ev(CloseEvent, 0, 0, 0), apply}}}, Decision::Close},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEventLayer();
        platform.Script.clear();
        for (const Step& step : c.steps) {
            platform.Then([posted = step.posted] {
                for (const QueuedEvent& e : posted) {
                    PostEvent(e.Kind, e.Control, e.Window, e.Type);
                }
            });
        }
        DesktopShell shell(platform);
        EXPECT_EQ(WaitForDecision(shell), c.decision);
    }
}

TEST_F(DecisionTest, TheControlIsReadBeforeTheFirstWait) {
    PostEvent(ControlEvent, 5, 0, 0);
    WaitEvent(); // the last event's control is now 5
    DesktopShell shell(platform);
    const int waitsBefore = platform.Waits;
    EXPECT_EQ(WaitForDecision(shell), Decision::Cancel);
    EXPECT_EQ(platform.Waits, waitsBefore);
}

TEST_F(DecisionTest, PlatformMessagesAloneNeverDecide) {
    for (int i = 0; i < 50; ++i) {
        platform.ThenNothing(static_cast<uint32_t>(i)); // includes 0 and small numbers
    }
    DesktopShell shell(platform);
    EXPECT_THROW(WaitForDecision(shell), ScriptExhausted);
    EXPECT_EQ(platform.Waits, 50 + 1);
}

// ---- the whole run -------------------------------------------------------------------

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RunTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        folder =
            std::filesystem::temp_directory_path() /
            ("rz_run_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        board = folder / "test.kicad_pcb";
        std::ofstream(board, std::ios::binary) << Original;
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        UiTest::TearDown();
    }
    void AnswerWith(const std::filesystem::path& path) {
        platform.OpenDialogAnswer = [path](OpenDialogRequest& r) {
            const Text p = Utf8ToText(path.string());
            std::fill(r.PathBuffer.begin(), r.PathBuffer.end(), u'\0');
            std::copy(p.begin(), p.end(), r.PathBuffer.begin());
            return true;
        };
    }
    void ClickLater(int32_t control) {
        platform.ThenNothing();
        platform.Then([control] { ControlCommand(control, ControlNotification::ButtonClicked); },
                      0x0202);
    }
    int Run() {
        DesktopShell shell(platform);
        return RunDesktop(shell, errors);
    }

    // Two pads and two vias, as KiCad writes them on one line each.
    static constexpr const char* Original =
        "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
        "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n"
        "(via (at 10 10) (size 0.6) (drill 0.762) (layers F.Cu B.Cu))\n"
        "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\n";
    std::filesystem::path folder;
    std::filesystem::path board;
    std::ostringstream errors;
};

TEST_F(RunTest, ApplyRewritesTheChosenBoardOnceAndEndsWithZero) {
    AnswerWith(board);
    ClickLater(ApplyButton);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(ReadAll(board),
              "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.8) (layers *.Cu))\r\n"
              "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.0) (layers *.Cu))\r\n"
              "(via (at 10 10) (size 0.6) (drill 0.8) (layers F.Cu B.Cu))\r\n"
              "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\r\n");
    EXPECT_TRUE(platform.MessageBoxes.empty());
    EXPECT_EQ(platform.Log.back(), "finish");
    EXPECT_EQ(WindowHandle(MainWindow), nullptr) << "the end routine closed the window";
    EXPECT_TRUE(errors.str().empty());
}

TEST_F(RunTest, CancelAndCloseLeaveTheBoardAlone) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "cancel");
        ResetWindowLayer();
        ResetEventLayer();
        platform.Log.clear();
        AnswerWith(board);
        if (close) {
            platform.Then([] { WindowCloseRequested(MainWindow); });
        } else {
            ClickLater(CancelButton);
        }
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(ReadAll(board), Original);
        EXPECT_EQ(platform.Log.back(), "finish");
    }
}

TEST_F(RunTest, ACancelledDialogShowsTheMessageAndEmptyLists) {
    platform.OpenDialogAnswer = [](OpenDialogRequest&) { return false; };
    std::vector<Text> beforeRows{u"x"};
    platform.Then([&] {
        beforeRows = platform.Of(ControlHandle(BeforeList)).Rows;
        ControlCommand(ApplyButton, ControlNotification::ButtonClicked);
    });
    EXPECT_EQ(Run(), 0);
    ASSERT_GE(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Title, u"Information");
    EXPECT_EQ(platform.MessageBoxes[0].Message, u"Datei ist nicht vorhanden");
    EXPECT_TRUE(beforeRows.empty());
    EXPECT_EQ(ReadAll(board), Original) << "nothing was loaded, so nothing is written";
}

TEST_F(RunTest, NoDisplayMeansNoDialogNoFileAndANonZeroCode) {
    platform.StartSucceeds = false;
    AnswerWith(board);
    EXPECT_NE(Run(), 0);
    EXPECT_TRUE(platform.OpenDialogRequests.empty());
    EXPECT_NE(errors.str().find("no display"), std::string::npos);
    EXPECT_EQ(ReadAll(board), Original);
}

TEST_F(RunTest, AWindowThatCannotBeOpenedEndsTheRunWithoutWaiting) {
    platform.RefuseTopLevel = true;
    AnswerWith(board);
    EXPECT_NE(Run(), 0);
    EXPECT_EQ(platform.Waits, 0);
    EXPECT_FALSE(errors.str().empty());
    EXPECT_EQ(ReadAll(board), Original);
}

} // namespace
} // namespace rz::testing
