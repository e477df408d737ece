// The Win32 file seam where the core tests (which also run under Wine) do not reach:
// share mode 0 both ways, the error kinds the rewrite decides on, a replace that is
// refused, and UTF-16 names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/os_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rz {
namespace {

namespace fs = std::filesystem;
using A = OsFiles::Access;

std::wstring W(const Text& t) {
    return std::wstring(t.begin(), t.end());
}

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }
    Text At(const std::u16string& name) const {
        const std::wstring path = dir_.wstring() + L"\\" + W(name);
        return Text(path.begin(), path.end());
    }
    static void Put(const Text& path, const std::string& bytes) {
        std::ofstream(fs::path(W(path)), std::ios::binary) << bytes;
    }
    static std::string Get(const Text& path) {
        std::ifstream in(fs::path(W(path)), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static HANDLE OpenElsewhere(const Text& path, DWORD share) {
        return CreateFileW(W(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    }

    fs::path dir_ =
        fs::temp_directory_path() / ("rz-files-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount()));
    OsFiles& files_ = SystemFiles();
};

TEST_F(Win32Files, OpenExistingTellsWhyItFails) {
    Put(At(u"board.kicad_pcb"), "x");
    const struct {
        Text path;
        A access;
        OsResult expected;
    } cases[] = {
        {At(u"board.kicad_pcb"), A::ReadForRewrite, OsResult::Ok},
        {At(u"no-folder\\board.kicad_pcb"), A::Read, OsResult::NotFound},
        {Text(), A::Read, OsResult::NotFound},
        {u"NUL", A::Read, OsResult::NotAFile},
    };
    for (const auto& c : cases) {
        OsHandle handle;
        EXPECT_EQ(files_.OpenExisting(c.path, c.access, handle), c.expected)
            << std::string(c.path.begin(), c.path.end());
        EXPECT_EQ(handle.IsOpen(), c.expected == OsResult::Ok);
        files_.Close(handle);
    }
}

TEST_F(Win32Files, ShareModeZeroKeepsOthersOutAndIsRespectedInTurn) {
    const Text path = At(u"board.kicad_pcb");
    Put(path, "content");
    OsHandle held;
    ASSERT_EQ(files_.OpenExisting(path, A::Read, held), OsResult::Ok);
    // However generous its own sharing, another program can neither read nor delete.
    HANDLE other = OpenElsewhere(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileW(W(path).c_str()));
    OsHandle second;
    EXPECT_EQ(files_.OpenExisting(path, A::Read, second), OsResult::Locked);
    EXPECT_EQ(files_.Close(held), OsResult::Ok);
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(files_.Close(held), OsResult::Ok);

    other = OpenElsewhere(path, FILE_SHARE_READ);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files_.OpenExisting(path, A::Read, held), OsResult::Locked);
    CloseHandle(other);
}

TEST_F(Win32Files, ReplaceRefusedKeepsTheOldBoard) {
    const Text board = At(u"board.kicad_pcb");
    const Text temporary = At(u".board.kicad_pcb.rz-1.tmp");
    Put(board, "old content\n");
    Put(temporary, "new content\r\n");
    // An editor that has the board open without allowing deletion or renaming.
    HANDLE other = OpenElsewhere(board, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OsHandle held;
    EXPECT_NE(files_.Replace(temporary, board, held), OsResult::Ok);
    CloseHandle(other);
    EXPECT_EQ(Get(board), "old content\n");
}

TEST_F(Win32Files, Utf16NamesSurviveEveryCall) {
    // Umlauts, and a character outside the BMP (a surrogate pair).
    const Text name = u"Platine-\u00e4\u00f6\u00fc\u00df-\U0001F600.kicad_pcb";
    const Text path = At(name);
    OsHandle h;
    ASSERT_EQ(files_.CreateNew(path, h), OsResult::Ok);
    ASSERT_EQ(files_.Write(h, "abc", 3), OsResult::Ok);
    files_.Close(h);
    EXPECT_EQ(Get(path), "abc");
    Put(At(u"other.txt"), "x");
    EXPECT_EQ(files_.ListNames(FolderOfPath(path), u"Platine-\u00e4"), std::vector<Text>{name});
    EXPECT_TRUE(files_.ListNames(FolderOfPath(path), u"platine").empty());

    // Resolved: absolute, and the same file, which one name holds against the other.
    const Text resolved = files_.ResolveTarget(path);
    ASSERT_GE(resolved.size(), 3u);
    EXPECT_EQ(resolved.substr(1, 2), u":\\");
    EXPECT_EQ(NameOfPath(resolved), name);
    ASSERT_EQ(files_.OpenExisting(path, A::Read, h), OsResult::Ok);
    OsHandle second;
    EXPECT_EQ(files_.OpenExisting(resolved, A::Read, second), OsResult::Locked);
    files_.Close(h);
    EXPECT_EQ(files_.ResolveTarget(At(u"missing")), At(u"missing"));
    EXPECT_EQ(files_.ResolveTarget(Text()), Text());
}

} // namespace
} // namespace rz
