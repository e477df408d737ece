// Loading the board file into BoardLines.
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"

#include <cstdint>
#include <limits>
#include <new>

namespace rz {

namespace {

enum class Read { Done, NotOpened, TooLarge };

// Reads the whole file into state.BoardLines and notes what the rewrite must know of
// it. The file is closed again when this returns, before anything is shown: a board
// must not stay locked while a message waits for the user.
Read ReadBoard(BoardState& state, OsFiles& os) {
    NumberedFiles files(os);
    if (files.OpenFileForReading(0, state.BoardFileName) == 0) {
        return Read::NotOpened;
    }
    try {
        // The lines never take more room than the file (each line end of at least one
        // byte becomes one separator; the last line may add one), so the buffer is
        // sized once and never copied as it grows. Boards have lines of some forty
        // bytes and more, which sizes the table of line ends likewise.
        const int64_t size = os.FileSize(files.Slot(0)->File.Get());
        if (size > 0 && static_cast<uint64_t>(size) < SIZE_MAX / 2) {
            state.BoardLines.reserve(static_cast<size_t>(size) + 1,
                                     static_cast<size_t>(size) / 32 + 1);
        }
        // No more lines than a line index can count.
        const size_t most = static_cast<size_t>(std::numeric_limits<int32_t>::max());
        const LargeBufferPrefault prefault = state.BoardLines.PrefaultReserved();
        files.ReadTextLines(0, state.BoardLines, most);
        if (state.BoardLines.size() >= most && !files.FileAtEnd(0)) {
            return Read::TooLarge;
        }
    } catch (const std::bad_alloc&) {
        return Read::TooLarge;
    }
    const FileSlot& slot = *files.Slot(0);
    state.Flaw = slot.ReadFailed ? LoadFlaw::ReadError
                 : slot.Faithful ? LoadFlaw::None
                                 : LoadFlaw::NotUtf8;
    state.LoadedSize = slot.Received.Size();
    state.LoadedHash = slot.Received.Digest();
    return Read::Done;
}

} // namespace

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

    switch (ReadBoard(state, os)) {
    case Read::NotOpened:
        dialogs.ShowMessage(u"Information", u"Datei ist nicht vorhanden", 0);
        return -1;
    case Read::TooLarge:
        state.BoardLines = LineStore();
        dialogs.ShowMessage(u"Information", u"Die Datei ist zu groß zum Laden.", 0);
        return -1;
    case Read::Done:
        break;
    }
    state.LastLineIndex = static_cast<int32_t>(state.BoardLines.size()) - 1;
    return state.LastLineIndex;
}

} // namespace rz
