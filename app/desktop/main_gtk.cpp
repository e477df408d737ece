// The Linux desktop program: the run sequence on the GTK platform. It takes no command
// line; the board is chosen in the open dialog.
#include "core/run.hpp"
#include "ui/desktop_shell.hpp"
#include "ui/gtk/gtk_platform.hpp"

#include <iostream>

int main() {
    const auto platform = rz::MakeGtkPlatform();
    rz::DesktopShell shell(*platform);
    return rz::RunDesktop(shell, std::cerr);
}
