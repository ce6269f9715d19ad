// The Windows file calls of the core: deny-none sharing, raw bytes.
#include <windows.h>
#include <share.h>

#include <cerrno>

#include "platform.h"

// Windows refuses to open a read-only file for writing, but Wine running as root
// lets the open through to Linux, which ignores the permission bits: ask first.
static bool IsReadOnlyFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILE* OpenSharedFile(const char* path, const char* mode) {
    if (mode[0] == 'w' && IsReadOnlyFile(path)) {
        errno = EACCES;
        return nullptr;
    }
    return _fsopen(path, mode, _SH_DENYNO);
}

bool DeletePath(const char* path) {
    return DeleteFileA(path) != 0;
}

bool MovePath(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}
