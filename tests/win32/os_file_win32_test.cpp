// The Win32 file seam on a real (Wine or Windows) file system: exclusivity, the error
// kinds the rewrite decides on, the replace, and UTF-16 names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/os_file.hpp"

#include <gtest/gtest.h>

#include <string>

namespace rz {
namespace {

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, base), 0u);
        folder_ = std::wstring(base) + L"rz-files-" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(GetTickCount()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((folder_ + L"*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name != L"." && name != L"..") {
                    SetFileAttributesW((folder_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                    if (!DeleteFileW((folder_ + name).c_str())) {
                        RemoveDirectoryW((folder_ + name).c_str());
                    }
                }
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryW(folder_.c_str());
    }

    Text PathOf(const std::u16string& name) const {
        return Text(folder_.begin(), folder_.end()) + name;
    }
    static std::wstring W(const Text& t) { return std::wstring(t.begin(), t.end()); }

    void Put(const Text& path, const std::string& bytes) {
        HANDLE h = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        CloseHandle(h);
    }
    std::string Get(const Text& path) {
        std::string bytes;
        HANDLE h = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return "<missing>";
        }
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            bytes.append(buffer, got);
        }
        CloseHandle(h);
        return bytes;
    }
    bool Exists(const Text& path) {
        return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    OsFiles& files_ = SystemFiles();
    std::wstring folder_;
};

TEST_F(Win32FilesTest, OpenExistingTellsWhyItFails) {
    Put(PathOf(u"board.kicad_pcb"), "x");
    Put(PathOf(u"readonly.kicad_pcb"), "x");
    SetFileAttributesW(W(PathOf(u"readonly.kicad_pcb")).c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW(W(PathOf(u"folder")).c_str(), nullptr);
    using A = OsFiles::Access;
    const struct {
        Text path;
        A access;
        OsResult expected;
    } cases[] = {
        {PathOf(u"board.kicad_pcb"), A::Read, OsResult::Ok},
        {PathOf(u"board.kicad_pcb"), A::ReadForRewrite, OsResult::Ok},
        {PathOf(u"missing.kicad_pcb"), A::Read, OsResult::NotFound},
        {PathOf(u"no-folder\\board.kicad_pcb"), A::Read, OsResult::NotFound},
        {Text(), A::Read, OsResult::NotFound},
        {PathOf(u"folder"), A::Read, OsResult::NotAFile},
        {u"NUL", A::Read, OsResult::NotAFile},
        {PathOf(u"readonly.kicad_pcb"), A::Read, OsResult::Ok},
        {PathOf(u"readonly.kicad_pcb"), A::ReadForRewrite, OsResult::AccessDenied},
    };
    for (const auto& c : cases) {
        OsHandle handle;
        EXPECT_EQ(files_.OpenExisting(c.path, c.access, handle), c.expected)
            << std::string(c.path.begin(), c.path.end());
        EXPECT_EQ(handle.IsOpen(), c.expected == OsResult::Ok);
        files_.Close(handle);
    }
}

TEST_F(Win32FilesTest, HeldFileKeepsEveryoneElseOutBothWays) {
    const Text path = PathOf(u"board.kicad_pcb");
    Put(path, "content");
    OsHandle held;
    ASSERT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, held), OsResult::Ok);
    // Another program, however generous its own sharing, cannot read, write or delete.
    HANDLE other = CreateFileW(W(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileW(W(path).c_str()));
    OsHandle second;
    EXPECT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, second), OsResult::Locked);
    EXPECT_EQ(files_.Close(held), OsResult::Ok);
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(files_.Close(held), OsResult::Ok);

    // And the other way round: a file another program has open is reported as Locked.
    other = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, held), OsResult::Locked);
    CloseHandle(other);
}

TEST_F(Win32FilesTest, ReadsToTheEndAndReportsTheSize) {
    const Text path = PathOf(u"board.kicad_pcb");
    std::string content(10000, 'a');
    content[9999] = 'z';
    Put(path, content);
    OsHandle h;
    ASSERT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, h), OsResult::Ok);
    EXPECT_EQ(files_.FileSize(h), 10000);
    std::string got;
    char buffer[4096];
    int32_t n = 0;
    while ((n = files_.Read(h, buffer, sizeof buffer)) > 0) {
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(n, 0);
    EXPECT_EQ(got, content);
    files_.Close(h);
}

TEST_F(Win32FilesTest, CreateNewNeverTouchesAnExistingFile) {
    const Text path = PathOf(u"board.kicad_pcb");
    Put(path, "old");
    OsHandle h;
    EXPECT_EQ(files_.CreateNew(path, h), OsResult::AlreadyExists);
    EXPECT_FALSE(h.IsOpen());
    EXPECT_EQ(Get(path), "old");
    EXPECT_EQ(files_.CreateNew(PathOf(u"no-folder\\t.tmp"), h), OsResult::NotFound);
}

TEST_F(Win32FilesTest, ReplaceSwapsInTheWholeNewContentAndLeavesNothingBehind) {
    const Text board = PathOf(u"board.kicad_pcb");
    const Text temporary = PathOf(u".board.kicad_pcb.rz-1.tmp");
    Put(board, "old content\n");
    OsHandle held;
    ASSERT_EQ(files_.OpenExisting(board, OsFiles::Access::ReadForRewrite, held), OsResult::Ok);
    OsHandle out;
    ASSERT_EQ(files_.CreateNew(temporary, out), OsResult::Ok);
    const std::string fresh = "new content\r\n";
    ASSERT_EQ(files_.Write(out, fresh.data(), static_cast<int32_t>(fresh.size())), OsResult::Ok);
    ASSERT_EQ(files_.Flush(out), OsResult::Ok);
    ASSERT_EQ(files_.CopyPermissions(held, out), OsResult::Ok);
    ASSERT_EQ(files_.Close(out), OsResult::Ok);

    EXPECT_EQ(files_.Replace(temporary, board, held), OsResult::Ok);
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(Get(board), fresh);
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(files_.ListNames(FolderOfPath(board), u"").size(), 1u);
}

TEST_F(Win32FilesTest, ReplaceRefusedByAnotherOpenerKeepsTheOldBoard) {
    const Text board = PathOf(u"board.kicad_pcb");
    const Text temporary = PathOf(u".board.kicad_pcb.rz-1.tmp");
    Put(board, "old content\n");
    Put(temporary, "new content\r\n");
    // An editor that has the board open without allowing deletion or renaming.
    HANDLE other = CreateFileW(W(board).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OsHandle held;
    EXPECT_NE(files_.Replace(temporary, board, held), OsResult::Ok);
    CloseHandle(other);
    EXPECT_EQ(Get(board), "old content\n");
}

TEST_F(Win32FilesTest, ReplaceStillFinishesWhenTheBoardWasDeletedMeanwhile) {
    // ReplaceFileW needs an existing target; the rename that takes over must not lose the
    // new content, and no backup may be left.
    const Text board = PathOf(u"board.kicad_pcb");
    const Text temporary = PathOf(u".board.kicad_pcb.rz-2.tmp");
    Put(temporary, "new content\r\n");
    OsHandle held;
    EXPECT_EQ(files_.Replace(temporary, board, held), OsResult::Ok);
    EXPECT_EQ(Get(board), "new content\r\n");
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(files_.ListNames(FolderOfPath(board), u"").size(), 1u);
}

TEST_F(Win32FilesTest, RemoveStaleSparesAFileALiveRunStillWrites) {
    const Text temporary = PathOf(u".board.kicad_pcb.rz-7.tmp");
    OsHandle live;
    ASSERT_EQ(files_.CreateNew(temporary, live), OsResult::Ok);
    EXPECT_EQ(files_.RemoveStale(temporary), OsResult::Locked);
    EXPECT_TRUE(Exists(temporary));
    files_.Close(live);
    EXPECT_EQ(files_.RemoveStale(temporary), OsResult::Ok);
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(files_.RemoveStale(temporary), OsResult::NotFound);
    EXPECT_EQ(files_.Remove(temporary), OsResult::NotFound);
}

TEST_F(Win32FilesTest, Utf16NamesSurviveEveryCall) {
    // Umlauts, and a character outside the BMP (a surrogate pair).
    const Text name = u"Platine-\u00e4\u00f6\u00fc\u00df-\U0001F600.kicad_pcb";
    const Text path = PathOf(name);
    OsHandle h;
    ASSERT_EQ(files_.CreateNew(path, h), OsResult::Ok);
    ASSERT_EQ(files_.Write(h, "abc", 3), OsResult::Ok);
    files_.Close(h);
    ASSERT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, h), OsResult::Ok);
    char buffer[8];
    EXPECT_EQ(files_.Read(h, buffer, sizeof buffer), 3);
    files_.Close(h);

    Put(PathOf(u"other.txt"), "x");
    const auto names = files_.ListNames(FolderOfPath(path), u"Platine-\u00e4");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], name);
    EXPECT_TRUE(files_.ListNames(FolderOfPath(path), u"platine").empty());
}

TEST_F(Win32FilesTest, ResolveTargetGivesAnAbsolutePathOfTheSameFile) {
    const Text path = PathOf(u"board.kicad_pcb");
    Put(path, "x");
    const Text resolved = files_.ResolveTarget(path);
    ASSERT_GE(resolved.size(), 3u);
    EXPECT_EQ(resolved.substr(1, 2), u":\\");
    EXPECT_EQ(NameOfPath(resolved), u"board.kicad_pcb");
    // The same file: held exclusively through one name, the other is locked out.
    OsHandle held;
    ASSERT_EQ(files_.OpenExisting(path, OsFiles::Access::Read, held), OsResult::Ok);
    OsHandle second;
    EXPECT_EQ(files_.OpenExisting(resolved, OsFiles::Access::Read, second), OsResult::Locked);
    files_.Close(held);

    const Text missing = PathOf(u"missing.kicad_pcb");
    EXPECT_EQ(files_.ResolveTarget(missing), missing);
    EXPECT_EQ(files_.ResolveTarget(Text()), Text());
}

} // namespace
} // namespace rz
