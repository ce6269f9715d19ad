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

// Asked through here so that a test build can answer as 95/98/Me: GetVersion with the
// top bit set, and a new file number each time one is asked for (those systems give a
// file a new number when it is first opened again).
DWORD GetVersionCall();
BOOL GetFileInformationByHandleCall(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);

// ReplaceFileA (Windows 2000 on) with no flags: replaced takes replacement's bytes and
// keeps what it was beyond them; its old bytes go to backup. Where it is missing it fails
// with ERROR_CALL_NOT_IMPLEMENTED. A test build can be told to fail as the call fails
// (DECRIMP_REPLACE_FILE_ANSWER: an error code, with ":moved" when the failure leaves the
// replaced file under the backup name; "missing"; or "saved", for another program's
// save into replaced just before the call, which then goes on).
BOOL ReplaceFileCall(const char* replaced, const char* replacement, const char* backup);

#endif
