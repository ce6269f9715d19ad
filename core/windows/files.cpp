// The Windows file calls of the core: deny-none sharing, raw bytes.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bounded_copy.h"
#include "newer_calls.h"
#include "platform.h"
#include "state.h"

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

// Wine's ReplaceFileA takes full paths only; Windows' takes both.
static bool PutFullPath(const char* path, char* full) {
    const DWORD length = GetFullPathNameA(path, WorkPathSize, full, nullptr);
    return length > 0 && length < WorkPathSize;
}

// Where ReplaceFileA cannot do what it asks (some network shares), it fails with one of
// these before anything moved; the one-step rename then does the job, keeping nothing.
static bool CannotReplaceHere(DWORD error) {
    return error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER;
}

// ReplaceFileA keeps the file: to's security, encryption, compression, streams, creation
// time and short name pass to the repair as it takes to's name. Some of its failures
// leave to's bytes under the backup name (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, and Wine's
// ERROR_UNABLE_TO_MOVE_REPLACEMENT); the caller finds them there. False when the call
// is missing or cannot work here, and nothing moved.
static bool ReplaceKeepingTheFile(const char* from, const char* to, const char* backup, ReplaceResult* result) {
    char fullFrom[WorkPathSize];
    char fullTo[WorkPathSize];
    char fullBackup[WorkPathSize];
    if (!PutFullPath(from, fullFrom) || !PutFullPath(to, fullTo) || !PutFullPath(backup, fullBackup)) return false;
    if (ReplaceFileCall(fullTo, fullFrom, fullBackup) != 0) {
        *result = Replaced;
        return true;
    }
    *result = NotReplaced;
    return !CannotReplaceHere(GetLastError());
}

// Read-only is asked first, so the replace in steps is never tried on such a file:
// Windows renames a read-only file.
ReplaceResult ReplacePath(const char* from, const char* to, const char* backup) {
    if (IsReadOnlyFile(to)) return NotReplaced;
    ReplaceResult kept = NotReplaced;
    if (backup != nullptr && ReplaceKeepingTheFile(from, to, backup, &kept)) return kept;
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

// The calls behind a file's stamp that not every Windows has, looked up once. (Not as
// function statics: their guards would pull in thread calls the oldest systems lack.)
struct FileIdInformation {  // FILE_ID_INFO, Windows 8 and later
    ULONGLONG volume;
    BYTE id[16];
};
struct BasicInformation {  // FILE_BASIC_INFORMATION
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    ULONG attributes;
};
struct IoStatus {  // IO_STATUS_BLOCK
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
static const int FileIdInfoClass = 18;          // FILE_INFO_BY_HANDLE_CLASS's FileIdInfo
static const int FileBasicInformationClass = 4;  // FILE_INFORMATION_CLASS's FileBasicInformation
typedef BOOL(WINAPI* InformationExCall)(HANDLE, int, void*, DWORD);
typedef LONG(WINAPI* QueryInformationCall)(HANDLE, IoStatus*, void*, ULONG, int);
static InformationExCall informationEx;  // Windows 8 on: 128-bit file numbers (ReFS)
static QueryInformationCall queryInformation;  // NT 4 on: the time of the last change of any kind
static bool numbersKept;  // 95/98/Me may give a file a new number each time it is first opened
static bool stampCallsLookedUp;

static void LookUpStampCalls() {
    if (stampCallsLookedUp) return;
    informationEx = reinterpret_cast<InformationExCall>(
        reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "GetFileInformationByHandleEx")));
    queryInformation = reinterpret_cast<QueryInformationCall>(
        reinterpret_cast<void (*)()>(LookUpCall("ntdll.dll", "NtQueryInformationFile")));
    numbersKept = (GetVersionCall() & 0x80000000) == 0;  // only 95/98/Me set the top bit
    stampCallsLookedUp = true;
}

static unsigned long long Join(DWORD high, DWORD low) {
    return (static_cast<unsigned long long>(high) << 32) | low;
}

static unsigned long long JoinBytes(const BYTE* bytes) {
    unsigned long long joined = 0;
    for (int i = 7; i >= 0; --i) joined = (joined << 8) | bytes[i];
    return joined;
}

// Where the system has a 128-bit number, it is the file's own; the 64-bit one may be
// derived from it and shared by two files.
static void ReadWideNumber(HANDLE handle, FileStamp* stamp) {
    FileIdInformation wide;
    if (informationEx == nullptr || informationEx(handle, FileIdInfoClass, &wide, sizeof wide) == 0) return;
    stamp->volume = wide.volume;
    stamp->index = JoinBytes(wide.id);
    stamp->indexHigh = JoinBytes(wide.id + 8);
}

static unsigned long long ReadChangeTime(HANDLE handle) {
    BasicInformation basic;
    IoStatus status;
    if (queryInformation == nullptr ||
        queryInformation(handle, &status, &basic, sizeof basic, FileBasicInformationClass) < 0)
        return 0;
    return static_cast<unsigned long long>(basic.changeTime.QuadPart);
}

static bool StampFromHandle(HANDLE handle, FileStamp* stamp) {
    LookUpStampCalls();
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandleCall(handle, &info) == 0) return false;
    stamp->volume = info.dwVolumeSerialNumber;
    stamp->index = Join(info.nFileIndexHigh, info.nFileIndexLow);
    stamp->indexHigh = 0;
    ReadWideNumber(handle, stamp);
    stamp->identified = numbersKept && IsUsableFileNumber(stamp->indexHigh, stamp->index);
    stamp->size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    stamp->writeTime = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    stamp->changeTime = ReadChangeTime(handle);
    stamp->links = info.nNumberOfLinks;
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
bool RenameToNewPath(const char* from, const char* to, bool* exists) {
    if (MoveFileA(from, to) != 0) return true;
    const DWORD error = GetLastError();
    if (exists) *exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    return false;
}

typedef DWORD(WINAPI* FinalPathCall)(HANDLE, char*, DWORD, DWORD);
static FinalPathCall finalPathCall;  // Vista and later
static bool finalPathLookedUp;

// The path the file system reaches path by, every link on the way followed; false where
// the system cannot tell. No access asked for, as for a stamp.
static bool ReadFinalPath(const char* path, char* finalPath) {
    if (!finalPathLookedUp) {
        finalPathCall = reinterpret_cast<FinalPathCall>(
            reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "GetFinalPathNameByHandleA")));
        finalPathLookedUp = true;
    }
    if (finalPathCall == nullptr) return false;
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD length = finalPathCall(handle, finalPath, WorkPathSize, 0);  // normalized, with its drive
    CloseHandle(handle);
    return length > 0 && length < WorkPathSize;
}

// Wine shows a Linux symbolic link as a plain file, without the reparse mark, and its
// rename moves the file the link leads to. The final path tells: a file that is no link
// ends where its folder ends, under its own long name. (A drive letter, a mapped folder
// or a link on the way to the folder changes both paths alike.)
static bool LeadsElsewhere(const char* path) {
    char full[WorkPathSize];
    if (!PutFullPath(path, full)) return false;
    char folder[WorkPathSize];
    const size_t nameStart = NameStart(full);
    std::memcpy(folder, full, nameStart);
    folder[nameStart] = '\0';
    char finalFile[WorkPathSize];
    char expected[WorkPathSize];
    if (!ReadFinalPath(full, finalFile) || !ReadFinalPath(folder, expected)) return false;
    char name[NameBufferSize];
    if (!ReadLongName(full, name) && !BoundedCopy(name, full + nameStart, sizeof name)) return false;
    const size_t folderLength = std::strlen(expected);
    const bool endsInSeparator = NameStart(expected) == folderLength;  // a drive's root
    const int written = std::snprintf(expected + folderLength, sizeof expected - folderLength, "%s%s",
                                      endsInSeparator ? "" : "\\", name);
    if (written < 0 || static_cast<size_t>(written) >= sizeof expected - folderLength) return false;
    return !SameFileName(expected, finalFile);
}

// Windows before 2000 has no reparse points, and never sets the mark.
bool IsLinkPath(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || LeadsElsewhere(path);
}
