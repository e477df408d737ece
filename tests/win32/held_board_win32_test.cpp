// A board that another Windows process holds open with share mode 0 (as an editor may)
// is reported, and stays byte for byte as it was: at loading, and between loading and
// the rewrite. The other process is rz_hold_file, started here so that it shares this
// program's Wine server, which is the only place Wine enforces share modes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/pipeline.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace rz {
namespace {

constexpr DWORD kRunTimeoutMs = 120 * 1000;
constexpr DWORD kHoldTimeoutMs = 60 * 1000;
const char kLockedText[] =
    "Die Datei wird von einem anderen Programm benutzt. Es wurde nichts geschrieben.";

// The build gives the programs' paths as the build system sees them; under Wine the
// build folder is reached through drive Z:.
std::wstring ProgramPath(const char* built) {
    std::wstring path;
    if (built[0] == '/') {
        path = L"Z:";
    }
    for (const char* c = built; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

std::wstring Quoted(const std::wstring& s) {
    return L"\"" + s + L"\"";
}

void PutBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
    ASSERT_EQ(put, bytes.size());
    CloseHandle(h);
}

std::string GetBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return "<cannot open: " + std::to_string(GetLastError()) + ">";
    }
    std::string bytes;
    std::vector<char> buffer(1 << 16);
    DWORD got = 0;
    while (ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0) {
        bytes.append(buffer.data(), got);
    }
    CloseHandle(h);
    return bytes;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(name);
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    return names;
}

void RemoveTree(const std::wstring& folder) {
    for (const std::wstring& name : NamesIn(folder)) {
        const std::wstring path = folder + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str())) {
            RemoveTree(path + L"\\");
        }
    }
    RemoveDirectoryW(folder.c_str());
}

HANDLE Inheritable(const std::wstring& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts a program; with out and err given, they become its standard output and error
// and are the only handles it inherits.
HANDLE Launch(const std::wstring& program, const std::wstring& arguments, HANDLE out, HANDLE err) {
    std::wstring commandLine = Quoted(program) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const bool redirect = out != nullptr;
    if (redirect) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                        redirect ? TRUE : FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

// Waits for a process to end; one that overstays is ended. Returns its exit code, or
// ~0 when it had to be ended.
DWORD Finish(HANDLE process) {
    DWORD code = ~0ul;
    if (WaitForSingleObject(process, kRunTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &code);
    } else {
        TerminateProcess(process, ~0u);
        WaitForSingleObject(process, kRunTimeoutMs);
    }
    CloseHandle(process);
    return code;
}

// The other program: holds a file with share mode 0 from Hold() until Release().
class Holder {
public:
    ~Holder() { Release(); }

    // Returns once the file is held, or false when it could not be.
    bool Hold(const std::wstring& path) {
        static int serial = 0;
        const std::wstring tag =
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
        const std::wstring readyName = L"rz-hold-ready-" + tag;
        const std::wstring stopName = L"rz-hold-stop-" + tag;
        ready_ = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
        stop_ = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
        if (ready_ == nullptr || stop_ == nullptr) {
            return false;
        }
        process_ = Launch(ProgramPath(REZURUDEV_HOLD_FILE_EXE),
                          Quoted(path) + L" " + readyName + L" " + stopName + L" " +
                              std::to_wstring(GetCurrentProcessId()),
                          nullptr, nullptr);
        if (process_ == nullptr) {
            return false;
        }
        // Either the file is held, or the holder gave up.
        const HANDLE either[] = {ready_, process_};
        return WaitForMultipleObjects(2, either, FALSE, kHoldTimeoutMs) == WAIT_OBJECT_0;
    }

    // Lets go of the file; returns the holder's exit code (0 when it held to the end).
    DWORD Release() {
        DWORD code = ~0ul;
        if (process_ != nullptr) {
            SetEvent(stop_);
            code = Finish(process_);
            process_ = nullptr;
        }
        for (HANDLE* h : {&ready_, &stop_}) {
            if (*h != nullptr) {
                CloseHandle(*h);
                *h = nullptr;
            }
        }
        return code;
    }

private:
    HANDLE process_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE stop_ = nullptr;
};

class RecordingDialogs final : public Dialogs {
public:
    explicit RecordingDialogs(Text path) : path_(std::move(path)) {}
    Text ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) override { return path_; }
    int32_t ShowMessage(const Text&, const Text& text, uint32_t) override {
        Messages.push_back(TextToUtf8(text));
        return 1;
    }
    std::vector<std::string> Messages;

private:
    Text path_;
};

struct CliRun {
    DWORD Exit = ~0ul;
    std::string Out;
    std::string Err;
};

// A board of pads only; `rewritten` receives what the rewrite must make of it.
std::string SmallBoard(std::string& rewritten) {
    rewritten = "(kicad_pcb (version 20171130) (host pcbnew 5.1.9)\r\n"
                "  (module R (layer F.Cu)\r\n"
                "    (pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.8) (layers *.Cu))\r\n"
                "    (pad 2 thru_hole circle (at 2.54 0) (size 2 2) (drill 1.3) (layers *.Cu))\r\n"
                "  )\r\n"
                ")\r\n";
    return "(kicad_pcb (version 20171130) (host pcbnew 5.1.9)\n"
           "  (module R (layer F.Cu)\n"
           "    (pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
           "    (pad 2 thru_hole circle (at 2.54 0) (size 2 2) (drill 1.27) (layers *.Cu))\n"
           "  )\n"
           ")\n";
}

// 18,000 distinct drills, 0.b0001 to 0.b2000 for b = 1..9, each rounding to 0.b: the
// listing alone is far more than a pipe buffer holds.
constexpr int kManyDrills = 9 * 2000;
std::string ManyDrillsBoard(std::string& rewritten) {
    std::string board = "(kicad_pcb (version 20221018) (generator pcbnew)\n";
    rewritten = "(kicad_pcb (version 20221018) (generator pcbnew)\r\n";
    for (int b = 1; b <= 9; ++b) {
        for (int k = 1; k <= 2000; ++k) {
            char digits[8];
            std::snprintf(digits, sizeof digits, "%04d", k);
            const std::string head = "  (pad 1 thru_hole circle (at 0 0) (size 2 2) (drill 0.";
            const std::string tail = ") (layers *.Cu))";
            board += head + std::to_string(b) + digits + tail + "\n";
            rewritten += head + std::to_string(b) + tail + "\r\n";
        }
    }
    board += ")\n";
    rewritten += ")\r\n";
    return board;
}

class Win32HeldBoard : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, base), 0u);
        base_ = std::wstring(base) + L"rz-held-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"\\";
        folder_ = base_ + L"board\\";
        ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        board_ = folder_ + L"Platine.kicad_pcb";
    }
    void TearDown() override { RemoveTree(base_); }

    // The board is exactly `bytes` and nothing else is in its folder: no temporary
    // file, no backup.
    void ExpectBoardAlone(const std::string& bytes) {
        EXPECT_TRUE(GetBytes(board_) == bytes) << "the board's bytes differ";
        const std::vector<std::wstring> names = NamesIn(folder_);
        EXPECT_EQ(names.size(), 1u);
        for (const std::wstring& name : names) {
            EXPECT_TRUE(name == L"Platine.kicad_pcb")
                << "left in the folder: " << std::string(name.begin(), name.end());
        }
    }

    // Another program cannot get at the board at all while it is held.
    void ExpectHeld() {
        HANDLE other = CreateFileW(board_.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        const DWORD error = GetLastError();
        EXPECT_EQ(other, INVALID_HANDLE_VALUE);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (other != INVALID_HANDLE_VALUE) {
            CloseHandle(other);
        }
    }

    CliRun RunCli(const std::wstring& arguments) {
        CliRun run;
        const std::wstring outPath = base_ + L"out.txt";
        const std::wstring errPath = base_ + L"err.txt";
        HANDLE out = Inheritable(outPath);
        HANDLE err = Inheritable(errPath);
        if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
            HANDLE process = Launch(ProgramPath(REZURUDEV_CLI_EXE), arguments, out, err);
            if (process != nullptr) {
                run.Exit = Finish(process);
            }
        }
        CloseHandle(out);
        CloseHandle(err);
        run.Out = GetBytes(outPath);
        run.Err = GetBytes(errPath);
        return run;
    }

    std::wstring base_;
    std::wstring folder_;
    std::wstring board_;
};

TEST_F(Win32HeldBoard, AtLoadingTheCliReportsTheFileAndWritesNothing) {
    std::string rewritten;
    const std::string original = SmallBoard(rewritten);
    PutBytes(board_, original);

    Holder holder;
    ASSERT_TRUE(holder.Hold(board_));
    ExpectHeld();
    const CliRun held = RunCli(L"--apply " + Quoted(board_));
    EXPECT_EQ(held.Exit, 1u);
    EXPECT_NE(held.Err.find("Datei ist nicht vorhanden"), std::string::npos) << held.Err;
    EXPECT_EQ(held.Out, "");
    EXPECT_EQ(holder.Release(), 0u);
    ExpectBoardAlone(original);

    const CliRun after = RunCli(L"--apply " + Quoted(board_));
    EXPECT_EQ(after.Exit, 0u) << after.Err;
    ExpectBoardAlone(rewritten);
}

TEST_F(Win32HeldBoard, BetweenLoadingAndApplyTheRewriteIsRefused) {
    std::string rewritten;
    const std::string original = SmallBoard(rewritten);
    PutBytes(board_, original);
    const Text path(board_.begin(), board_.end());
    RecordingDialogs dialogs(path);
    BoardState state;
    state.LastLineIndex = LoadBoardFile(state, dialogs);
    ASSERT_EQ(state.Flaw, LoadFlaw::None);
    CollectPadDrills(state);
    SortDrillTokens(state);
    ASSERT_EQ(PrepareDrillRows(state).size(), 2u);

    Holder holder;
    ASSERT_TRUE(holder.Hold(board_));
    ExpectHeld();
    EXPECT_EQ(ApplyNewDrills(state, dialogs), ApplyOutcome::Refused);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0], kLockedText);
    EXPECT_EQ(holder.Release(), 0u);
    ExpectBoardAlone(original);

    // Once the other program has let go, the same window's next click writes.
    EXPECT_EQ(ApplyNewDrills(state, dialogs), ApplyOutcome::Written);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
    ExpectBoardAlone(rewritten);
}

// The same through the command-line program: it lists the drills after loading and
// before the rewrite. Its output goes into a pipe that is not read until the holder has
// the board, so the hold falls between its loading and its rewrite.
TEST_F(Win32HeldBoard, BetweenLoadingAndApplyTheCliExitsWithTwo) {
    std::string rewritten;
    const std::string original = ManyDrillsBoard(rewritten);
    PutBytes(board_, original);

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &sa, 4096));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const std::wstring errPath = base_ + L"err.txt";
    HANDLE err = Inheritable(errPath);
    ASSERT_NE(err, INVALID_HANDLE_VALUE);
    HANDLE cli =
        Launch(ProgramPath(REZURUDEV_CLI_EXE), L"--apply " + Quoted(board_), writeEnd, err);
    CloseHandle(writeEnd);
    CloseHandle(err);
    ASSERT_NE(cli, nullptr);

    // Reads what the pipe has until `enough` bytes came or the program ended.
    std::string listing;
    auto readUntil = [&](size_t enough) {
        const DWORD start = GetTickCount();
        std::vector<char> buffer(1 << 16);
        while (listing.size() < enough && GetTickCount() - start < kRunTimeoutMs) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) {
                return; // the program ended and its end of the pipe is closed
            }
            if (available == 0) {
                WaitForSingleObject(cli, 5);
                continue;
            }
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer.data(),
                          available < buffer.size() ? available : static_cast<DWORD>(buffer.size()),
                          &got, nullptr)) {
                return;
            }
            listing.append(buffer.data(), got);
        }
    };

    // The first listed row means the board is loaded and closed again.
    readUntil(1);
    ASSERT_FALSE(listing.empty()) << "no listing from rezurudev-cli";
    Holder holder;
    ASSERT_TRUE(holder.Hold(board_));
    ASSERT_EQ(WaitForSingleObject(cli, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "rezurudev-cli finished before the board was held; the pipe did not hold it back";
    readUntil(std::string::npos);
    const DWORD exitCode = Finish(cli);
    CloseHandle(readEnd);
    const std::string errors = GetBytes(errPath);

    EXPECT_EQ(exitCode, 2u);
    EXPECT_NE(errors.find(kLockedText), std::string::npos) << errors;
    // Each row "0.bkkkk TAB 0.b".
    size_t rows = 0;
    size_t rightRows = 0;
    for (size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1) {
        // The program's standard output is in text mode: each row ends in CR LF.
        std::string row = listing.substr(at, end - at);
        if (!row.empty() && row.back() == '\r') {
            row.pop_back();
        }
        ++rows;
        rightRows += row.size() == 11 && row[7] == '\t' && row.substr(8) == row.substr(0, 3);
    }
    EXPECT_EQ(rows, static_cast<size_t>(kManyDrills));
    EXPECT_EQ(rightRows, rows) << listing.substr(0, 200);
    EXPECT_EQ(holder.Release(), 0u);
    ExpectBoardAlone(original);

    const CliRun after = RunCli(L"--apply " + Quoted(board_));
    EXPECT_EQ(after.Exit, 0u) << after.Err;
    ExpectBoardAlone(rewritten);
}

} // namespace
} // namespace rz
