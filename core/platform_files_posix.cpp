// Native stand-in for the Windows file calls, so the core runs and is tested on Linux.
// It takes Windows-style paths (backslashes) and keeps two Windows rules that root on
// Linux would otherwise ignore: a read-only file cannot be deleted or overwritten,
// and a rename never replaces an existing file.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bounded_copy.h"
#include "platform.h"
#include "state.h"

// The stand-in's names are UTF-8, where a 0x5C byte is always a backslash: no
// character of a double-byte code page can reach it.
static bool ToNativePath(const char* path, char* native) {
    if (!BoundedCopy(native, path, WorkPathSize)) {
        errno = ENAMETOOLONG;
        return false;
    }
    for (char* c = native; *c; ++c) {
        if (*c == '\\') *c = '/';
    }
    return true;
}

static bool IsReadOnlyFile(const char* native) {
    struct stat info;
    return stat(native, &info) == 0 && S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR);
}

FILE* OpenSharedFile(const char* path, const char* mode) {
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return nullptr;
    if (mode[0] == 'w' && IsReadOnlyFile(native)) {
        errno = EACCES;
        return nullptr;
    }
    return fopen(native, mode);
}

bool DeletePath(const char* path) {
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return false;
    if (IsReadOnlyFile(native)) return false;
    return unlink(native) == 0;
}

bool MovePath(const char* from, const char* to) {
    char nativeFrom[WorkPathSize];
    char nativeTo[WorkPathSize];
    if (!ToNativePath(from, nativeFrom) || !ToNativePath(to, nativeTo)) return false;
    return renameat2(AT_FDCWD, nativeFrom, AT_FDCWD, nativeTo, RENAME_NOREPLACE) == 0;
}
