// The command line in a Windows console, and the wildcards Windows shells leave to it.
#include <windows.h>

#include "app/cli/output.hpp"
#include "app/cli/wildcards.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace rz {
namespace {

TEST(CliConsole, UmlautsShowAsWritten) {
    // A console of its own: under Wine the one inherited with pipes cannot be written.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                    CONSOLE_TEXTMODE_BUFFER, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, screen);
    Print(Channel::Err, "Die Datei wurde seit dem Laden geändert: „Größe Ä€“");
    const std::wstring expected = L"Die Datei wurde seit dem Laden geändert: „Größe Ä€“";
    std::wstring shown(expected.size(), L'\0');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()), COORD{0, 0},
                                &read);
    EXPECT_EQ(shown, expected);
}

TEST(CliWildcards, EachMatchOnceInCaseIgnoringOrdinalOrder) {
    const auto dir = std::filesystem::temp_directory_path() / u8"rz wildcards für Ärger";
    std::filesystem::create_directories(dir / "lib.pretty");
    for (const char8_t* name : {u8"b2.kicad_pcb", u8"ä.kicad_pcb", u8"B.kicad_pcb", u8"a.kicad_pcb",
                                u8"b10.kicad_pcb", u8"c.kicad_pcb.bak"}) {
        std::ofstream(dir / name) << "x";
    }
    const std::string d = reinterpret_cast<const char*>(dir.u8string().c_str());
    // a before B (case ignored), b10 before b2 (ordinal), umlauts after ASCII; folders too.
    EXPECT_EQ(
        MatchWildcard(d + "/*.kicad_pcb"),
        (std::vector<std::string>{d + "/a.kicad_pcb", d + "/B.kicad_pcb", d + "/b10.kicad_pcb",
                                  d + "/b2.kicad_pcb", d + "/ä.kicad_pcb"}));
    EXPECT_EQ(MatchWildcard(d + "\\*.pretty"), std::vector<std::string>{d + "\\lib.pretty"});
    EXPECT_TRUE(MatchWildcard(d + "/*.none").empty());
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace rz
