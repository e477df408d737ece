// The run sequence of the desktop program: load, collect, sort, show, wait for the
// user's decision, apply or not, end. It knows the window and event layer only through
// the small interface below, so it includes no toolkit header.
#pragma once

#include "core/board_state.hpp"
#include "core/dialogs.hpp"

#include <cstdint>
#include <ostream>
#include <string>

namespace rz {

// What the run sequence needs from the window and event layer.
class RunShell {
public:
    virtual ~RunShell() = default;
    // Sets the layers up. False when no window can be shown at all; why says so.
    virtual bool StartLayers(std::string& why) = 0;
    virtual Dialogs& RunDialogs() = 0;
    // Opens the main window, creates its controls and fills the lists (which prepares
    // the rows and the new drill tokens). False when the window could not be opened.
    virtual bool BuildMainWindow(BoardState& state) = 0;
    virtual int32_t LastEventControl() = 0;
    virtual uint32_t WaitEvent() = 0;
    // The end routine's window part: closes every window and undoes StartLayers.
    virtual void EndLayers() = 0;
};

// The control numbers and the event kind the loop decides on, defined here once: the
// window layer gives its buttons these numbers and its close requests this kind.
inline constexpr int32_t ApplyButtonControl = 4;
inline constexpr int32_t CancelButtonControl = 5;
inline constexpr uint32_t CloseRequestKind = 13116;

enum class Decision { Apply, Cancel, Close };

// The event loop: the last event's control is read before the first wait and after
// every wait; 4 and 5 are tested before waiting, a close request right after the wait
// (run.cpp says why).
Decision WaitForDecision(RunShell& shell);

// The whole run. Returns the process exit code: 0 on apply, cancel and close; non-zero
// when no window could be shown (said on errors, with no file touched). givenBoard is
// the full path of a board the program was started with, for the open dialog to offer.
int RunDesktop(RunShell& shell, std::ostream& errors, const Text& givenBoard = Text());

} // namespace rz
