// Helpers for the safety tests; the folder, byte and dialog helpers are the core tests'.
#pragma once

#include "../core/support.hpp"
#include "core/os_file.hpp"
#include "core/pipeline.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace rzsafe {

using namespace rztest;
using Names = std::vector<std::string>;

// A fuzz target's invariant: when it does not hold, libFuzzer keeps the input.
inline void Require(bool holds, const char* what, const rz::Text& where = {}) {
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s [%s]\n", what, rz::TextToUtf8(where).c_str());
        std::abort();
    }
}

// One run as the window drives it: loaded on construction, applied when asked.
struct Session : Loaded {
    explicit Session(const fs::path& board) { LoadAndPrepare(*this, board, rz::SystemFiles()); }
    rz::ApplyOutcome Apply() { return rz::ApplyNewDrills(State, Dialogs); }
};

// A generated board and the exact bytes a correct rewrite gives for it.
struct Board {
    std::string original; // LF line ends with some CR LF and lone CR mixed in
    std::string expected; // rounded pad drills (and vias of a pad size), CR LF everywhere
    size_t lines = 0;
    size_t distinct = 0; // distinct plain pad drill values listed
};
// At least `bytes` long, with `drills` distinct plain pad drill values.
Board GenerateBoard(size_t bytes, size_t drills);

} // namespace rzsafe
