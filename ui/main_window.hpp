// The tool's one window: two labels, two lists and two buttons, built from the board state.
#pragma once

#include "core/board_state.hpp"
#include "ui/platform.hpp"
#include "ui/window_layer.hpp"

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

// Centred, fixed size, with a title bar and a close box (0xC80001).
inline constexpr uint32_t MainWindowFlags =
    WindowStyle::Caption | WindowStyle::SysMenu | WindowFlag::CentreOnScreen;

// Opens the window and fills the lists; this lowers state.DrillCount to the index of the
// last token and fills state.NewDrillTokens. False, with nothing created and the state
// untouched, when the window could not be opened.
bool BuildMainWindow(BoardState& state);

} // namespace rz
