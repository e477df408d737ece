// The command line in a Windows console: text a console shows as written, and the
// wildcards that Windows shells leave to the program.
#include <windows.h>

#include "app/cli/console_win32.hpp"
#include "app/cli/output.hpp"
#include "app/cli/wildcards.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace rz {
namespace {

namespace fs = std::filesystem;

TEST(CliConsole, UmlautsShowAsWrittenAndPipesGetNoUtf16) {
    // A console of its own: under Wine the one inherited from a pipe cannot be written.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, screen);
    Print(Channel::Err, "Die Datei wurde seit dem Laden geändert: „Größe Ä€“");
    SetStdHandle(STD_ERROR_HANDLE, standardError);
    const std::wstring expected = L"Die Datei wurde seit dem Laden geändert: „Größe Ä€“";
    std::wstring shown(expected.size(), L'\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()),
                                            COORD{0, 0}, &read));
    EXPECT_EQ(shown, expected);
    CloseHandle(screen);

    HANDLE pipeRead = nullptr;
    HANDLE pipeWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&pipeRead, &pipeWrite, nullptr, 0));
    EXPECT_FALSE(WriteConsoleText(pipeWrite, "geändert"));
    DWORD waiting = 1;
    PeekNamedPipe(pipeRead, nullptr, 0, nullptr, &waiting, nullptr);
    EXPECT_EQ(waiting, 0u);
    CloseHandle(pipeRead);
    CloseHandle(pipeWrite);
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(CliWildcards, EachMatchOnceInNameOrderAndNothingForNoMatch) {
    const fs::path dir = fs::temp_directory_path() / u8"rz wildcards für Ärger";
    fs::remove_all(dir);
    fs::create_directories(dir / "lib.pretty");
    for (const char8_t* name : {u8"b2.kicad_pcb", u8"ä.kicad_pcb", u8"B.kicad_pcb", u8"a.kicad_pcb",
                                u8"b10.kicad_pcb", u8"c.kicad_pcb.bak", u8"notes.txt"}) {
        std::ofstream(dir / name) << "(kicad_pcb)";
    }
    const std::string d = Utf8(dir);
    // Case ignored (a before B), ordinal (b10 before b2), umlauts after ASCII.
    EXPECT_EQ(
        MatchWildcard(d + "/*.kicad_pcb"),
        (std::vector<std::string>{d + "/a.kicad_pcb", d + "/B.kicad_pcb", d + "/b10.kicad_pcb",
                                  d + "/b2.kicad_pcb", d + "/ä.kicad_pcb"}));
    EXPECT_EQ(MatchWildcard(d + "\\*.pretty"), std::vector<std::string>{d + "\\lib.pretty"});
    EXPECT_TRUE(MatchWildcard(d + "/*.none").empty());
    EXPECT_TRUE(MatchWildcard(d + "/kein Ordner/*.kicad_pcb").empty());

    // Only files are expanded: not an option's value, nor a folder part's `*`.
    const std::string one = d + "/?.kicad_pcb";
    const std::string none = d + "/*.none";
    const std::string folderPart = d + "/*/a.kicad_pcb";
    const auto takesValue = [](std::string_view name) { return name == "--keep"; };
    EXPECT_EQ(ExpandFileArguments({"list", "--keep", one, "--plated-only", one, none, folderPart},
                                  takesValue),
              (std::vector<std::string>{"list", "--keep", one, "--plated-only", d + "/a.kicad_pcb",
                                        d + "/B.kicad_pcb", d + "/ä.kicad_pcb", none, folderPart}));
    fs::remove_all(dir);
}

} // namespace
} // namespace rz
