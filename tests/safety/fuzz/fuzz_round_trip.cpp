// Fuzz target: the whole run on a real file in a temporary folder: load, collect,
// prepare the rows, apply; then load the result and apply again.
// - A file that cannot be written back faithfully is refused and left as it was.
// - Otherwise the rewritten file, read again, has the same lines, and they differ from
//   the loaded ones only inside drill tokens; every line ends with CR LF.
// - Applying a second time gives the same bytes as applying once.
// - Nothing but the board is left in the folder.
#include "support.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace rzsafe;

namespace {

[[noreturn]] void Violated(const char* what, size_t line = 0) {
    std::fprintf(stderr, "round trip invariant violated: %s (line %zu)\n", what, line);
    std::abort();
}

const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "rz-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            Violated("no temporary folder");
        }
        std::atexit([] { fs::remove_all(Folder()); });
        return fs::path(pattern);
    }();
    return folder;
}

void ExpectOnlyBoard() {
    const auto names = ListFolder(Folder());
    if (names.size() != 1 || names[0] != "board.kicad_pcb") {
        Violated("something besides the board was left in the folder");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    const fs::path board = Folder() / "board.kicad_pcb";
    WriteBytes(board, input);

    Session first(board);
    first.Load();
    const rz::ApplyOutcome outcome = first.Apply();
    const std::string once = ReadBytes(board);
    ExpectOnlyBoard();
    if (first.state.Flaw != rz::LoadFlaw::None) {
        if (outcome != rz::ApplyOutcome::Refused || once != input) {
            Violated("a file that cannot be written back was touched");
        }
        if (first.dialogs.messages.empty()) {
            Violated("a refusal was not told");
        }
        return 0;
    }
    if (outcome != rz::ApplyOutcome::Written) {
        Violated("a well-formed file was not written");
    }
    if (!first.dialogs.messages.empty()) {
        Violated("a message on success");
    }

    // Every line ends with CR LF; there is no other CR or LF in the file.
    size_t crlf = 0;
    for (size_t k = 0; k < once.size(); ++k) {
        if (once[k] == '\r') {
            if (k + 1 >= once.size() || once[k + 1] != '\n') {
                Violated("a CR without LF in the written file");
            }
            ++crlf;
            ++k;
        } else if (once[k] == '\n') {
            Violated("an LF without CR in the written file");
        }
    }
    if (!once.empty() && (once.size() < 2 || once.substr(once.size() - 2) != "\r\n")) {
        Violated("the written file does not end with a line end");
    }

    Session second(board);
    second.Load();
    if (second.state.Flaw != rz::LoadFlaw::None) {
        Violated("the written file cannot be read back faithfully");
    }
    const rz::LineStore& before = first.state.BoardLines;
    const rz::LineStore& after = second.state.BoardLines;
    if (after.size() != before.size() || after.size() != crlf) {
        Violated("the line count changed");
    }
    for (size_t i = 0; i < before.size(); ++i) {
        if (DrillSkeleton(std::u16string(before[i])) != DrillSkeleton(std::u16string(after[i]))) {
            Violated("a line changed outside its drill tokens", i);
        }
    }

    if (second.Apply() != rz::ApplyOutcome::Written) {
        Violated("the second apply was not written");
    }
    if (ReadBytes(board) != once) {
        Violated("applying twice differs from applying once");
    }
    ExpectOnlyBoard();
    return 0;
}
