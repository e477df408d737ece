// The platform-neutral parts of the file seam.
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

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
    if (this != &other) {
        Close();
        os_ = other.os_;
        handle_ = other.Release();
    }
    return *this;
}

OsResult HeldFile::Close() {
    if (!handle_.IsOpen()) {
        return OsResult::Ok;
    }
    OsHandle handle = Release();
    return os_->Close(handle);
}

OsResult OsFiles::Hold(const Text& path, Access access, HeldFile& file) {
    OsHandle handle;
    const OsResult result = OpenExisting(path, access, handle);
    file = HeldFile(*this, handle);
    return result;
}

OsResult OsFiles::CreateHeld(const Text& path, HeldFile& file) {
    OsHandle handle;
    const OsResult result = CreateNew(path, handle);
    file = HeldFile(*this, handle);
    return result;
}

OsResult OsFiles::ReplaceHeld(const Text& temporary, const Text& target, HeldFile held) {
    OsHandle handle = held.Release();
    return Replace(temporary, target, handle);
}

Text FolderOfPath(const Text& path) {
    return path.substr(0, AfterLastSeparator(path));
}

Text NameOfPath(const Text& path) {
    return path.substr(AfterLastSeparator(path));
}

} // namespace rz
