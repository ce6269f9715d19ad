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

static int OpenFlags(const char* mode) {
    if (mode[0] == 'w') return O_WRONLY | O_CREAT | O_TRUNC;
    return strchr(mode, '+') != nullptr ? O_RDWR : O_RDONLY;
}

// Opened without waiting, so that a pipe (FIFO) with no writer does not hang here and
// IsDiskFile can refuse it, as Windows refuses a pipe; then reads wait as on a file.
FILE* OpenSharedFile(const char* path, const char* mode) {
    char native[WorkPathSize];
    if (!ToNativePath(path, native)) return nullptr;
    if (OpensForWriting(mode) && IsReadOnlyFile(native)) {
        errno = EACCES;
        return nullptr;
    }
    const int descriptor = open(native, OpenFlags(mode) | O_NONBLOCK, 0666);
    if (descriptor == -1) return nullptr;
    const int flags = fcntl(descriptor, F_GETFL);
    FILE* stream = nullptr;
    if (flags != -1 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != -1) stream = fdopen(descriptor, mode);
    if (stream == nullptr) close(descriptor);
    return stream;
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
bool RenameToNewPath(const char* from, const char* to, bool* exists) {
    char nativeFrom[WorkPathSize];
    char nativeTo[WorkPathSize];
    if (!ToNativePath(from, nativeFrom) || !ToNativePath(to, nativeTo)) return false;
    if (renameat2(AT_FDCWD, nativeFrom, AT_FDCWD, nativeTo, RENAME_NOREPLACE) == 0) return true;
    if (exists) *exists = errno == EEXIST;
    return false;
}

bool IsLinkPath(const char* path) {
    char native[WorkPathSize];
    struct stat info;
    return ToNativePath(path, native) && lstat(native, &info) == 0 && S_ISLNK(info.st_mode);
}

// Linux always replaces in one step, and keeps nothing of to: its permission bits are
// set again afterwards (WriteKeptAttributes), and the backup stays empty.
ReplaceResult ReplacePath(const char* from, const char* to, const char*) {
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

static unsigned long long Nanoseconds(const struct timespec& time) {
    return static_cast<unsigned long long>(time.tv_sec) * 1000000000ull + static_cast<unsigned long long>(time.tv_nsec);
}

static void StampFromStat(const struct stat& info, FileStamp* stamp) {
    stamp->volume = static_cast<unsigned long long>(info.st_dev);
    stamp->index = static_cast<unsigned long long>(info.st_ino);
    stamp->indexHigh = 0;
    stamp->identified = IsUsableFileNumber(0, stamp->index);
    stamp->size = static_cast<unsigned long long>(info.st_size);
    stamp->writeTime = Nanoseconds(info.st_mtim);
    stamp->changeTime = Nanoseconds(info.st_ctim);
    stamp->links = static_cast<unsigned long long>(info.st_nlink);
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
