// The open dialog's filter and default-file handling, the message box, and the modal
// guard around both.
#include "ui_fixture.hpp"

#include "ui/platform_dialogs.hpp"

namespace rz::testing {
namespace {

const Text ToolFilter = u"PCB-datei (*.kicad_pcb)| *.kicad_pcb";

Text Buffered(const std::u16string& buffer) {
    return buffer.substr(0, buffer.find(u'\0'));
}

TEST(FilterText, PiecesAreCutAtEveryBarWithBlanksKept) {
    struct Case {
        Text filter;
        std::vector<Text> pieces;
        size_t pairs;
    };
    const std::vector<Case> cases = {
        {ToolFilter, {u"PCB-datei (*.kicad_pcb)", u" *.kicad_pcb"}, 1},
        {u"", {}, 0},
        {u"A|*.a|B|*.b", {u"A", u"*.a", u"B", u"*.b"}, 2},
        {u"A|*.a|B", {u"A", u"*.a", u"B"}, 1}, // a description without pattern is left out
        {u"A||", {u"A", u"", u""}, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitFilterPieces(c.filter), c.pieces);
        EXPECT_EQ(FilterPairs(c.filter).size(), c.pairs);
    }
    const std::vector<FileFilter> pairs = FilterPairs(ToolFilter);
    EXPECT_EQ(pairs[0].Description, u"PCB-datei (*.kicad_pcb)");
    EXPECT_EQ(pairs[0].Pattern, u" *.kicad_pcb");
}

TEST(FilterText, ThePlatformBufferIsNulSeparatedAndClosedByAnExtraNul) {
    const std::u16string expected = std::u16string(u"PCB-datei (*.kicad_pcb)") + u'\0' +
                                    u" *.kicad_pcb" + u'\0' + u'\0' + u'\0';
    EXPECT_EQ(PlatformFilterBuffer(ToolFilter), expected);
    EXPECT_EQ(PlatformFilterBuffer(u""), std::u16string(3, u'\0'));
}

TEST(DefaultFile, TheLastBackslashSplitsFolderFromName) {
    struct Case {
        Text given;
        bool hasFolder;
        Text folder;
        Text name;
    };
    const std::vector<Case> cases = {
        {u"test.kicad_pcb", true, u"", u"test.kicad_pcb"},
        {u"C:\\boards\\v2\\test.kicad_pcb", true, u"C:\\boards\\v2", u"test.kicad_pcb"},
        {u"\\test.kicad_pcb", true, u"", u"\\test.kicad_pcb"}, // first character: no split
        {u"C:\\boards\\", true, u"C:\\boards", u""},
        {u"a/b/test.kicad_pcb", true, u"", u"a/b/test.kicad_pcb"},
        {u"", false, u"", u""},
    };
    for (const Case& c : cases) {
        const DefaultFileParts p = SplitDefaultFile(c.given);
        EXPECT_EQ(p.HasFolder, c.hasFolder);
        EXPECT_EQ(p.Folder, c.folder);
        EXPECT_EQ(p.Name, c.name);
    }
}

TEST(DefaultFile, PlainFileNames) {
    for (const Text& plain : {Text(u"test.kicad_pcb"), Text(u"Übernahme 2 (neu).kicad_pcb"),
                              Text(u" "), Text(u"a.b.c")}) {
        EXPECT_TRUE(IsPlainFileName(plain));
    }
    for (const Text& odd : {Text(u""), Text(u"a*.kicad_pcb"), Text(u"a?"), Text(u"a\"b"),
                            Text(u"a\\b"), Text(u"a/b"), Text(u"C:x"), Text(u"<a"), Text(u"a>"),
                            Text(u"a|b"), Text(u"a\tb"), Text(1, char16_t(0x1F))}) {
        EXPECT_FALSE(IsPlainFileName(odd));
    }
}

class OpenDialogTest : public UiTest {
protected:
    PlatformDialogs dialogs;
};

TEST_F(OpenDialogTest, TheToolsRequestReachesThePlatform) {
    platform.OpenDialogAnswer = [](OpenDialogRequest&) { return false; };
    EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"test.kicad_pcb", ToolFilter, 0), u"");
    ASSERT_EQ(platform.OpenDialogRequests.size(), 1u);
    const OpenDialogRequest& r = platform.OpenDialogRequests[0];
    EXPECT_EQ(r.Title, u"Lade PCB-Datei");
    EXPECT_EQ(r.FilterBuffer, PlatformFilterBuffer(ToolFilter));
    ASSERT_EQ(r.Filters.size(), 1u);
    EXPECT_EQ(r.FilterIndex, 1);
    EXPECT_EQ(r.Flags, 0x8080Cu);
    EXPECT_EQ(r.PathBuffer.size(), 260u);
    EXPECT_EQ(Buffered(r.PathBuffer), u"test.kicad_pcb");
    EXPECT_TRUE(r.HasInitialFolder);
    EXPECT_EQ(r.InitialFolder, u"");
    EXPECT_EQ(r.Owner, nullptr) << "no window of ours is up yet";
    EXPECT_EQ(dialogs.SelectedFilter(), 0) << "a cancel keeps no filter";
}

TEST_F(OpenDialogTest, TheNameFieldStartsWithThePlainNamePartOnly) {
    struct Case {
        Text defaultFile;
        int32_t units;
        Text field;
        bool hasFolder;
        Text folder;
    };
    const std::vector<Case> cases = {
        {u"C:\\pcb\\test.kicad_pcb", 260, u"test.kicad_pcb", true, u"C:\\pcb"},
        {u"C:\\pcb\\*.kicad_pcb", 260, u"", true, u"C:\\pcb"},
        {u"te?t.kicad_pcb", 260, u"", true, u""},
        {u"", 260, u"", false, u""},
        {u"abcdefgh", 5, u"abcd", true, u""}, // cut to the buffer, NUL kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.defaultFile.begin(), c.defaultFile.end()));
        platform.OpenDialogRequests.clear();
        platform.PathUnits = c.units;
        dialogs.ChooseOpenFile(u"t", c.defaultFile, ToolFilter, 0);
        const OpenDialogRequest& r = platform.OpenDialogRequests.at(0);
        EXPECT_EQ(Buffered(r.PathBuffer), c.field);
        EXPECT_EQ(r.PathBuffer.back(), u'\0');
        EXPECT_EQ(r.HasInitialFolder, c.hasFolder);
        EXPECT_EQ(r.InitialFolder, c.folder);
    }
}

TEST_F(OpenDialogTest, AChosenPathIsReturnedWithItsFilter) {
    platform.OpenDialogAnswer = [](OpenDialogRequest& r) {
        const std::u16string path = u"/home/k/pcb/missing.kicad_pcb";
        std::fill(r.PathBuffer.begin(), r.PathBuffer.end(), u'\0');
        std::copy(path.begin(), path.end(), r.PathBuffer.begin());
        r.FilterIndex = 2;
        return true;
    };
    EXPECT_EQ(dialogs.ChooseOpenFile(u"Lade PCB-Datei", u"test.kicad_pcb", ToolFilter, 1),
              u"/home/k/pcb/missing.kicad_pcb");
    EXPECT_EQ(platform.OpenDialogRequests.at(0).FilterIndex, 2);
    EXPECT_EQ(dialogs.SelectedFilter(), 2);
}

TEST_F(OpenDialogTest, NoPathBufferMeansNoDialog) {
    platform.PathUnits = 0;
    EXPECT_EQ(dialogs.ChooseOpenFile(u"t", u"test.kicad_pcb", ToolFilter, 0), u"");
    EXPECT_TRUE(platform.OpenDialogRequests.empty());
}

TEST_F(OpenDialogTest, TheMessageBoxGetsItsTextsUnchanged) {
    EXPECT_EQ(dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0), 1);
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Title, u"Information");
    EXPECT_EQ(platform.MessageBoxes[0].Message, u"Datei ist nicht vorhanden");
    EXPECT_EQ(platform.MessageBoxes[0].Flags, 0u);
    EXPECT_EQ(platform.MessageBoxes[0].Owner, nullptr);
}

TEST_F(OpenDialogTest, TheGuardDisablesOurOtherWindowsOnlyWhileADialogRuns) {
    NativeHandle main = OpenMain(); // shown, active: the foreground window and the owner
    NativeHandle behind = platform.AddOwnTopLevel(true, true, true);
    NativeHandle disabled = platform.AddOwnTopLevel(true, false, false);
    NativeHandle hidden = platform.AddOwnTopLevel(false, true, false);
    NativeHandle foreign = platform.AddForeignTopLevel(true, true);
    struct Seen {
        bool main, behind, disabled, hidden, foreign, behindTopmost, foreignTopmost;
    };
    std::vector<Seen> seen;
    platform.DuringDialog = [&] {
        auto& p = platform;
        seen.push_back(Seen{p.Of(main).Enabled, p.Of(behind).Enabled, p.Of(disabled).Enabled,
                            p.Of(hidden).Enabled, p.Of(foreign).Enabled, p.Of(behind).Topmost,
                            p.Of(foreign).Topmost});
    };
    dialogs.ShowMessage(u"Information", u"x", 0);
    dialogs.ChooseOpenFile(u"t", u"test.kicad_pcb", ToolFilter, 0);
    ASSERT_EQ(seen.size(), 2u);
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.main);
        EXPECT_FALSE(s.behind);
        EXPECT_FALSE(s.disabled);
        EXPECT_TRUE(s.hidden);
        EXPECT_TRUE(s.foreign);
        EXPECT_FALSE(s.behindTopmost);
        EXPECT_TRUE(s.foreignTopmost);
    }
    EXPECT_EQ(platform.MessageBoxes.at(0).Owner, main);
    EXPECT_EQ(platform.OpenDialogRequests.at(0).Owner, main);
    EXPECT_TRUE(platform.Of(behind).Enabled);
    EXPECT_TRUE(platform.Of(behind).Topmost);
    EXPECT_FALSE(platform.Of(disabled).Enabled) << "what the guard did not disable stays";
}

TEST_F(OpenDialogTest, AForeignForegroundWindowOwnsNothing) {
    platform.Foreground = platform.AddForeignTopLevel(true, false);
    EXPECT_EQ(ModalOwnerWindow(), nullptr);
    dialogs.ShowMessage(u"Information", u"x", 0);
    EXPECT_EQ(platform.MessageBoxes.at(0).Owner, nullptr);
}

} // namespace
} // namespace rz::testing
