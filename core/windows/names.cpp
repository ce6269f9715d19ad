// Names and paths in the ANSI code page in force (the system's, or UTF-8 with the
// manifest), compared and counted in UTF-16, as the file system itself does.
#include <windows.h>

#include <cstring>

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

bool SameFileName(const char* a, const char* b) {
    WCHAR wideA[WideNameSize];
    WCHAR wideB[WideNameSize];
    if (!ToWide(a, wideA) || !ToWide(b, wideB)) return std::strcmp(a, b) == 0;
    return CompareStringOrdinal(wideA, -1, wideB, -1, TRUE) == CSTR_EQUAL;
}

// Only double-byte code pages (932, 936, 949, 950) have trail bytes that look like
// ASCII, 0x5C among them; in UTF-8 and single-byte code pages every 0x5C is a backslash.
static bool CodePageHasTrailBytes() {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

size_t NameStart(const char* path) {
    const bool doubleByte = CodePageHasTrailBytes();
    size_t start = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (doubleByte && IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0')
            ++i;
        else if (path[i] == '\\' || path[i] == '/')
            start = i + 1;
    }
    return start;
}

// In UTF-16, as the file calls see the name: no unit of a character looks like a
// separator, a dot or a space. A name that cannot be read at all is not opened either.
bool PathPartEndsInDotOrSpace(const char* path) {
    WCHAR wide[WideNameSize];
    if (!ToWide(path, wide)) return true;
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        const WCHAR c = wide[i];
        if (c != L'\0' && c != L'\\' && c != L'/') continue;
        const size_t length = i - start;
        const bool dots = (length == 1 && wide[start] == L'.') ||
                          (length == 2 && wide[start] == L'.' && wide[start + 1] == L'.');
        if (length > 0 && !dots && (wide[i - 1] == L'.' || wide[i - 1] == L' ')) return true;
        if (c == L'\0') return false;
        start = i + 1;
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
    return ToWide(narrow, back) && CompareStringOrdinal(back, -1, name, -1, TRUE) == CSTR_EQUAL;
}

// Whether no other entry of the folder before it comes back as the entry
// path[start, end): name and folder alike may have been stood in for.
static bool EntryIsUnmistakable(const WCHAR* path, size_t start, size_t end) {
    WCHAR name[WideNameSize];
    WCHAR pattern[WideNameSize + 2];
    lstrcpynW(name, path + start, static_cast<int>(end - start + 1));
    lstrcpynW(pattern, path, static_cast<int>(start + 1));
    lstrcpynW(pattern + start, L"*", 2);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileWCall(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;  // nothing there to take it for
    bool unmistakable = true;
    do {
        const bool itself = CompareStringOrdinal(found.cFileName, -1, name, -1, TRUE) == CSTR_EQUAL;
        if (!itself && ComesBackAs(found.cFileName, name)) unmistakable = false;
    } while (unmistakable && FindNextFileWCall(search, &found));
    FindClose(search);
    return unmistakable;
}

// With the UTF-8 code page every name has bytes of its own. Under any other, each
// folder on the path and the file itself are checked against their neighbours, read
// by their true (UTF-16) names and put through the code page.
bool NameIsUnmistakable(const char* path) {
    if (GetACP() == CP_UTF8) return true;
    WCHAR wide[WideNameSize];
    if (!ToWide(path, wide)) return false;
    size_t start = 0;  // UTF-16 has no unit inside a character that looks like a separator
    for (size_t i = 0;; ++i) {
        const WCHAR c = wide[i];
        if (c != L'\0' && c != L'\\' && c != L'/') continue;
        const bool drive = i > start && wide[i - 1] == L':';
        const bool dots = (i - start == 1 && wide[start] == L'.') ||
                          (i - start == 2 && wide[start] == L'.' && wide[start + 1] == L'.');
        if (i > start && !drive && !dots && !EntryIsUnmistakable(wide, start, i)) return false;
        if (c == L'\0') return true;
        start = i + 1;
    }
}
