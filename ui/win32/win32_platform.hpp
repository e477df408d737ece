// The Win32 platform under the portable window, event and dialog layers. The system's
// headers stay inside the backend (win32_private.hpp).
#pragma once

#include "ui/platform.hpp"

#include <memory>

namespace rz {

std::unique_ptr<Platform> MakeWin32Platform();

} // namespace rz
