// OsFiles on Windows. Texts are UTF-16, so paths go to the wide-character calls as they
// are. Every open uses share mode 0: while we hold the board, no other program may read,
// write, rename or delete it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "core/os_file.hpp"
#include "text/wide_text.hpp"

#include <string>

namespace rz {

namespace {

static_assert(sizeof(HANDLE) <= sizeof(intptr_t), "a HANDLE fits an OsHandle");

// A closed OsHandle holds -1, which is INVALID_HANDLE_VALUE: the two agree.
HANDLE Native(OsHandle handle) {
    return reinterpret_cast<HANDLE>(handle.Value);
}

OsHandle FromNative(HANDLE h) {
    OsHandle handle;
    handle.Value = reinterpret_cast<intptr_t>(h);
    return handle;
}

OsResult FromError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
        return OsResult::NotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return OsResult::Locked;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return OsResult::AccessDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return OsResult::AlreadyExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return OsResult::NoSpace;
    default:
        return OsResult::Failed;
    }
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Device names ("NUL", "COM1", "\\.\pipe\x") open like files; only disk files count.
bool IsDiskFile(HANDLE h) {
    return GetFileType(h) == FILE_TYPE_DISK;
}

// Makes a rename or replace durable: flushing a handle of the renamed file commits its
// directory entry with it on NTFS. Best effort, the content itself is already on disk.
void CommitName(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(h);
        CloseHandle(h);
    }
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

constexpr DWORD MoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

class Win32Files final : public OsFiles {
public:
    OsResult OpenExisting(const Text& path, Access access, OsHandle& handle) override {
        handle = OsHandle();
        if (path.empty()) {
            return OsResult::NotFound;
        }
        const std::wstring native = ToWide(path);
        // GENERIC_WRITE for the rewrite lets the system refuse a read-only file or one
        // we may not write, before anything is changed; nothing is written through it.
        const DWORD desired =
            access == Access::ReadForRewrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
        HANDLE h = CreateFileW(native.c_str(), desired, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder cannot be opened this way and answers "access denied".
            if (error == ERROR_ACCESS_DENIED && IsFolder(native)) {
                return OsResult::NotAFile;
            }
            return FromError(error);
        }
        if (!IsDiskFile(h)) {
            CloseHandle(h);
            return OsResult::NotAFile;
        }
        // Windows refuses write access to a read-only file itself; Wine run by root
        // does not, so the attribute is checked here as well.
        BY_HANDLE_FILE_INFORMATION info;
        if (access == Access::ReadForRewrite && GetFileInformationByHandle(h, &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            CloseHandle(h);
            return OsResult::AccessDenied;
        }
        handle = FromNative(h);
        return OsResult::Ok;
    }

    int64_t FileSize(OsHandle handle) override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(Native(handle), &size)) {
            return -1;
        }
        return static_cast<int64_t>(size.QuadPart);
    }

    int32_t Read(OsHandle handle, void* buffer, int32_t size) override {
        if (size <= 0) {
            return 0;
        }
        DWORD got = 0;
        if (!ReadFile(Native(handle), buffer, static_cast<DWORD>(size), &got, nullptr)) {
            return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
        }
        return static_cast<int32_t>(got);
    }

    OsResult CreateNew(const Text& path, OsHandle& handle) override {
        handle = OsHandle();
        if (path.empty()) {
            return OsResult::NotFound;
        }
        // CREATE_NEW never opens or truncates an existing file. Share mode 0 keeps the
        // file exclusive while it is written, which RemoveStale of another run sees.
        HANDLE h = CreateFileW(ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return FromError(GetLastError());
        }
        handle = FromNative(h);
        return OsResult::Ok;
    }

    OsResult Write(OsHandle handle, const void* data, int32_t size) override {
        const char* bytes = static_cast<const char*>(data);
        DWORD left = size > 0 ? static_cast<DWORD>(size) : 0;
        while (left > 0) {
            DWORD put = 0;
            if (!WriteFile(Native(handle), bytes, left, &put, nullptr)) {
                return FromError(GetLastError());
            }
            if (put == 0) {
                return OsResult::Failed;
            }
            bytes += put;
            left -= put;
        }
        return OsResult::Ok;
    }

    OsResult Flush(OsHandle handle) override {
        if (!FlushFileBuffers(Native(handle))) {
            return FromError(GetLastError());
        }
        return OsResult::Ok;
    }

    OsResult CopyPermissions(OsHandle, OsHandle) override {
        // ReplaceFileW gives the new content the board's attributes and security.
        return OsResult::Ok;
    }

    OsResult Close(OsHandle& handle) override {
        if (!handle.IsOpen()) {
            return OsResult::Ok;
        }
        HANDLE h = Native(handle);
        handle = OsHandle();
        if (!CloseHandle(h)) {
            return FromError(GetLastError());
        }
        return OsResult::Ok;
    }

    OsResult Replace(const Text& temporary, const Text& target, OsHandle& held) override {
        // Share mode 0 on our own hold would make the replace fail: let go first.
        Close(held);
        const std::wstring from = ToWide(temporary);
        const std::wstring to = ToWide(target);
        // Without a backup name, ReplaceFileW may fail after it has already moved the
        // board away under a name nobody knows (ERROR_UNABLE_TO_MOVE_REPLACEMENT). With
        // one, the old content always stays reachable and can be put back. It is deleted
        // once the new content is in place, and deliberately does not end like a
        // temporary file: if putting it back ever failed it would hold the only copy of
        // the old board, which the stale-file cleanup must never remove.
        const std::wstring backup = from + L"-old";

        if (ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            CommitName(to);
            DeleteFileW(backup.c_str());
            return OsResult::Ok;
        }
        const DWORD error = GetLastError();
        switch (error) {
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
            // Neither file was touched; something else holds the board.
            return OsResult::Locked;
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
            // Both files keep their names: the board is unchanged.
            return OsResult::Failed;
        default:
            break;
        }
        // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the old board under the backup name;
        // other errors (a file system without ReplaceFileW, a board deleted meanwhile)
        // leave it where it was. In both cases a plain rename of the new content over
        // the board's name is the next best way to finish.
        if (MoveFileExW(from.c_str(), to.c_str(), MoveFlags)) {
            DeleteFileW(backup.c_str());
            return OsResult::Ok;
        }
        const DWORD moveError = GetLastError();
        if (!Exists(to) && Exists(backup)) {
            MoveFileExW(backup.c_str(), to.c_str(), MoveFlags);
        }
        return FromError(error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ? moveError : error);
    }

    OsResult Remove(const Text& path) override {
        if (!DeleteFileW(ToWide(path).c_str())) {
            return FromError(GetLastError());
        }
        return OsResult::Ok;
    }

    OsResult RemoveStale(const Text& path) override {
        const std::wstring native = ToWide(path);
        const DWORD attributes = GetFileAttributesW(native.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return FromError(GetLastError());
        }
        if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
            return OsResult::NotAFile;
        }
        // A live run holds its temporary file with share mode 0, so deleting it fails
        // with a sharing violation, which is Locked.
        if (!DeleteFileW(native.c_str())) {
            return FromError(GetLastError());
        }
        return OsResult::Ok;
    }

    Text ResolveTarget(const Text& path) override {
        if (path.empty()) {
            return path;
        }
        // No access and full sharing: this only asks the system for the final name and
        // must not disturb anybody who has the file open.
        HANDLE h = CreateFileW(ToWide(path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return path;
        }
        std::wstring buffer(MAX_PATH, L'\0');
        DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n >= buffer.size()) {
            buffer.assign(n + 1, L'\0');
            n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        }
        CloseHandle(h);
        if (n == 0 || n >= buffer.size()) {
            return path;
        }
        buffer.resize(n);
        // The system answers with the "\\?\" form; the plain form is what the other
        // calls and the user expect, and it is the same file.
        const std::wstring unc = L"\\\\?\\UNC\\";
        const std::wstring local = L"\\\\?\\";
        if (buffer.compare(0, unc.size(), unc) == 0) {
            buffer = L"\\\\" + buffer.substr(unc.size());
        } else if (buffer.compare(0, local.size(), local) == 0 &&
                   buffer.size() >= local.size() + 2 && buffer[local.size() + 1] == L':') {
            buffer = buffer.substr(local.size());
        } else {
            return path;
        }
        return Text(buffer.begin(), buffer.end());
    }

    std::vector<Text> ListNames(const Text& folder, const Text& prefix) override {
        std::vector<Text> names;
        // Every entry, filtered here: a wildcard pattern would also match the entries'
        // short 8.3 names, and the prefix might hold wildcard characters itself.
        const std::wstring pattern = ToWide(folder) + L"*";
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            const Text name = Text(entry.cFileName, entry.cFileName + wcslen(entry.cFileName));
            if (name == u"." || name == u"..") {
                continue;
            }
            if (name.compare(0, prefix.size(), prefix) == 0) {
                names.push_back(name);
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
        return names;
    }
};

} // namespace

OsFiles& SystemFiles() {
    static Win32Files files;
    return files;
}

} // namespace rz
