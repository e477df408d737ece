// OsFiles on POSIX systems (Linux first). Paths arrive as UTF-16 and are handed to
// the system as UTF-8.
#include "core/os_file.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rz {

namespace {

OsResult FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return OsResult::NotFound;
    case EISDIR:
        return OsResult::NotAFile;
    case EACCES:
    case EPERM:
    case EROFS:
        return OsResult::AccessDenied;
    case EEXIST:
        return OsResult::AlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return OsResult::NoSpace;
    case EWOULDBLOCK:
        return OsResult::Locked;
    default:
        return OsResult::Failed;
    }
}

// Paths go to the system as UTF-8. A Text never holds the code unit 0, so the converted
// path has no NUL that would cut it short and make the call act on another file; an
// empty path stays empty, and open(2) refuses it with ENOENT, which is the answer wanted.
std::string NativePath(const Text& path) {
    return TextToUtf8(path);
}

int Fd(OsHandle handle) {
    return static_cast<int>(handle.Value);
}

// True when another process holds a POSIX record lock (fcntl or lockf) on any part
// of the file. flock and record locks do not see each other on Linux, so both are
// checked; a program that locks either way is kept out.
bool RecordLockedElsewhere(int fd) {
    struct flock query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    if (fcntl(fd, F_GETLK, &query) != 0) {
        return false;
    }
    return query.l_type != F_UNLCK;
}

class PosixFiles final : public OsFiles {
    static constexpr int32_t kStartWritingFrom = 1 << 18;

public:
    OsResult OpenExisting(const Text& path, Access access, OsHandle& handle) override {
        handle = OsHandle();
        // O_NONBLOCK keeps a FIFO from blocking the open; it does not affect regular
        // files, which are the only kind accepted below.
        // O_RDWR for the rewrite lets the system refuse what we may not write (EACCES,
        // EROFS); nothing is ever written through this descriptor.
        const int mode = access == Access::ReadForRewrite ? O_RDWR : O_RDONLY;
        const int fd = open(NativePath(path).c_str(), mode | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return FromErrno(errno);
        }
        OsResult result = Check(fd, access);
        if (result != OsResult::Ok) {
            close(fd);
            return result;
        }
        handle.Value = fd;
        return OsResult::Ok;
    }

    int64_t FileSize(OsHandle handle) override {
        struct stat info;
        if (fstat(Fd(handle), &info) != 0) {
            return -1;
        }
        return static_cast<int64_t>(info.st_size);
    }

    int32_t Read(OsHandle handle, void* buffer, int32_t size) override {
        for (;;) {
            const ssize_t got = read(Fd(handle), buffer, static_cast<size_t>(size));
            if (got >= 0) {
                return static_cast<int32_t>(got);
            }
            if (errno != EINTR) {
                return -1;
            }
        }
    }

    OsResult CreateNew(const Text& path, OsHandle& handle) override {
        handle = OsHandle();
        const int fd =
            open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return FromErrno(errno);
        }
        // Nobody else knows the name yet, so the lock cannot be taken; it only tells
        // RemoveStale of another run that this file is alive.
        flock(fd, LOCK_EX | LOCK_NB);
        handle.Value = fd;
        return OsResult::Ok;
    }

    OsResult Write(OsHandle handle, const void* data, int32_t size) override {
        const char* bytes = static_cast<const char*>(data);
        size_t left = static_cast<size_t>(size);
        while (left > 0) {
            const ssize_t put = write(Fd(handle), bytes, left);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return FromErrno(errno);
            }
            if (put == 0) {
                return OsResult::Failed;
            }
            bytes += put;
            left -= static_cast<size_t>(put);
        }
#if defined(SYNC_FILE_RANGE_WRITE)
        // A large piece starts on its way to the disk now, while the next one is made,
        // so that the final Flush waits for little more than the last piece. This only
        // starts the writing; Flush remains what puts the file on the disk.
        if (size >= kStartWritingFrom) {
            const off_t end = lseek(Fd(handle), 0, SEEK_CUR);
            if (end >= size) {
                sync_file_range(Fd(handle), end - size, size, SYNC_FILE_RANGE_WRITE);
            }
        }
#endif
        return OsResult::Ok;
    }

    OsResult Flush(OsHandle handle) override {
        if (fsync(Fd(handle)) != 0) {
            return FromErrno(errno);
        }
        return OsResult::Ok;
    }

    OsResult CopyPermissions(OsHandle from, OsHandle to) override {
        struct stat info;
        if (fstat(Fd(from), &info) != 0) {
            return FromErrno(errno);
        }
        // Owner and group first: changing them may clear set-id bits, which the
        // chmod afterwards puts back. Only root (or the owner keeping the group)
        // may do this; when it is refused the new file keeps our own ids, which is
        // all an ordinary editor can do either.
        if (fchown(Fd(to), info.st_uid, info.st_gid) != 0) {
            (void)0;
        }
        if (fchmod(Fd(to), info.st_mode & 07777) != 0) {
            return FromErrno(errno);
        }
        return OsResult::Ok;
    }

    OsResult Close(OsHandle& handle) override {
        if (!handle.IsOpen()) {
            return OsResult::Ok;
        }
        const int fd = Fd(handle);
        handle = OsHandle();
        // Linux releases the descriptor even when close reports an error, so it is
        // never retried.
        if (close(fd) != 0 && errno != EINTR) {
            return FromErrno(errno);
        }
        return OsResult::Ok;
    }

    OsResult Replace(const Text& temporary, const Text& target, OsHandle& held) override {
        OsResult result = OsResult::Ok;
        if (rename(NativePath(temporary).c_str(), NativePath(target).c_str()) != 0) {
            result = FromErrno(errno);
        } else {
            // The new content is in place from here on and cannot be taken back, so a
            // folder that refuses to sync does not turn this into a failure.
            SyncFolder(FolderOfPath(target));
        }
        Close(held);
        return result;
    }

    OsResult Remove(const Text& path) override {
        if (unlink(NativePath(path).c_str()) != 0) {
            return FromErrno(errno);
        }
        return OsResult::Ok;
    }

    OsResult RemoveStale(const Text& path) override {
        const std::string native = NativePath(path);
        const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
        if (fd < 0) {
            return FromErrno(errno);
        }
        struct stat info;
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            return OsResult::NotAFile;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return OsResult::Locked;
        }
        const OsResult result = unlink(native.c_str()) == 0 ? OsResult::Ok : FromErrno(errno);
        close(fd);
        return result;
    }

    Text ResolveTarget(const Text& path) override {
        if (path.empty()) {
            return path;
        }
        char* resolved = realpath(NativePath(path).c_str(), nullptr);
        if (resolved == nullptr) {
            return path;
        }
        Text result = Utf8ToText(resolved);
        free(resolved);
        return result;
    }

    std::vector<Text> ListNames(const Text& folder, const Text& prefix) override {
        std::vector<Text> names;
        const std::string native = folder.empty() ? std::string(".") : NativePath(folder);
        DIR* dir = opendir(native.c_str());
        if (dir == nullptr) {
            return names;
        }
        const std::string wanted = NativePath(prefix);
        while (const dirent* entry = readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name.substr(0, wanted.size()) == wanted) {
                names.push_back(Utf8ToText(name));
            }
        }
        closedir(dir);
        return names;
    }

private:
    static OsResult Check(int fd, Access access) {
        struct stat info;
        if (fstat(fd, &info) != 0) {
            return FromErrno(errno);
        }
        if (!S_ISREG(info.st_mode)) {
            return OsResult::NotAFile;
        }
        if (access == Access::ReadForRewrite) {
            // A file without any write bit is write-protected for everybody, root
            // included, as a read-only attribute is on Windows.
            if ((info.st_mode & 0222) == 0) {
                return OsResult::AccessDenied;
            }
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK ? OsResult::Locked : FromErrno(errno);
        }
        if (RecordLockedElsewhere(fd)) {
            return OsResult::Locked;
        }
        // The descriptor was opened non-blocking for the FIFO case only.
        const int flags = fcntl(fd, F_GETFL);
        if (flags != -1) {
            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        }
        return OsResult::Ok;
    }

    static void SyncFolder(const Text& folder) {
        const std::string native = folder.empty() ? std::string(".") : NativePath(folder);
        const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
        if (fd < 0) {
            return;
        }
        fsync(fd);
        close(fd);
    }
};

} // namespace

OsFiles& SystemFiles() {
    static PosixFiles files;
    return files;
}

} // namespace rz
