// Writing the board back with the new drill tokens.
//
// The new content goes to a temporary file next to the board, is forced to the disk
// and then takes the board's place in one step, so that at every moment the board
// on disk is either the old file or the whole new one. Before that the board is
// opened and held, and must still be byte for byte the file that was loaded:
// another program may have saved it while the window was up.
#include "core/marker_search.hpp"
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rz {

namespace {

constexpr std::string_view kDrillMarker = "(drill ";
constexpr std::u16string_view kTemporarySuffix = u".tmp";

ApplyOutcome Tell(Dialogs& dialogs, ApplyOutcome outcome, const Text& text) {
    dialogs.ShowMessage(u"Information", text, 0);
    return outcome;
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
    return u"Die Datei konnte nicht geschrieben werden. Sie ist unverändert.";
}

// Reads the held board to its end and tells whether it still has the loaded bytes.
bool StillAsLoaded(OsFiles& os, OsHandle board, const BoardState& state, bool& readFailed) {
    readFailed = false;
    constexpr int32_t kChunk = 1 << 18;
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
    ContentHash hash;
    for (;;) {
        const int32_t got = os.Read(board, buffer.get(), kChunk);
        if (got < 0) {
            readFailed = true;
            return false;
        }
        if (got == 0) {
            break;
        }
        hash.Update(buffer.get(), static_cast<size_t>(got));
        if (hash.Size() > state.LoadedSize) {
            return false;
        }
    }
    return hash.Size() == state.LoadedSize && hash.Digest() == state.LoadedHash;
}

} // namespace

Text TemporaryPrefix(const Text& boardName) {
    return u"." + boardName + u".rezurudev-";
}

ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs) {
    return ApplyNewDrills(state, dialogs, SystemFiles());
}

ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs, OsFiles& os) {
    // Without a loaded file there is nothing to write back; writing would create or
    // empty a file at the chosen path.
    switch (state.Flaw) {
    case LoadFlaw::None:
        break;
    case LoadFlaw::NotLoaded:
        return Tell(dialogs, ApplyOutcome::Refused,
                    u"Es ist keine Datei geladen. Es wurde nichts geschrieben.");
    case LoadFlaw::NotUtf8:
        return Tell(dialogs, ApplyOutcome::Refused,
                    u"Die Datei enthält Null-Bytes oder Zeichen, die kein gültiges UTF-8 "
                    u"sind, und wird deshalb nicht überschrieben.");
    case LoadFlaw::ReadError:
        return Tell(dialogs, ApplyOutcome::Refused,
                    u"Die Datei konnte nicht vollständig gelesen werden und wird deshalb "
                    u"nicht überschrieben.");
    }

    // Through a symbolic link the file it names is replaced; the link stays a link.
    const Text target = os.ResolveTarget(state.BoardFileName);
    const Text folder = FolderOfPath(target);
    const Text prefix = TemporaryPrefix(NameOfPath(target));

    OsHandle board;
    const OsResult opened = os.OpenExisting(target, OsFiles::Access::ReadForRewrite, board);
    if (opened != OsResult::Ok) {
        return Tell(dialogs,
                    opened == OsResult::Failed ? ApplyOutcome::Failed : ApplyOutcome::Refused,
                    OpenFailureText(opened));
    }
    // Only while the board is held: a second rewrite of the same board waits for that
    // hold too, so it cannot take our temporary file for a leftover between its close
    // and the replace.
    RemoveLeftovers(os, folder, prefix);
    bool readFailed = false;
    if (!StillAsLoaded(os, board, state, readFailed)) {
        os.Close(board);
        if (readFailed) {
            return Tell(dialogs, ApplyOutcome::Failed,
                        u"Die Datei konnte nicht gelesen werden. Es wurde nichts geschrieben.");
        }
        return Tell(dialogs, ApplyOutcome::Refused,
                    u"Die Datei wurde seit dem Laden geändert. Es wurde nichts geschrieben.");
    }

    NumberedFiles files(os);
    Text temporary;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = folder + prefix + Hex(RandomNumber(), 12) + Text(kTemporarySuffix);
        if (files.CreateFileForWriting(0, temporary) != 0 ||
            files.LastOpenResult() != OsResult::AlreadyExists) {
            break;
        }
    }
    if (files.Slot(0) == nullptr) {
        os.Close(board);
        return Tell(dialogs, ApplyOutcome::Failed, WriteFailureText(files.LastOpenResult()));
    }

    // The tokens are distinct, so at most one slot matches a line's first token. The
    // file has no flaws, so a token's text and its bytes stand for each other, and
    // replacing a token's bytes in a line's bytes gives the bytes of the line's text
    // with the token replaced: well-formed UTF-8 matches only at character starts.
    std::vector<std::string> tokenBytes;
    std::vector<std::string> newTokenBytes;
    const size_t last =
        state.DrillCount < 1
            ? 0
            : std::min(static_cast<size_t>(state.DrillCount),
                       std::min(state.DrillTokens.size(), state.NewDrillTokens.size()) - 1);
    tokenBytes.reserve(last + 1);
    newTokenBytes.reserve(last + 1);
    for (size_t j = 0; j <= last; ++j) {
        tokenBytes.push_back(TextToUtf8(state.DrillTokens[j]));
        newTokenBytes.push_back(TextToUtf8(state.NewDrillTokens[j]));
    }
    std::unordered_map<std::string_view, size_t> slotOfToken;
    for (size_t j = 1; j <= last; ++j) {
        if (!tokenBytes[j].empty()) {
            slotOfToken.emplace(tokenBytes[j], j);
        }
    }

    // A line without a drill token to replace goes out as the bytes it was read as,
    // which for a file without flaws are the file's own. The lines are gathered into
    // large pieces, which the file layer writes straight through. The loaded lines
    // stay as they are, so a failed rewrite leaves the state intact.
    const LineStore& store = state.BoardLines;
    const std::string& all = store.All();
    const size_t lines =
        std::min(store.size(), static_cast<size_t>(std::max<int32_t>(state.LastLineIndex + 1, 0)));
    // A piece goes out once it holds a buffer's worth, so the file layer writes it
    // straight through instead of copying it once more.
    constexpr size_t kPiece = kFileBufferSize;
    constexpr size_t kRoom = 2 * kPiece;
    const auto piece = std::make_unique_for_overwrite<char[]>(kRoom);
    size_t used = 0;
    const auto put = [&](const char* bytes, size_t count) {
        if (count > kRoom - used) {
            files.PutBytes(0, std::string_view(piece.get(), used));
            used = 0;
            if (count > kRoom) {
                files.PutBytes(0, std::string_view(bytes, count)); // a very long line
                return;
            }
        }
        std::memcpy(piece.get() + used, bytes, count);
        used += count;
    };
    size_t lastSlot = 0;
    std::string_view lastToken;
    size_t lastTokenSlot = 0;
    NextMarker drill(all, kDrillMarker);
    const FileSlot& written = *files.Slot(0);
    for (size_t i = 0; i < lines && written.WriteResult == OsResult::Ok; ++i) {
        const size_t begin = store.BeginOf(i);
        const size_t end = store.EndOf(i);
        const size_t p = drill.At(begin);
        size_t slot = 0;
        std::string_view line(all.data() + begin, end - begin);
        if (p < end) {
            const size_t e = line.find(')', p - begin);
            if (e != std::string_view::npos) {
                // Pads in a row mostly share their token: the last one is tried first.
                const std::string_view token = line.substr(p - begin, e - (p - begin) + 1);
                if (token == lastToken) {
                    slot = lastTokenSlot;
                } else {
                    const auto match = slotOfToken.find(token);
                    slot = match == slotOfToken.end() ? 0 : match->second;
                    lastToken = token;
                    lastTokenSlot = slot;
                }
            }
        }
        if (slot != 0) {
            if (slot != lastSlot) {
                state.CurrentDrillToken = state.DrillTokens[slot];
                lastSlot = slot;
            }
            // Every occurrence, left to right, none inside a replacement; the first
            // is the one found.
            const std::string_view token = tokenBytes[slot];
            const std::string& replacement = newTokenBytes[slot];
            for (size_t at = p - begin; at != std::string_view::npos; at = line.find(token, at)) {
                put(line.data(), at);
                put(replacement.data(), replacement.size());
                line.remove_prefix(at + token.size());
                at = 0;
            }
        }
        put(line.data(), line.size());
        put("\r\n", 2);
        if (used >= kPiece) {
            files.PutBytes(0, std::string_view(piece.get(), used));
            used = 0;
        }
    }
    files.PutBytes(0, std::string_view(piece.get(), used));

    OsResult result = files.Slot(0)->WriteResult;
    if (result == OsResult::Ok) {
        // Before the flush, so that the permission bits reach the disk with the data.
        result = os.CopyPermissions(board, files.Slot(0)->Handle);
    }
    if (result == OsResult::Ok) {
        result = files.FlushNumberedFile(0);
    }
    const OsResult closed = files.CloseNumberedFile(0);
    if (result == OsResult::Ok) {
        result = closed;
    }
    if (result == OsResult::Ok) {
        result = os.Replace(temporary, target, board);
    }
    if (result != OsResult::Ok) {
        os.Close(board);
        os.Remove(temporary);
        return Tell(dialogs, ApplyOutcome::Failed, WriteFailureText(result));
    }
    return ApplyOutcome::Written;
}

} // namespace rz
