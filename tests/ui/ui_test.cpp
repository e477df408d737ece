// The portable event and dialog layers and the driver's loop on the scripted platform.
// What needs real windows (centring, Tab, lists, the whole run) is driven end to end by
// tests/e2e and tests/win32.
#include "scripted_platform.hpp"

#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/platform_dialogs.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace rz::testing {
namespace {

using namespace EventKind;
using Events = std::vector<QueuedEvent>;

TEST_F(UiTest, EventsComeOnceInOrderAndPlatformMessagesKeepTheLastEventsControl) {
    const QueuedEvent click = Ev(ControlEvent, 4);
    // Only an identical last entry is coalesced, and only for the layer's own kinds.
    Post({Ev(ActivateEvent, 0), click, click, Ev(ControlEvent, 1, 3, 2), click, Ev(70000, 1),
          Ev(70000, 1)});
    EXPECT_EQ(Queue(), (Events{Ev(ActivateEvent, 0), click, Ev(ControlEvent, 1, 3, 2), click,
                               Ev(70000, 1), Ev(70000, 1)}));
    EventLayer().EventQueue.resize(3);
    // A click whose release message, dispatched, makes a button notify its window.
    platform.Then([] { PostEvent(ControlEvent, 5, 0, 0); }, 0x0202);
    platform.Then([] {}, 0x000F);
    EXPECT_EQ(LastEventControl(), 0) << "zero before the first event";
    EXPECT_EQ(WaitEvent(), ActivateEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(platform.Waits, 0) << "no platform message while events are queued";
    EXPECT_EQ(WaitEvent(), 0x0202u);
    const CurrentEventRecord& now = EventLayer().CurrentEvent;
    EXPECT_EQ(std::tie(now.Kind, now.Type, now.Window, now.Control), std::make_tuple(0u, -1, 3, 1));
    EXPECT_EQ(WaitEvent(), ControlEvent);
    EXPECT_EQ(WaitEvent(), 0x000Fu);
    EXPECT_EQ(LastEventControl(), 5);
    EXPECT_THROW(WaitEvent(), std::out_of_range);
}

TEST_F(UiTest, OnlyTheButtonsAndACloseRequestDecide) {
    const QueuedEvent apply = Ev(ControlEvent, 4), cancel = Ev(ControlEvent, 5),
                      close = Ev(CloseEvent, 0);
    // Each inner list: the events posted while one platform message is dispatched.
    const struct {
        std::vector<Events> steps;
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

TEST_F(UiTest, WithoutAWindowTheRunSaysWhyAndTouchesNothing) {
    namespace fs = std::filesystem;
    const auto folder =
        fs::temp_directory_path() / ("rz_run_" + std::to_string(std::random_device()()));
    const auto board = folder / "test.kicad_pcb";
    const std::string original = "(pad 1 thru_hole (drill 0.762))\n";
    fs::create_directories(folder);
    std::ofstream(board, std::ios::binary) << original;
    platform.OpenDialogAnswer = [&](auto&) { return Utf8ToText(board.string()); };
    platform.RefuseTopLevel = true;
    std::ostringstream errors, written;
    DesktopShell shell(platform);
    EXPECT_NE(RunDesktop(shell, errors, GivenBoardPath(board.u16string())), 0);
    EXPECT_FALSE(errors.str().empty());
    EXPECT_EQ(platform.Waits, 0) << "no wait for a window that is not there";
    written << std::ifstream(board, std::ios::binary).rdbuf();
    EXPECT_EQ(written.str(), original);
    fs::remove_all(folder);
}

// The dialog is offered a board named at start only when it is an existing file, with the
// folder the system would use and the name as given.
TEST_F(UiTest, AGivenBoardIsOfferedByItsFullPath) {
    namespace fs = std::filesystem;
    const fs::path before = fs::current_path();
    const fs::path here = fs::canonical(fs::temp_directory_path()) /
                          ("rz_given_" + std::to_string(std::random_device()()));
    fs::create_directories(here / "Projekt A" / "inner");
    std::ofstream(here / "Projekt A" / "board.kicad_pcb") << "(kicad_pcb)";
    fs::current_path(here);
    const Text inA = (here / "Projekt A" / "board.kicad_pcb").u16string();
    // Relative to the current folder, with "/" on Windows too.
    std::vector<std::pair<Text, Text>> cases = {
        {u"Projekt A", u""},
        {u"Projekt A/none.kicad_pcb", u""},
    };
#ifndef _WIN32
    // ".." after a linked folder is the folder above the link's target, not "here".
    fs::create_directory_symlink(here / "Projekt A" / "inner", here / "link");
    cases.emplace_back(u"link/../board.kicad_pcb", inA);
#endif
    for (const auto& [argument, offered] : cases) {
        EXPECT_EQ(GivenBoardPath(argument), offered) << TextToUtf8(argument);
    }
    fs::current_path(before);
    fs::remove_all(here);
}

TEST_F(UiTest, TheOpenDialogGetsTheToolsTextsAndOnlyAPlainNamePart) {
    // The default file splits at the system's last separator; a first backslash does not.
    const struct {
        Text defaultFile;
        char16_t separator;
        bool hasFolder;
        Text folder, name;
    } splits[] = {
        {u"C:\\pcb\\test.kicad_pcb", u'\\', true, u"C:\\pcb", u"test.kicad_pcb"},
        {u"\\test.kicad_pcb", u'\\', true, u"", u"\\test.kicad_pcb"},
        {u"a/b.kicad_pcb", u'\\', true, u"", u"a/b.kicad_pcb"},
        {u"/home/Projekt A/b\\c.kicad_pcb", u'/', true, u"/home/Projekt A", u"b\\c.kicad_pcb"},
        {u"/b.kicad_pcb", u'/', true, u"/", u"b.kicad_pcb"},
        {u"", u'/', false, u"", u""},
    };
    for (const auto& c : splits) {
        const DefaultFileParts parts = SplitDefaultFile(c.defaultFile, c.separator);
        EXPECT_EQ(std::tie(parts.HasFolder, parts.Folder, parts.Name),
                  std::tie(c.hasFolder, c.folder, c.name))
            << TextToUtf8(c.defaultFile);
    }
    PlatformDialogs dialogs;
    platform.OpenDialogAnswer = [](const OpenDialogRequest& r) { return r.Title + u"!"; };
    // Only a plain name reaches the name field.
    for (const Text& file : {Text(u"test.kicad_pcb"), u"pcb" + Text(1, FolderSeparator) + u"*.x"}) {
        EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", file,
                                         u"PCB-datei (*.kicad_pcb)| *.kicad_pcb", 0),
                  u"Lade PCB-Datei!");
    }
    EXPECT_EQ(platform.OpenDialogs.at(0).FileName, u"test.kicad_pcb");
    EXPECT_EQ(std::tie(platform.OpenDialogs.at(1).FileName, platform.OpenDialogs[1].InitialFolder),
              std::make_tuple(u"", u"pcb"));
    const OpenDialogRequest& r = platform.OpenDialogs.at(0);
    ASSERT_EQ(r.Filters.size(), 1u);
    EXPECT_EQ(std::tie(r.Filters[0].Description, r.Filters[0].Pattern, r.FilterIndex),
              std::make_tuple(u"PCB-datei (*.kicad_pcb)", u" *.kicad_pcb", 1));
    EXPECT_EQ(r.Owner, nullptr) << "no window of ours is up yet";
    for (const Text odd : {u"a?", u"a\"b", u"C:x", u"<a", u"a>", u"a|b", u"a\tb", u"\x1F"}) {
        EXPECT_FALSE(IsPlainFileName(odd));
    }
    EXPECT_TRUE(IsPlainFileName(u"Übernahme 2 (neu).kicad_pcb"));
    NativeHandle main = OpenMain(); // the foreground window owns the dialogs
    EXPECT_EQ(dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0), 1);
    EXPECT_EQ(platform.Boxes.at(0),
              std::make_tuple(main, u"Information", u"Datei ist nicht vorhanden"));
}

} // namespace
} // namespace rz::testing
