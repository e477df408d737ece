#include "app/cli/progress.hpp"

#include "app/cli/output.hpp"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace rz {

namespace {

size_t shownWidth = 0; // of the line on the terminal now; 0 when none is shown

// A console on Windows (a pipe or NUL has no console mode), a tty elsewhere.
bool ErrorsGoToTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

} // namespace

ProgressLine::ProgressLine(size_t total)
    : total_(total), on_(total > kFewFiles && ErrorsGoToTerminal()),
      next_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
    ClearProgressLine();
}

void ProgressLine::Done(size_t count) {
    const auto now = std::chrono::steady_clock::now();
    if (!on_ || (now < next_ && count < total_)) {
        return;
    }
    next_ = now + std::chrono::milliseconds(200);
    const std::string text =
        "Datei " + std::to_string(count) + " von " + std::to_string(total_) + " …";
    // Carriage return and spaces, not terminal escapes: every console understands them.
    Print(Channel::Err, "\r" + text);
    shownWidth = text.size();
}

void ClearProgressLine() {
    if (shownWidth > 0) {
        Print(Channel::Err, "\r" + std::string(shownWidth, ' ') + "\r");
        shownWidth = 0;
    }
}

} // namespace rz
