// rz_hold_file FILE READY_EVENT STOP_EVENT PARENT_PID
//
// Plays the other Windows program that has the board open: opens FILE for reading with
// share mode 0, signals the named event READY_EVENT once the file is held, and keeps it
// until STOP_EVENT is signalled. It also lets go when the process PARENT_PID ends, so a
// test that dies never leaves a held file behind, and after ten minutes at the latest.
//
// Exit status: 0 held and released on request, 1 wrong usage or an event is missing,
// 2 FILE could not be opened, 3 released because the parent ended or time ran out.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int main() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count != 5) {
        std::fputs("Aufruf: rz_hold_file DATEI READY_EVENT STOP_EVENT PARENT_PID\n", stderr);
        return 1;
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[2]);
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, args[3]);
    HANDLE parent =
        OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(args[4], nullptr, 10)));
    if (ready == nullptr || stop == nullptr || parent == nullptr) {
        std::fprintf(stderr, "rz_hold_file: event or parent not found (%lu)\n", GetLastError());
        return 1;
    }

    HANDLE held = CreateFileW(args[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "rz_hold_file: cannot open the file (%lu)\n", GetLastError());
        return 2;
    }
    SetEvent(ready);

    const HANDLE waitFor[] = {stop, parent};
    const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, 10 * 60 * 1000);
    CloseHandle(held);
    LocalFree(args);
    return woken == WAIT_OBJECT_0 ? 0 : 3;
}
