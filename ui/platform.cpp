#include "ui/platform.hpp"

#include <cstdio>
#include <cstdlib>

namespace rz {

namespace {
Platform* installed = nullptr;
}

void SetPlatform(Platform* platform) {
    installed = platform;
}

Platform& CurrentPlatform() {
    if (installed == nullptr) {
        // A programming error, not a user's situation: every program sets its platform
        // before it touches a window.
        std::fputs("rezurudev: no window platform installed\n", stderr);
        std::abort();
    }
    return *installed;
}

} // namespace rz
