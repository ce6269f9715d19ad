// The few platform services the conversion core needs. Windows gets the real
// calls; the native build gets a stand-in that behaves like Windows where it matters.
#ifndef DECRIMP_PLATFORM_H
#define DECRIMP_PLATFORM_H

#include <cstddef>
#include <cstdio>

typedef void* OwnerWindow;  // an HWND, kept opaque so the core needs no <windows.h>

const unsigned BoxError = 0x10;        // MB_ICONERROR
const unsigned BoxWarning = 0x30;      // MB_ICONWARNING
const unsigned BoxInformation = 0x40;  // MB_ICONINFORMATION

// Modal message box with an OK button.
void ShowMessage(OwnerWindow owner, const char* text, const char* caption, unsigned icon);
void RestoreArrowCursor();

// Opens a file as raw bytes in deny-none sharing; mode is "rb", "r+b" or "wb".
// "wb" creates or truncates; "r+b" and "wb" fail on a read-only file as Windows does.
FILE* OpenSharedFile(const char* path, const char* mode);
// Creates path for writing, raw bytes, deny-none sharing, only if no file has that
// name yet: a file already there is never truncated. *exists tells why it failed.
FILE* CreateNewFile(const char* path, bool* exists);
// Puts what was written to stream (already flushed from the C library) on stable
// storage, so that it survives a power cut once the call returns.
bool FlushToDisk(FILE* stream);
// True when stream reads a file kept on a disk (or, in the native stand-in, a folder),
// not a device such as NUL or COM1, a pipe or a socket.
bool IsDiskFile(FILE* stream);
// Fails, as on Windows, on a read-only file.
bool DeletePath(const char* path);
// Gives from the name to, which must be free: a file already called to is never
// replaced, whoever made it meanwhile. *exists tells whether that is why it failed.
bool RenameToNewPath(const char* from, const char* to, bool* exists);
// True when path is a symbolic link or another reparse point, not the file itself:
// a file put in its place would replace the link, and the file it leads to would stay.
bool IsLinkPath(const char* path);
// Puts from in to's place in one step: to ends either replaced whole or as it was,
// and from is gone only on success. Fails on a read-only to, as Windows does. Where
// the system can (ReplaceFileA, Windows 2000 on), to stays the same file beyond its
// bytes: permissions and owner, encryption, compression, named streams, creation time,
// short name. On the way to's old bytes move to backup, an empty file this run made
// beside to for the purpose (null when there is none: then nothing more is kept); a
// failure may leave them there, with to's name free.
// NoOneStepReplace: this system has no such call (Windows 95/98/Me export it but do
// not implement it); nothing was touched, and to is not read-only.
enum ReplaceResult { Replaced, NotReplaced, NoOneStepReplace };
ReplaceResult ReplacePath(const char* from, const char* to, const char* backup);
// Called after each step of a replace made in steps (1 to 3). The program handed out
// does nothing here; a test build can end the process at a step, as a power cut would.
void ReplaceStepTaken(int step);
// The marks a repaired file keeps from the file it replaces (hidden and system on
// Windows; the permission bits in the native stand-in). Writing them also sets the
// archive mark on Windows: the file has changed since the last backup.
bool ReadKeptAttributes(const char* path, unsigned* attributes);
bool WriteKeptAttributes(const char* path, unsigned attributes);

// What tells one file from every other (the volume and the file's number on it) and
// whether it changed (size, last write time, and the time of any change at all, which
// a save that keeps the size and puts the date back still moves), as the file system
// keeps them.
struct FileStamp {
    bool identified;  // the number is the file's own: not 0 or all ones, and kept by the system
    unsigned long long volume;
    unsigned long long index;
    unsigned long long indexHigh;  // where the system gives 128-bit numbers
    unsigned long long size;
    unsigned long long writeTime;
    unsigned long long changeTime;  // 0 where the system keeps none (Windows 95/98/Me)
    unsigned long long links;       // the names the file has; 1 where the system keeps no count
};
// False when the system cannot tell (no such file, not a file on a disk).
bool ReadPathStamp(const char* path, FileStamp* stamp);
bool ReadStreamStamp(FILE* stream, FileStamp* stamp);
// A redirector or a file system without serial numbers gives the volume 0: that is no
// volume's identity, so volumes are compared only where both stamps have one.
inline bool SameVolume(const FileStamp& a, const FileStamp& b) {
    return a.volume == 0 || b.volume == 0 || a.volume == b.volume;
}
// True when the two stamps are of one file. File systems that derive their numbers may
// give one number to two files, so size and last write time must agree as well.
inline bool SameFileIdentity(const FileStamp& a, const FileStamp& b) {
    return a.identified && b.identified && SameVolume(a, b) && a.index == b.index &&
           a.indexHigh == b.indexHigh && a.size == b.size && a.writeTime == b.writeTime;
}
// True when nothing changed in the file between the two stamps. Where either gives no
// number of its own, size and times decide alone.
inline bool SameFileUnchanged(const FileStamp& a, const FileStamp& b) {
    const bool sameNumber = !a.identified || !b.identified ||
                            (SameVolume(a, b) && a.index == b.index && a.indexHigh == b.indexHigh);
    return sameNumber && a.size == b.size && a.writeTime == b.writeTime && a.changeTime == b.changeTime;
}
// A file system without numbers of its own may give every file 0 (or all ones).
inline bool IsUsableFileNumber(unsigned long long high, unsigned long long low) {
    return !(high == 0 && low == 0) && !(high == ~0ull && low == ~0ull) && !(high == 0 && low == ~0ull);
}

// True when the system saves the SSE registers with the rest of a thread's state, so
// the repair's wide paths may use them. A CPU that has SSE2 is not enough: Windows 95
// and NT 4 never turn that state on, and there the first SSE2 instruction faults.
bool SystemSavesVectorState();

// Names and paths as the file system sees them.
// Names are bytes in the process code page; only the platform knows where a
// character ends, so every question about separators and case is asked here.

// True when the file system takes the two names (bare, or relative like "sub\a.mp3")
// as one file: case-insensitive per character, never one byte of a character alone.
bool SameFileName(const char* a, const char* b);
// Index just after the last separator in path, 0 when it has none; a trail byte
// of a double-byte character is never taken for one.
size_t NameStart(const char* path);
// True when the file itself or a folder on path has a name ending in a dot or a space
// (names from Linux, macOS or a network share): the ANSI file calls drop those, so
// path would reach another file than the one it names. "." and ".." pass.
bool PathPartEndsInDotOrSpace(const char* path);
// Fills longName (NameBufferSize characters) with the name of the file at path as its
// folder stores it: the long name where path ends in an 8.3 alias (LONG~AA2.MP3).
// False when the system cannot tell; longName is then unset.
bool ReadLongName(const char* path, char* longName);
// True when the ANSI file calls take path: within their limit, counted as the system counts.
bool PathFitsPlatform(const char* path);
// False when another file in path's folder would come back from the Open dialog under
// the same name: a code page that cannot hold a name gets a best-fit stand-in for it
// (full-width "ｂｅｓｔ" comes back as "best"), and path may then not be the file picked.
bool NameIsUnmistakable(const char* path);

#endif
