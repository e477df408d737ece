// The platform-neutral helpers of the file seam.
#include "core/os_file.hpp"

namespace rz {

namespace {

size_t AfterLastSeparator(const Text& path) {
#ifdef _WIN32
    const size_t cut = path.find_last_of(u"/\\:");
#else
    const size_t cut = path.find_last_of(u'/');
#endif
    return cut == Text::npos ? 0 : cut + 1;
}

} // namespace

Text FolderOfPath(const Text& path) {
    return path.substr(0, AfterLastSeparator(path));
}

Text NameOfPath(const Text& path) {
    return path.substr(AfterLastSeparator(path));
}

} // namespace rz
