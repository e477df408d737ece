// Loading the board file into BoardLines.
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"

#include <cstdint>
#include <limits>
#include <new>

namespace rz {

int32_t LoadBoardFile(BoardState& state, Dialogs& dialogs, const Text& givenBoard) {
    return LoadBoardFile(state, dialogs, SystemFiles(), givenBoard);
}

int32_t LoadBoardFile(BoardState& state, Dialogs& dialogs, OsFiles& os, const Text& givenBoard) {
    state.BoardFileName = dialogs.ChooseOpenFile(
        u"Lade PCB-Datei", givenBoard.empty() ? u"test.kicad_pcb" : givenBoard,
        u"PCB-datei (*.kicad_pcb)| *.kicad_pcb", 0);
    state.BoardLines.clear();
    state.Flaw = LoadFlaw::NotLoaded;
    state.LoadedSize = 0;
    state.LoadedHash = 0;
    state.LastLineIndex = -1;

    NumberedFiles files(os);
    if (files.OpenFileForReading(0, state.BoardFileName) == 0) {
        dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0);
        files.CloseNumberedFile(0);
        return -1;
    }

    bool tooLarge = false;
    try {
        // The lines never take more room than the file (each line end of at least one
        // byte becomes one separator; the last line may add one), so the buffer is
        // sized once and never copied as it grows. Boards have lines of some forty
        // bytes and more, which sizes the table of line ends likewise.
        const int64_t size = os.FileSize(files.Slot(0)->Handle);
        if (size > 0 && static_cast<uint64_t>(size) < SIZE_MAX / 2) {
            state.BoardLines.reserve(static_cast<size_t>(size) + 1,
                                     static_cast<size_t>(size) / 32 + 1);
        }
        // No more lines than a line index can count.
        const size_t most = static_cast<size_t>(std::numeric_limits<int32_t>::max());
        const LargeBufferPrefault prefault = state.BoardLines.PrefaultReserved();
        files.ReadTextLines(0, state.BoardLines, most);
        tooLarge = state.BoardLines.size() >= most && !files.FileAtEnd(0);
    } catch (const std::bad_alloc&) {
        tooLarge = true;
    }
    if (tooLarge) {
        state.BoardLines = LineStore();
        files.CloseNumberedFile(0);
        dialogs.ShowMessage(u"Information", u"Die Datei ist zu groß zum Laden.", 0);
        return -1;
    }

    const FileSlot& slot = *files.Slot(0);
    state.Flaw = slot.ReadFailed ? LoadFlaw::ReadError
                 : slot.Faithful ? LoadFlaw::None
                                 : LoadFlaw::NotUtf8;
    state.LoadedSize = slot.Received.Size();
    state.LoadedHash = slot.Received.Digest();
    files.CloseNumberedFile(0);
    state.LastLineIndex = static_cast<int32_t>(state.BoardLines.size()) - 1;
    return state.LastLineIndex;
}

} // namespace rz
