#include "core/run.hpp"

#include "core/pipeline.hpp"

namespace rz {

Decision WaitForDecision(RunShell& shell) {
    for (;;) {
        // Read before the first wait and after every wait, whatever the wait returned:
        // a platform message leaves the last event's control as it was.
        const int32_t control = shell.LastEventControl();
        if (control == ApplyButtonControl) {
            return Decision::Apply;
        }
        if (control == CancelButtonControl) {
            return Decision::Cancel;
        }
        if (shell.WaitEvent() == CloseRequestKind) {
            return Decision::Close;
        }
    }
}

int RunDesktop(RunShell& shell, std::ostream& errors, const Text& givenBoard) {
    std::string why;
    if (!shell.StartLayers(why)) {
        // Nothing has been asked or read yet, so no file is touched.
        errors << "rezurudev: " << why << '\n';
        return 1;
    }
    BoardState state;
    state.LastLineIndex = LoadBoardFile(state, shell.RunDialogs(), givenBoard);
    CollectPadDrills(state);
    SortDrillTokens(state);
    if (!shell.BuildMainWindow(state)) {
        // Without the window no decision can ever come; waiting would hang for good.
        shell.EndLayers();
        errors << "rezurudev: the main window could not be opened\n";
        return 1;
    }
    if (WaitForDecision(shell) == Decision::Apply) {
        // Its outcome has been shown to the user already; the run ends either way.
        ApplyNewDrills(state, shell.RunDialogs());
    }
    shell.EndLayers();
    return 0;
}

} // namespace rz
