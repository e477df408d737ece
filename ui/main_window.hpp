// The tool's one window: two labels, two lists and two buttons, built from the board state.
#pragma once

#include "core/board_state.hpp"

#include <cstdint>

namespace rz {

// Window and control numbers of the main window.
inline constexpr int32_t MainWindow = 0;
inline constexpr int32_t BeforeList = 0;
inline constexpr int32_t AfterList = 1;
inline constexpr int32_t BeforeLabel = 2;
inline constexpr int32_t AfterLabel = 3;
inline constexpr int32_t ApplyButton = 4;
inline constexpr int32_t CancelButton = 5;

// Caption "Rezurudev V1.1", client area 240 by 470, centred, fixed size with a close box.
inline constexpr uint32_t MainWindowFlags = 0xC80001;

// Opens the window and fills the lists; this lowers state.DrillCount to the index of the
// last token and fills state.NewDrillTokens. False, with nothing created and the state
// untouched, when the window could not be opened.
bool BuildMainWindow(BoardState& state);

} // namespace rz
