// The Windows file calls of the core: deny-none sharing, raw bytes.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <cerrno>
#include <cstring>

#include "newer_calls.h"
#include "platform.h"

// The marks a repair takes over from the file it replaces. The archive mark is not
// one of them: it tells a backup the file changed, and a repair always changes it.
static const DWORD KeptAttributeMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Windows refuses to write to, or replace, a read-only file, but Wine running as
// root lets such calls through to Linux, which ignores the permission bits: ask first.
static bool IsReadOnlyFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool OpensForWriting(const char* mode) {
    return mode[0] == 'w' || std::strchr(mode, '+') != nullptr;
}

FILE* OpenSharedFile(const char* path, const char* mode) {
    if (OpensForWriting(mode) && IsReadOnlyFile(path)) {
        errno = EACCES;
        return nullptr;
    }
    return _fsopen(path, mode, _SH_DENYNO);
}

// CREATE_NEW is the only way to never truncate a file that appears meanwhile;
// the C library cannot ask for it, so the handle is made here and wrapped.
FILE* CreateNewFile(const char* path, bool* exists) {
    *exists = false;
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        (void)DeleteFileA(path);  // empty, and made by this call alone
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
        (void)DeleteFileA(path);
    }
    return stream;
}

bool FlushToDisk(FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

// A device name (NUL, COM1, also with an extension) opens the device, which gives
// nothing or never ends; a pipe may never end either.
bool IsDiskFile(FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle != -1 && GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_DISK;
}

bool DeletePath(const char* path) {
    return DeleteFileA(path) != 0;
}

// Read-only is asked first, so the replace in steps is never tried on such a file:
// Windows renames a read-only file.
ReplaceResult ReplacePath(const char* from, const char* to) {
    if (IsReadOnlyFile(to)) return NotReplaced;
    if (MoveFileExCall(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) return Replaced;
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? NoOneStepReplace : NotReplaced;
}

bool ReadKeptAttributes(const char* path, unsigned* attributes) {
    const DWORD found = GetFileAttributesA(path);
    if (found == INVALID_FILE_ATTRIBUTES) return false;
    *attributes = found & KeptAttributeMask;
    return true;
}

bool WriteKeptAttributes(const char* path, unsigned attributes) {
    const DWORD found = GetFileAttributesA(path);
    if (found == INVALID_FILE_ATTRIBUTES) return false;
    // NORMAL means "no other mark" and may not stand beside one.
    const DWORD others = found & ~(KeptAttributeMask | FILE_ATTRIBUTE_NORMAL);
    const DWORD wanted = others | (attributes & KeptAttributeMask) | FILE_ATTRIBUTE_ARCHIVE;
    return wanted == found || SetFileAttributesA(path, wanted) != 0;
}

static void StampFromInformation(const BY_HANDLE_FILE_INFORMATION& info, FileStamp* stamp) {
    stamp->volume = info.dwVolumeSerialNumber;
    stamp->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->writeTime = (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                       info.ftLastWriteTime.dwLowDateTime;
}

static bool StampFromHandle(HANDLE handle, FileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) == 0) return false;
    StampFromInformation(info, stamp);
    return true;
}

bool ReadStreamStamp(FILE* stream, FileStamp* stamp) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle != -1 && StampFromHandle(reinterpret_cast<HANDLE>(handle), stamp);
}

// No access asked for: a file another program holds without sharing still answers.
// (Windows 95 refuses FILE_SHARE_DELETE, so it is not asked for.)
bool ReadPathStamp(const char* path, FileStamp* stamp) {
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileType(handle) == FILE_TYPE_DISK && StampFromHandle(handle, stamp);
    CloseHandle(handle);
    return read;
}

// Without MOVEFILE_REPLACE_EXISTING, a move never takes a name that is in use.
bool RenameToNewPath(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}
