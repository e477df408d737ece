// A line on standard error that tells how far a run over many files is, for a person
// watching a terminal; scripts and logs never see it.
#pragma once

#include <chrono>
#include <cstddef>

namespace rz {

class ProgressLine {
public:
    // Shown only for more than kFewFiles files, and only when standard error is a terminal.
    static constexpr size_t kFewFiles = 300;
    explicit ProgressLine(size_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // After each file: redrawn a few times a second at most.
    void Done(size_t count);

private:
    size_t total_;
    bool on_;
    std::chrono::steady_clock::time_point next_;
};

// Takes the line away before anything else is printed, so that it never ends up in the
// middle of a message; it is drawn again with the next file.
void ClearProgressLine();

} // namespace rz
