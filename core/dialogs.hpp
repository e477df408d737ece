// The two modal dialogs the run needs: loading asks for the board, loading and the
// rewrite tell the user what went wrong. The run sequence calls them, so they are
// declared here, below it; the desktop programs implement them on their toolkit, the
// command-line program and the tests answer them without a window.
#pragma once

#include "text/text.hpp"

#include <cstdint>

namespace rz {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The full path of the chosen file (which need not exist), or the empty text
    // when the user cancels. filter holds "description|pattern" pairs separated by
    // "|"; filterPosition 0 selects the first pair.
    virtual Text ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                                int32_t filterPosition) = 0;

    // A modal message with one OK button (flags 0); returns the number of the
    // button that closed it (1 for OK).
    virtual int32_t ShowMessage(const Text& title, const Text& text, uint32_t flags) = 0;
};

} // namespace rz
