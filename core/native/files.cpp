// Native stand-in for the Windows file calls, so the core runs and is tested on Linux.
// It takes Windows-style paths (backslashes) and keeps the Windows rule that root on
// Linux would otherwise ignore: a read-only file cannot be deleted, written or replaced.
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

static bool OpensForWriting(const char* mode) {
    return mode[0] == 'w' || strchr(mode, '+') != nullptr;
}

FILE* OpenSharedFile(const char* path, const char* mode) {
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return nullptr;
    if (OpensForWriting(mode) && IsReadOnlyFile(native)) {
        errno = EACCES;
        return nullptr;
    }
    return fopen(native, mode);
}

FILE* CreateNewFile(const char* path, bool* exists) {
    *exists = false;
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return nullptr;
    const int descriptor = open(native, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (descriptor == -1) {
        *exists = errno == EEXIST;
        return nullptr;
    }
    FILE* stream = fdopen(descriptor, "wb");
    if (stream == nullptr) {
        close(descriptor);
        (void)unlink(native);  // empty, and made by this call alone
    }
    return stream;
}

bool FlushToDisk(FILE* stream) {
    return fsync(fileno(stream)) == 0;
}

// A folder opens on Linux and fails at the first read, as a file that cannot be
// read does: kept, so that failure can be tried. Devices, pipes and sockets are not.
bool IsDiskFile(FILE* stream) {
    struct stat info;
    return fstat(fileno(stream), &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
}

bool DeletePath(const char* path) {
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return false;
    if (IsReadOnlyFile(native)) return false;
    return unlink(native) == 0;
}

// RENAME_NOREPLACE fails when to exists, in the same step, as the Windows move does.
bool RenameToNewPath(const char* from, const char* to) {
    char nativeFrom[WorkPathSize];
    char nativeTo[WorkPathSize];
    if (!ToNativePath(from, nativeFrom) || !ToNativePath(to, nativeTo)) return false;
    return renameat2(AT_FDCWD, nativeFrom, AT_FDCWD, nativeTo, RENAME_NOREPLACE) == 0;
}

// Linux always replaces in one step.
ReplaceResult ReplacePath(const char* from, const char* to) {
    char nativeFrom[WorkPathSize];
    char nativeTo[WorkPathSize];
    if (!ToNativePath(from, nativeFrom) || !ToNativePath(to, nativeTo)) return NotReplaced;
    if (IsReadOnlyFile(nativeTo)) return NotReplaced;
    return rename(nativeFrom, nativeTo) == 0 ? Replaced : NotReplaced;
}

void ReplaceStepTaken(int) {}

bool ReadKeptAttributes(const char* path, unsigned* attributes) {
    char native[WorkPathSize];
    struct stat info;
    if (!ToNativePath(path, native) || stat(native, &info) != 0) return false;
    *attributes = info.st_mode & 07777;
    return true;
}

bool WriteKeptAttributes(const char* path, unsigned attributes) {
    char native[WorkPathSize];
    return ToNativePath(path, native) && chmod(native, attributes & 07777) == 0;
}

static void StampFromStat(const struct stat& info, FileStamp* stamp) {
    stamp->volume = static_cast<unsigned long long>(info.st_dev);
    stamp->index = static_cast<unsigned long long>(info.st_ino);
    stamp->size = static_cast<unsigned long long>(info.st_size);
    stamp->writeTime = static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                       static_cast<unsigned long long>(info.st_mtim.tv_nsec);
}

bool ReadStreamStamp(FILE* stream, FileStamp* stamp) {
    struct stat info;
    if (fstat(fileno(stream), &info) != 0) return false;
    StampFromStat(info, stamp);
    return true;
}

bool ReadPathStamp(const char* path, FileStamp* stamp) {
    char native[WorkPathSize];
    struct stat info;
    if (!ToNativePath(path, native) || stat(native, &info) != 0) return false;
    StampFromStat(info, stamp);
    return true;
}
