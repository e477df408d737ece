// The driver's loop and the whole run sequence on the scripted platform, with a real
// board file in a scratch folder.
#include "scripted_platform.hpp"

#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/main_window.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace rz::testing {
namespace {

using namespace EventKind;
namespace fs = std::filesystem;

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
    for (size_t i = 0; i < std::size(cases); ++i) {
        ResetEventLayer();
        platform.Script.clear();
        for (const auto& posted : cases[i].steps) {
            platform.Then([this, posted] { Post(posted); });
        }
        EXPECT_EQ(WaitForDecision(shell), cases[i].decision) << "case " << i;
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
    EXPECT_THROW(WaitForDecision(shell), std::out_of_range);
    EXPECT_EQ(platform.Waits, waits + 51);
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
        fs::temp_directory_path() / ("rz_run_" + std::to_string(std::random_device()()));
    const fs::path board = folder / "test.kicad_pcb";
    const struct {
        bool start, opens, dialogCancelled;
        std::function<void()> user; // a click or close request once the window is up
        const std::string& written;
    } cases[] = {
        {true, true, false, [] { ControlCommand(ApplyButton, 0); }, Rounded},
        {true, true, false, [] { ControlCommand(CancelButton, 0); }, Original},
        {true, true, false, [] { WindowCloseRequested(MainWindow); }, Original},
        {true, true, true, [] { ControlCommand(ApplyButton, 0); }, Original},
        {false, true, false, nullptr, Original}, // no display
        {true, false, false, nullptr, Original}, // no window
    };
    const std::vector<Text> shown = {u"0.762", u"1.016", u"0.8", u"1.0"}; // before, after
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        platform = ScriptedPlatform();
        SetUp();
        fs::create_directories(folder);
        std::ofstream(board, std::ios::binary) << Original;
        platform.StartSucceeds = c.start;
        platform.RefuseTopLevel = !c.opens;
        platform.OpenDialogAnswer = [&](const OpenDialogRequest&) {
            return c.dialogCancelled ? Text() : Utf8ToText(board.string());
        };
        std::vector<Text> rows{u"x"}; // both lists as the user sees them
        if (c.user) {
            platform.Then([&] {
                rows = platform.Of(platform.Find(BeforeList)).Rows;
                const std::vector<Text>& after = platform.Of(platform.Find(AfterList)).Rows;
                rows.insert(rows.end(), after.begin(), after.end());
                c.user();
            });
        }
        DesktopShell shell(platform);
        std::ostringstream errors;
        EXPECT_EQ(RunDesktop(shell, errors) == 0, c.user != nullptr);
        std::ostringstream written;
        written << std::ifstream(board, std::ios::binary).rdbuf();
        EXPECT_EQ(written.str(), c.written);
        EXPECT_EQ(platform.OpenDialogs.size(), c.start ? 1u : 0u);
        ASSERT_EQ(platform.Boxes.empty(), !c.dialogCancelled); // apply may add its own word
        if (c.dialogCancelled) {
            EXPECT_EQ(platform.Boxes[0],
                      std::make_tuple(nullptr, u"Information", u"Datei ist nicht vorhanden"));
        }
        EXPECT_EQ(errors.str().empty(), c.user != nullptr) << errors.str();
        EXPECT_EQ(errors.str().find("no display") != std::string::npos, !c.start);
        if (c.user) {
            EXPECT_EQ(rows, c.dialogCancelled ? std::vector<Text>() : shown);
            EXPECT_EQ(platform.Log.back(), "finish");
            EXPECT_EQ(platform.Find(MainWindow, true), nullptr) << "the end routine closed it";
        } else {
            EXPECT_EQ(platform.Waits, 0);
        }
    }
    fs::remove_all(folder);
}

} // namespace
} // namespace rz::testing
