// Names and paths in the ANSI code page in force (the system's, or UTF-8 with the
// manifest), compared and counted in UTF-16, as the file system itself does.
#include <windows.h>

#include <cstring>

#include "bounded_copy.h"
#include "newer_calls.h"
#include "platform.h"
#include "state.h"

// No code page turns a string into more UTF-16 units than it has bytes.
static const int WideNameSize = WorkPathSize;

// Converted as the ANSI file calls convert it: bytes the code page cannot read
// become the same replacement character here as in the name the file system gets.
static bool ToWide(const char* name, WCHAR* wide) {
    return MultiByteToWideChar(CP_ACP, 0, name, -1, wide, WideNameSize) > 0;
}

typedef int(WINAPI* CompareOrdinalCall)(const WCHAR*, int, const WCHAR*, int, BOOL);
typedef WCHAR(WINAPI* UpcaseCall)(WCHAR);
typedef DWORD(WINAPI* LongPathCall)(const char*, char*, DWORD);

// Looked up once, on first use. (Not as function statics: their guards would pull in
// thread calls that the oldest systems lack.)
static CompareOrdinalCall compareOrdinal;  // Vista and later: names compared in one call
static UpcaseCall upcaseUnit;              // NT 4 to XP: ntdll's upcase table, one unit at a time
static LongPathCall longPath;              // 98 and 2000 on
static bool nameCallsLookedUp;

static void LookUpNameCalls() {
    if (nameCallsLookedUp) return;
    // Through void (*)(): the one pointer type GCC lets stand for every other.
    compareOrdinal = reinterpret_cast<CompareOrdinalCall>(
        reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "CompareStringOrdinal")));
    upcaseUnit = reinterpret_cast<UpcaseCall>(
        reinterpret_cast<void (*)()>(LookUpCall("ntdll.dll", "RtlUpcaseUnicodeChar")));
    longPath = reinterpret_cast<LongPathCall>(
        reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "GetLongPathNameA")));
    nameCallsLookedUp = true;
}

// As the file system takes them: every UTF-16 unit upcased by the system's table and
// nothing folded linguistically (to it "ß" is not "SS"). Without either call (95/98/Me,
// which never get here with a name of their own) only equal units match.
static bool SameWideName(const WCHAR* a, const WCHAR* b) {
    LookUpNameCalls();
    if (compareOrdinal != nullptr) return compareOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
    for (size_t i = 0;; ++i) {
        const bool same = upcaseUnit != nullptr ? upcaseUnit(a[i]) == upcaseUnit(b[i]) : a[i] == b[i];
        if (!same) return false;
        if (a[i] == L'\0') return true;
    }
}

// 95/98/Me have neither: their file system maps names through the ANSI code page, so
// the names are upcased in it, by the call that knows its double-byte characters.
static bool SameNarrowName(const char* a, const char* b) {
    char upperA[WorkPathSize];
    char upperB[WorkPathSize];
    const size_t lengthA = std::strlen(a);
    const size_t lengthB = std::strlen(b);
    if (lengthA != lengthB) return false;  // upcasing in place keeps every length
    if (lengthA >= WorkPathSize) return std::strcmp(a, b) == 0;
    std::memcpy(upperA, a, lengthA + 1);
    std::memcpy(upperB, b, lengthB + 1);
    CharUpperA(upperA);
    CharUpperA(upperB);
    return std::strcmp(upperA, upperB) == 0;
}

// One spelling of a path, by the system's own rules, as its file calls resolve it:
// "." and "..", "/" for "\\", a dot or space that ends a part. A relative path is
// resolved against the current folder, the same for both names.
static const char* Resolved(const char* path, char* resolved) {
    const DWORD length = GetFullPathNameA(path, WorkPathSize, resolved, nullptr);
    return length > 0 && length < WorkPathSize ? resolved : path;
}

bool SameFileName(const char* a, const char* b) {
    char resolvedA[WorkPathSize];
    char resolvedB[WorkPathSize];
    a = Resolved(a, resolvedA);
    b = Resolved(b, resolvedB);
    LookUpNameCalls();
    if (compareOrdinal == nullptr && upcaseUnit == nullptr) return SameNarrowName(a, b);
    WCHAR wideA[WideNameSize];
    WCHAR wideB[WideNameSize];
    if (!ToWide(a, wideA) || !ToWide(b, wideB)) return std::strcmp(a, b) == 0;
    return SameWideName(wideA, wideB);
}

// On 95 and NT 4 the folder's entry found for the path tells its long name. A pattern
// would find another file: no code page's character holds a byte '*' or '?' (their
// second bytes start at 0x40), so a path with one is not asked about.
bool ReadLongName(const char* path, char* longName) {
    if (std::strpbrk(path, "*?") != nullptr) return false;
    LookUpNameCalls();
    if (longPath != nullptr) {
        char found[WorkPathSize];
        const DWORD length = longPath(path, found, WorkPathSize);
        return length > 0 && length < WorkPathSize &&
               BoundedCopy(longName, found + NameStart(found), NameBufferSize) != nullptr;
    }
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return BoundedCopy(longName, entry.cFileName, NameBufferSize) != nullptr;
}

// Only double-byte code pages (932, 936, 949, 950) have trail bytes that look like
// ASCII, 0x5C among them; in UTF-8 and single-byte code pages every 0x5C is a backslash.
static bool CodePageHasTrailBytes() {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

// The index of the first separator (or the terminator) at or after from, stepping
// over each double-byte character whole.
static size_t NextSeparator(const char* path, size_t from, bool doubleByte) {
    size_t i = from;
    while (path[i] != '\0' && path[i] != '\\' && path[i] != '/') {
        i += doubleByte && IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0' ? 2 : 1;
    }
    return i;
}

size_t NameStart(const char* path) {
    const bool doubleByte = CodePageHasTrailBytes();
    size_t start = 0;
    for (size_t end = NextSeparator(path, 0, doubleByte); path[end] != '\0';
         end = NextSeparator(path, start, doubleByte)) {
        start = end + 1;
    }
    return start;
}

// A drive ("C:"), "." and ".." are not entries of a folder.
template <typename Unit>
static bool IsFolderEntry(const Unit* part, size_t length) {
    const bool drive = length > 0 && part[length - 1] == ':';
    const bool dots = (length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.');
    return length > 0 && !drive && !dots;
}

// In UTF-16 no unit inside a character looks like a separator, a dot or a space.
static size_t NextWideSeparator(const WCHAR* path, size_t from) {
    size_t i = from;
    while (path[i] != L'\0' && path[i] != L'\\' && path[i] != L'/') ++i;
    return i;
}

// As the file calls see the name, in UTF-16. A name that cannot be read at all is not
// opened either.
bool PathPartEndsInDotOrSpace(const char* path) {
    WCHAR wide[WideNameSize];
    if (!ToWide(path, wide)) return true;
    for (size_t start = 0;;) {
        const size_t end = NextWideSeparator(wide, start);
        if (IsFolderEntry(wide + start, end - start) && (wide[end - 1] == L'.' || wide[end - 1] == L' '))
            return true;
        if (wide[end] == L'\0') return false;
        start = end + 1;
    }
}

// The ANSI calls take paths of MAX_PATH UTF-16 units, the terminator included.
bool PathFitsPlatform(const char* path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    return units > 0 && units <= MAX_PATH;
}

// True when other, handed back through the code page as the Open dialog does (best
// fit), reads as name.
static bool ComesBackAs(const WCHAR* other, const WCHAR* name) {
    char narrow[WideNameSize * 2];  // a double-byte code page takes two bytes a character
    if (WideCharToMultiByte(CP_ACP, 0, other, -1, narrow, sizeof narrow, nullptr, nullptr) == 0)
        return false;
    WCHAR back[WideNameSize];
    return ToWide(narrow, back) && SameWideName(back, name);
}

// count units of from, then the terminator; to holds at least count + 1.
static void CopyUnits(WCHAR* to, const WCHAR* from, size_t count) {
    std::memcpy(to, from, count * sizeof(WCHAR));
    to[count] = L'\0';
}

enum LookAlike { NoLookAlike, LookAlikeFound, WideCallsStubbed };

// Whether another entry of the folder comes back as the entry path[start, end): name
// and folder alike may have been stood in for.
static LookAlike FindWideLookAlike(const WCHAR* path, size_t start, size_t end) {
    WCHAR name[WideNameSize];
    WCHAR pattern[WideNameSize + 2];
    CopyUnits(name, path + start, end - start);
    CopyUnits(pattern, path, start);
    CopyUnits(pattern + start, L"*", 1);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileWCall(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)  // nothing there to take it for, or no W calls at all
        return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? WideCallsStubbed : NoLookAlike;
    LookAlike answer = NoLookAlike;
    do {
        if (!SameWideName(found.cFileName, name) && ComesBackAs(found.cFileName, name)) answer = LookAlikeFound;
    } while (answer == NoLookAlike && FindNextFileWCall(search, &found));
    FindClose(search);
    return answer;
}

// 95/98/Me list a folder only through the code page, as their Open dialog does: the
// entry is mistakable when a second entry comes back under its name.
static LookAlike FindNarrowLookAlike(const char* path, size_t start, size_t end) {
    char name[WorkPathSize];
    char pattern[WorkPathSize + 2];
    std::memcpy(name, path + start, end - start);
    name[end - start] = '\0';
    std::memcpy(pattern, path, start);
    std::memcpy(pattern + start, "*", 2);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return NoLookAlike;
    int comingBack = 0;
    do {
        if (SameFileName(found.cFileName, name) || SameFileName(found.cAlternateFileName, name)) ++comingBack;
    } while (comingBack < 2 && FindNextFileA(search, &found));
    FindClose(search);
    return comingBack < 2 ? NoLookAlike : LookAlikeFound;
}

static LookAlike FindWideLookAlikeOnPath(const WCHAR* wide) {
    for (size_t start = 0;;) {
        const size_t end = NextWideSeparator(wide, start);
        if (IsFolderEntry(wide + start, end - start)) {
            const LookAlike answer = FindWideLookAlike(wide, start, end);
            if (answer != NoLookAlike) return answer;
        }
        if (wide[end] == L'\0') return NoLookAlike;
        start = end + 1;
    }
}

static LookAlike FindNarrowLookAlikeOnPath(const char* path) {
    const bool doubleByte = CodePageHasTrailBytes();
    for (size_t start = 0;;) {
        const size_t end = NextSeparator(path, start, doubleByte);
        if (IsFolderEntry(path + start, end - start) && FindNarrowLookAlike(path, start, end) != NoLookAlike)
            return LookAlikeFound;
        if (path[end] == '\0') return NoLookAlike;
        start = end + 1;
    }
}

// With the UTF-8 code page every name has bytes of its own. Under any other, each
// folder on the path and the file itself are checked against their neighbours, read
// by their true (UTF-16) names and put through the code page; where the W calls are
// only stubs, as the code page hands them back.
bool NameIsUnmistakable(const char* path) {
    if (GetACP() == CP_UTF8) return true;
    if (std::strlen(path) >= WorkPathSize) return false;
    WCHAR wide[WideNameSize];
    if (!ToWide(path, wide)) return false;
    LookAlike answer = FindWideLookAlikeOnPath(wide);
    if (answer == WideCallsStubbed) answer = FindNarrowLookAlikeOnPath(path);
    return answer == NoLookAlike;
}
