// The one seam between the board file code and the operating system.
//
// Everything the numbered-file layer, the loader and the rewrite need from the
// platform goes through OsFiles, so that a test can put a wrapper in between and
// make any single call fail. Paths are Texts (UTF-16); the POSIX side converts them
// to UTF-8, the Win32 side passes them to the wide-character calls.
//
// Rules common to every call:
// - No call throws and none shows anything to the user; failures come back as an
//   OsResult (or a documented special value) and the caller decides what to say.
// - A handle is only ever passed to the OsFiles object that opened it.
// - Calls on one handle come from one thread; different handles are independent.
#pragma once

#include "text/text.hpp"

#include <cstdint>
#include <utility>
#include <vector>

namespace rz {

enum class OsResult {
    Ok,
    NotFound,      // the path (or a folder on the way) does not exist
    NotAFile,      // it exists but is a folder, a device, a pipe ...
    Locked,        // another process holds the file open or locked
    AccessDenied,  // permission bits, read-only attribute, read-only file system
    AlreadyExists, // CreateNew: the name is taken
    NoSpace,       // disk or quota full
    Failed,        // anything else (I/O error, invalid name, ...)
};

// An open platform file: a file descriptor on POSIX, a HANDLE on Windows.
// Default-constructed handles are closed.
struct OsHandle {
    intptr_t Value = -1;
    bool IsOpen() const { return Value != -1; }
};

class OsFiles;

// A file the program holds open: it closes itself when it goes, so no way out of a step
// can leave the board locked or a temporary file open. Move-only, so exactly one owner
// closes it. A close whose result matters (a written file: a delayed write error shows
// there) is asked for with Close; the replace of the board consumes the hold on it.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(OsFiles& os, OsHandle handle) : os_(&os), handle_(handle) {}
    HeldFile(HeldFile&& other) noexcept
        : os_(other.os_), handle_(std::exchange(other.handle_, OsHandle())) {}
    HeldFile& operator=(HeldFile&& other) noexcept;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() { Close(); }

    bool IsOpen() const { return handle_.IsOpen(); }
    OsHandle Get() const { return handle_; }
    // Closes it now; Ok when it was not open. Closed afterwards whatever the result.
    OsResult Close();

private:
    friend class OsFiles;
    OsHandle Release() { return std::exchange(handle_, OsHandle()); }

    OsFiles* os_ = nullptr;
    OsHandle handle_;
};

class OsFiles {
public:
    virtual ~OsFiles() = default;

    enum class Access {
        Read,          // loading: read only
        ReadForRewrite // the rewrite's hold on the board: read, and refuse a file we may not write
    };

    // The calls that open or replace a file, with the file held by a HeldFile tied to this
    // object: every later call on it, its close included, goes through the same seam
    // (a test's wrapper sees and can fail each one). OpenExisting, CreateNew and Replace
    // below tell what each does.
    OsResult Hold(const Text& path, Access access, HeldFile& file);
    OsResult CreateHeld(const Text& path, HeldFile& file);
    OsResult ReplaceHeld(const Text& temporary, const Text& target, HeldFile held);

    // Opens an existing regular file, never creates one, and keeps other programs out
    // while it is open as far as the platform can:
    // - Windows: share mode 0. Read: GENERIC_READ. ReadForRewrite: GENERIC_READ |
    //   GENERIC_WRITE (so a read-only file gives AccessDenied); nothing is written.
    // - POSIX: an exclusive advisory lock (flock, non-blocking). A file that another
    //   process has locked (flock or fcntl/lockf locks) gives Locked. ReadForRewrite
    //   also gives AccessDenied when the file has no write permission bit at all or
    //   the caller may not write it.
    // Folders and other non-regular files give NotAFile. On failure `handle` stays
    // closed. The file position starts at 0.
    virtual OsResult OpenExisting(const Text& path, Access access, OsHandle& handle) = 0;

    // Size in bytes of an open file, -1 when it cannot be told. Used only to size
    // buffers up front; the content check does not rely on it.
    virtual int64_t FileSize(OsHandle handle) = 0;

    // Reads up to `size` bytes at the current position and advances it. Returns the
    // number of bytes read, 0 at the end of the file, -1 on an error. A short count
    // does not mean the end; only 0 does.
    virtual int32_t Read(OsHandle handle, void* buffer, int32_t size) = 0;

    // Creates a new file for writing; fails with AlreadyExists when the name is taken
    // (O_CREAT|O_EXCL, CREATE_NEW), never opens or truncates an existing file. The new
    // file is readable and writable by the owner only until SetPermissions, and is
    // kept exclusive while open (POSIX: flock; Windows: share mode 0), which is how
    // RemoveStale tells a live temporary file from a leftover.
    virtual OsResult CreateNew(const Text& path, OsHandle& handle) = 0;

    // Writes all `size` bytes or fails; a partial write is retried until done or an
    // error (NoSpace for a full disk).
    virtual OsResult Write(OsHandle handle, const void* data, int32_t size) = 0;

    // Forces the file's data and size to the disk (fsync, FlushFileBuffers).
    virtual OsResult Flush(OsHandle handle) = 0;

    // Gives `to` the permission bits of `from` (POSIX: st_mode & 07777 via fchmod,
    // and the owner and group where allowed). Windows: Ok (ReplaceFileW keeps the
    // board's attributes and security when Replace runs).
    virtual OsResult CopyPermissions(OsHandle from, OsHandle to) = 0;

    // Closes the handle and sets it to closed; on an already closed handle it does
    // nothing and gives Ok. A failure (such as a delayed write error reported at
    // close) is reported, but the handle is closed in any case.
    virtual OsResult Close(OsHandle& handle) = 0;

    // Replaces the file `target` by the closed file `temporary` in one step: afterwards
    // `target` names either its old content or the whole new content, never a mix,
    // and on Ok the change is on the disk (POSIX: rename, then fsync of the folder;
    // Windows: ReplaceFileW, or MoveFileExW with MOVEFILE_REPLACE_EXISTING |
    // MOVEFILE_WRITE_THROUGH). Both paths are in the same folder. Once the new
    // content has taken the target's name the call gives Ok even if the folder then
    // refuses to sync: the step cannot be taken back, and a failure would tell the
    // caller the old content is still there.
    // `held` is the handle OpenExisting(ReadForRewrite) gave for `target`; the call
    // closes it at the moment the platform needs: POSIX keeps the lock across the
    // rename and closes afterwards, Windows closes first because share mode 0 would
    // refuse the replace. `held` is closed on return, whatever the result.
    virtual OsResult Replace(const Text& temporary, const Text& target, OsHandle& held) = 0;

    // Deletes a file (our own temporary file, already closed).
    virtual OsResult Remove(const Text& path) = 0;

    // Deletes a temporary file left by an earlier run, unless a live process still has
    // it open (POSIX: its lock is held; Windows: it is open with share mode 0), in
    // which case it gives Locked and leaves the file alone.
    virtual OsResult RemoveStale(const Text& path) = 0;

    // The path of the file that `path` finally names: symbolic links followed (all of
    // them, also in the folders on the way), made absolute. When that cannot be
    // worked out (the file does not exist, a loop), `path` itself comes back.
    virtual Text ResolveTarget(const Text& path) = 0;

    // The names (not paths) of the entries of `folder` that begin with `prefix`, in no
    // particular order; empty when the folder cannot be listed. An empty `folder` is
    // the current folder; otherwise it is given as FolderOfPath gives it.
    virtual std::vector<Text> ListNames(const Text& folder, const Text& prefix) = 0;
};

// The real file system of the platform the program was built for.
OsFiles& SystemFiles();

// The folder part of a path including its last separator ("/" or, on Windows, also
// "\\"), or the empty text for a bare name; and the name after it.
Text FolderOfPath(const Text& path);
Text NameOfPath(const Text& path);

} // namespace rz
