// Calls that not every Windows from 95 on has. Some are missing from older systems'
// DLLs, so they are looked up at run time and the program still loads; others are
// exported by Windows 95/98/Me but only as stubs that fail with
// ERROR_CALL_NOT_IMPLEMENTED. Every use of them goes through here, so a test build
// (DECRIMP_ANSWER_AS_95 or _XP) can answer as those systems would under Wine,
// which implements them all.
#ifndef DECRIMP_NEWER_CALLS_H
#define DECRIMP_NEWER_CALLS_H

#include <windows.h>

// The address of module's export name, or null where this system has none.
FARPROC LookUpCall(const char* module, const char* name);

// The calls Windows 95/98/Me export as stubs; each fails there with
// ERROR_CALL_NOT_IMPLEMENTED, which the callers take as "use the old way".
BOOL MoveFileExCall(const char* from, const char* to, DWORD flags);
HANDLE FindFirstFileWCall(const WCHAR* pattern, WIN32_FIND_DATAW* found);
BOOL FindNextFileWCall(HANDLE search, WIN32_FIND_DATAW* found);

#endif
