#include "core/run.hpp"

#include "core/pipeline.hpp"

namespace rz {

Decision WaitForDecision(RunShell& shell) {
    for (;;) {
        // The control is read before the first wait, so that a button press the event
        // layer took while the window was being built still decides; and again after
        // every wait, whatever kind the wait returned, because a platform message leaves
        // the last event's control as it was, so a press is never missed behind one.
        // A close request carries no control of its own: only the kind the wait returns
        // tells it, so it is tested right after the wait and before the control is read
        // again, which would otherwise send the loop back to waiting for good.
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
        errors << "rezurudev: Das Hauptfenster kann nicht geöffnet werden.\n";
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
