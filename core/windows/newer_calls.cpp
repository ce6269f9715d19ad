// The run-time lookups, and the answers of an older system for the test builds.
#include "newer_calls.h"

#include <cstring>

// The test builds answer as the older system would: these lookups find nothing, and
// on 95/98/Me the stubs fail. The shipped program is built without either.
#if defined(DECRIMP_ANSWER_AS_95)
static const char* const MissingCalls[] = {"CompareStringOrdinal", "IsProcessorFeaturePresent",
                                           "RtlUpcaseUnicodeChar"};
static const bool CallsAreStubs = true;
#elif defined(DECRIMP_ANSWER_AS_XP)
static const char* const MissingCalls[] = {"CompareStringOrdinal"};
static const bool CallsAreStubs = false;
#else
static const char* const MissingCalls[] = {""};
static const bool CallsAreStubs = false;
#endif

static bool AnsweredAsMissing(const char* name) {
    for (const char* missing : MissingCalls) {
        if (std::strcmp(missing, name) == 0) return true;
    }
    return false;
}

FARPROC LookUpCall(const char* module, const char* name) {
    if (AnsweredAsMissing(name)) return nullptr;
    const HMODULE loaded = GetModuleHandleA(module);  // kernel32 and ntdll are always loaded
    return loaded == nullptr ? nullptr : GetProcAddress(loaded, name);
}

// On 95/98/Me these are exported, but only as stubs that always fail.
static bool AnsweredAsStub() {
    if (CallsAreStubs) SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return CallsAreStubs;
}

BOOL MoveFileExCall(const char* from, const char* to, DWORD flags) {
    return AnsweredAsStub() ? FALSE : MoveFileExA(from, to, flags);
}

HANDLE FindFirstFileWCall(const WCHAR* pattern, WIN32_FIND_DATAW* found) {
    return AnsweredAsStub() ? INVALID_HANDLE_VALUE : FindFirstFileW(pattern, found);
}

BOOL FindNextFileWCall(HANDLE search, WIN32_FIND_DATAW* found) {
    return AnsweredAsStub() ? FALSE : FindNextFileW(search, found);
}
