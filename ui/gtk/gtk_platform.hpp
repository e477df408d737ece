// The GTK 3 platform under the portable window, event and dialog layers. The toolkit's
// headers stay inside the backend (gtk_private.hpp).
#pragma once

#include "ui/platform.hpp"

#include <memory>

namespace rz {

std::unique_ptr<Platform> MakeGtkPlatform();

} // namespace rz
