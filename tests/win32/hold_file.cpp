// rz_hold_file FILE: plays another Windows program that has the board open. Opens FILE
// for reading with share mode 0, says "held" on its standard output, and keeps the file
// until its standard input ends, which also happens when the test that started it dies.
// Exit status: 0 held and released, 1 not held.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    HANDLE held = argc != 2 ? INVALID_HANDLE_VALUE
                            : CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(held);
    return 0;
}
