// The Linux desktop program: the run sequence on the GTK platform. Its one optional
// argument is a board for the open dialog to offer ("Open with" passes it); the board
// is still chosen in the dialog.
#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/gtk/gtk_platform.hpp"

#include <iostream>

int main(int argc, char** argv) {
    const rz::Text given = argc > 1 ? rz::GivenBoardPath(rz::Utf8ToText(argv[1])) : rz::Text();
    const auto platform = rz::MakeGtkPlatform();
    rz::DesktopShell shell(*platform);
    return rz::RunDesktop(shell, std::cerr, given);
}
