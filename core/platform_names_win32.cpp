// Names and paths in the ANSI code page in force (the system's, or UTF-8 with the
// manifest), compared and counted in UTF-16, as the file system itself does.
#include <windows.h>

#include <cstring>

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

// The ANSI calls take paths of MAX_PATH UTF-16 units, the terminator included.
bool PathFitsPlatform(const char* path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    return units > 0 && units <= MAX_PATH;
}
