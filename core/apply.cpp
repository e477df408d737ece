// Writing the board back with the new drill tokens.
//
// The new content goes to a temporary file next to the board, is forced to the disk
// and then takes the board's place in one step, so that at every moment the board
// on disk is either the old file or the whole new one. Before that the board is
// opened and held, and must still be byte for byte the file that was loaded:
// another program may have saved it while the window was up. Written to another file,
// the same steps replace that file instead, and the board is only held and read.
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"
#include "core/rewrite_lines.hpp"

#include <chrono>
#include <memory>
#include <random>
#include <string_view>

namespace rz {

namespace {

constexpr std::u16string_view kTemporarySuffix = u".tmp";

// What each step of the rewrite gives: go on, or stop with this outcome and tell the
// user this text.
struct Step {
    ApplyOutcome Outcome = ApplyOutcome::Written;
    Text Message; // empty: the step succeeded
    bool Failed() const { return !Message.empty(); }
};

Step Stop(ApplyOutcome outcome, Text message) {
    return {outcome, std::move(message)};
}

Text Hex(uint64_t value, int digits) {
    Text out(static_cast<size_t>(digits), u'0');
    for (int k = digits - 1; k >= 0; --k) {
        out[static_cast<size_t>(k)] = u"0123456789abcdef"[value & 15];
        value >>= 4;
    }
    return out;
}

uint64_t RandomNumber() {
    uint64_t value =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        value ^= (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
        // The clock alone still differs between runs; the name is checked anyway.
    }
    return value;
}

bool EndsWith(const Text& text, std::u16string_view suffix) {
    return text.size() >= suffix.size() &&
           std::u16string_view(text).substr(text.size() - suffix.size()) == suffix;
}

// Removes temporary files that killed or failed runs left next to this board. A
// file still held by a running rewrite is left alone by RemoveStale.
void RemoveLeftovers(OsFiles& os, const Text& folder, const Text& prefix) {
    for (const Text& name : os.ListNames(folder, prefix)) {
        if (EndsWith(name, kTemporarySuffix)) {
            os.RemoveStale(folder + name);
        }
    }
}

Text OpenFailureText(OsResult result) {
    switch (result) {
    case OsResult::NotFound:
        return u"Die Datei ist nicht mehr vorhanden. Es wurde nichts geschrieben.";
    case OsResult::NotAFile:
        return u"Unter dem Dateinamen steht keine Datei mehr. Es wurde nichts geschrieben.";
    case OsResult::Locked:
        return u"Die Datei wird von einem anderen Programm benutzt. Es wurde nichts "
               u"geschrieben.";
    case OsResult::AccessDenied:
        return u"Die Datei ist schreibgeschützt. Es wurde nichts geschrieben.";
    default:
        return u"Die Datei kann nicht geöffnet werden. Es wurde nichts geschrieben.";
    }
}

Text WriteFailureText(OsResult result) {
    if (result == OsResult::NoSpace) {
        return u"Nicht genug Platz auf dem Datenträger. Die Datei ist unverändert.";
    }
    if (result == OsResult::AccessDenied) {
        return u"Im Ordner der Datei darf nicht geschrieben werden. Die Datei ist "
               u"unverändert.";
    }
    if (result == OsResult::NotFound) {
        return u"Der Ordner der Datei ist nicht vorhanden. Es wurde nichts geschrieben.";
    }
    return u"Die Datei konnte nicht geschrieben werden. Sie ist unverändert.";
}

// Nothing may be written back without a loaded file that the lines stand for: writing
// would create or empty a file at the chosen path, or lose what was not read.
Step RefuseUnwritable(const BoardState& state) {
    switch (state.Flaw) {
    case LoadFlaw::None:
        return {};
    case LoadFlaw::NotLoaded:
        return Stop(ApplyOutcome::Refused,
                    u"Es ist keine Datei geladen. Es wurde nichts geschrieben.");
    case LoadFlaw::NotUtf8:
        return Stop(ApplyOutcome::Refused,
                    u"Die Datei enthält Null-Bytes oder Zeichen, die kein gültiges UTF-8 "
                    u"sind, und wird deshalb nicht überschrieben.");
    case LoadFlaw::ReadError:
        break;
    }
    return Stop(ApplyOutcome::Refused, u"Die Datei konnte nicht vollständig gelesen werden und "
                                       u"wird deshalb nicht überschrieben.");
}

// A board that KiCad has open would get its old drills back with KiCad's next save, which
// nobody would notice; the user closes it there first, or insists.
Step RefuseOpenInKicad(OsFiles& os, const Text& path) {
    // Built by appending: GCC 12 warns falsely about a literal added to a string.
    Text lock(u"~");
    lock.append(NameOfPath(path)).append(u".lck");
    for (const Text& name : os.ListNames(FolderOfPath(path), lock)) {
        if (name == lock) {
            Text message(u"Die Datei ist in KiCad geöffnet (daneben liegt „");
            message.append(lock).append(
                u"“): KiCad würde beim nächsten Speichern die alten Bohrungen zurückschreiben. "
                u"Es wurde nichts geschrieben. Schließen Sie die Datei in KiCad, oder "
                u"schreiben Sie mit --force trotzdem.");
            return Stop(ApplyOutcome::Refused, std::move(message));
        }
    }
    return {};
}

Step HoldBoard(OsFiles& os, const Text& target, OsFiles::Access access, HeldFile& board) {
    const OsResult opened = os.Hold(target, access, board);
    if (opened == OsResult::Ok) {
        return {};
    }
    return Stop(opened == OsResult::Failed ? ApplyOutcome::Failed : ApplyOutcome::Refused,
                OpenFailureText(opened));
}

// The file another name's new content replaces: held like the board, so that nobody writes
// it meanwhile and its permission bits carry over. One that does not exist yet is created.
Step HoldOutput(OsFiles& os, const Text& target, HeldFile& output) {
    const OsResult opened = os.Hold(target, OsFiles::Access::ReadForRewrite, output);
    switch (opened) {
    case OsResult::Ok:
    case OsResult::NotFound:
        return {};
    case OsResult::NotAFile:
        return Stop(ApplyOutcome::Refused, u"Unter dem Namen der Zieldatei steht keine Datei. Es "
                                           u"wurde nichts geschrieben.");
    case OsResult::Locked:
        return Stop(ApplyOutcome::Refused, u"Die Zieldatei wird von einem anderen Programm "
                                           u"benutzt. Es wurde nichts geschrieben.");
    case OsResult::AccessDenied:
        return Stop(ApplyOutcome::Refused,
                    u"Die Zieldatei ist schreibgeschützt. Es wurde nichts geschrieben.");
    default:
        return Stop(ApplyOutcome::Failed, u"Die Zieldatei kann nicht geöffnet werden. Es wurde "
                                          u"nichts geschrieben.");
    }
}

// Another program may have saved the board while the window was up: the held board
// must still be byte for byte the file that was loaded. It is read to its end.
Step ProveUnchanged(OsFiles& os, const HeldFile& board, const BoardState& state) {
    constexpr int32_t kChunk = 1 << 18;
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
    ContentHash hash;
    for (;;) {
        const int32_t got = os.Read(board.Get(), buffer.get(), kChunk);
        if (got < 0) {
            return Stop(ApplyOutcome::Failed,
                        u"Die Datei konnte nicht gelesen werden. Es wurde nichts geschrieben.");
        }
        if (got == 0) {
            break;
        }
        hash.Update(buffer.get(), static_cast<size_t>(got));
        if (hash.Size() > state.LoadedSize) {
            break; // longer than what was loaded: no need to read on
        }
    }
    if (hash.Size() == state.LoadedSize && hash.Digest() == state.LoadedHash) {
        return {};
    }
    return Stop(ApplyOutcome::Refused,
                u"Die Datei wurde seit dem Laden geändert. Es wurde nichts geschrieben.");
}

// A temporary file of the rewrite: removed again when it goes, unless it has taken the
// board's place. Whatever step fails, nothing of ours stays beside the board.
class TemporaryFile {
public:
    explicit TemporaryFile(OsFiles& os) : os_(os) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            os_.Remove(path_);
        }
    }
    const Text& Path() const { return path_; }
    void Created(Text path) { path_ = std::move(path); }
    void BecameTheBoard() { path_.clear(); }

private:
    OsFiles& os_;
    Text path_;
};

// A new file next to the board under a name that only this run uses; a name that is
// taken is never opened, a fresh one is tried instead.
Step CreateTemporary(NumberedFiles& files, const Text& stem, TemporaryFile& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const Text path = stem + Hex(RandomNumber(), 12) + Text(kTemporarySuffix);
        if (files.CreateFileForWriting(0, path) != 0) {
            temporary.Created(path);
            return {};
        }
        if (files.LastOpenResult() != OsResult::AlreadyExists) {
            break;
        }
    }
    return Stop(ApplyOutcome::Failed, WriteFailureText(files.LastOpenResult()));
}

Step WriteLines(const BoardState& state, const RewriteOrder& order, NumberedFiles& files) {
    const bool written = WriteEditedLines(
        state.BoardLines, LinesInUse(state), order.Edits,
        [&](std::string_view piece) { return files.PutBytes(0, piece) == OsResult::Ok; },
        order.Ends);
    // Not written with every write done: the edits did not fit the lines.
    OsResult result = files.Slot(0)->WriteResult;
    if (result == OsResult::Ok && !written) {
        result = OsResult::Failed;
    }
    if (result == OsResult::Ok) {
        return {};
    }
    return Stop(ApplyOutcome::Failed, WriteFailureText(result));
}

// The whole new content onto the disk with the permission bits of `bits`, then in the
// target's place in one step: at every moment the target on disk is either the old file
// (or none) or the whole new one. The replace consumes the hold on the target.
Step Commit(OsFiles& os, NumberedFiles& files, OsHandle bits, HeldFile target,
            TemporaryFile& temporary, const Text& targetPath) {
    // Before the flush, so that the permission bits reach the disk with the data.
    OsResult result = os.CopyPermissions(bits, files.Slot(0)->File.Get());
    if (result == OsResult::Ok) {
        result = files.FlushNumberedFile(0);
    }
    if (result == OsResult::Ok) {
        result = files.CloseNumberedFile(0);
    }
    if (result == OsResult::Ok) {
        result = os.ReplaceHeld(temporary.Path(), targetPath, std::move(target));
    }
    if (result != OsResult::Ok) {
        return Stop(ApplyOutcome::Failed, WriteFailureText(result));
    }
    temporary.BecameTheBoard();
    return {};
}

Step Rewrite(const BoardState& state, const RewriteOrder& order, OsFiles& os) {
    if (Step step = RefuseUnwritable(state); step.Failed()) {
        return step;
    }
    // Through a symbolic link the file it names is replaced; the link stays a link.
    const Text source = os.ResolveTarget(state.BoardFileName);
    const Text named = order.Output.empty() ? state.BoardFileName : order.Output;
    const Text target = order.Output.empty() ? source : os.ResolveTarget(order.Output);
    const bool inPlace = target == source;
    if (order.RefuseWhenOpenInKicad) {
        for (const Text& path : {named, target}) {
            if (Step step = RefuseOpenInKicad(os, path); step.Failed()) {
                return step;
            }
        }
    }
    HeldFile board;
    const auto access = inPlace ? OsFiles::Access::ReadForRewrite : OsFiles::Access::Read;
    if (Step step = HoldBoard(os, source, access, board); step.Failed()) {
        return step;
    }
    HeldFile output;
    if (!inPlace) {
        if (Step step = HoldOutput(os, target, output); step.Failed()) {
            return step;
        }
    }
    HeldFile& replaced = inPlace ? board : output;
    const Text folder = FolderOfPath(target);
    const Text prefix = TemporaryPrefix(NameOfPath(target));
    // Only while the file to be replaced is held: a second rewrite of it waits for that
    // hold too, so it cannot take our temporary file for a leftover between its close and
    // the replace.
    if (replaced.IsOpen()) {
        RemoveLeftovers(os, folder, prefix);
    }
    if (Step step = ProveUnchanged(os, board, state); step.Failed()) {
        return step;
    }
    // Declared in this order, the temporary file is closed before it is removed.
    TemporaryFile temporary(os);
    NumberedFiles files(os);
    if (Step step = CreateTemporary(files, folder + prefix, temporary); step.Failed()) {
        return step;
    }
    if (Step step = WriteLines(state, order, files); step.Failed()) {
        return step;
    }
    // A new file takes the board's permission bits.
    const OsHandle bits = (replaced.IsOpen() ? replaced : board).Get();
    return Commit(os, files, bits, std::move(replaced), temporary, target);
}

} // namespace

Text TemporaryPrefix(const Text& boardName) {
    return u"." + boardName + u".rezurudev-";
}

ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs) {
    return ApplyNewDrills(state, dialogs, SystemFiles());
}

ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs, OsFiles& os) {
    const std::vector<ByteEdit> edits = WindowEdits(state);
    RewriteOrder order;
    order.Edits = edits;
    return ApplyEdits(state, order, dialogs, os);
}

ApplyOutcome ApplyEdits(const BoardState& state, const RewriteOrder& order, Dialogs& dialogs) {
    return ApplyEdits(state, order, dialogs, SystemFiles());
}

ApplyOutcome ApplyEdits(const BoardState& state, const RewriteOrder& order, Dialogs& dialogs,
                        OsFiles& os) {
    const Step result = Rewrite(state, order, os);
    if (result.Failed()) {
        dialogs.ShowMessage(u"Information", result.Message, 0);
    }
    return result.Outcome;
}

} // namespace rz
