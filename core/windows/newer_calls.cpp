// The run-time lookups, and the answers of an older system for the test builds.
#include "newer_calls.h"

#include <cstdlib>
#include <cstring>

#include "platform.h"

// The test builds answer as the older system would: these lookups find nothing, and
// on 95/98/Me the stubs fail. The shipped program is built without either.
#if defined(DECRIMP_ANSWER_AS_95)
static const char* const MissingCalls[] = {"CompareStringOrdinal", "IsProcessorFeaturePresent",
                                           "RtlUpcaseUnicodeChar", "GetFileInformationByHandleEx",
                                           "NtQueryInformationFile", "ReplaceFileA", "GetLongPathNameA",
                                           "GetFinalPathNameByHandleA"};
static const bool CallsAreStubs = true;
#elif defined(DECRIMP_ANSWER_AS_XP)
static const char* const MissingCalls[] = {"CompareStringOrdinal", "GetFileInformationByHandleEx",
                                           "GetFinalPathNameByHandleA"};
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

// Windows 95 is version 4.0 with the top bit set, as 98 and Me are.
DWORD GetVersionCall() {
    return CallsAreStubs ? 0xC0000004 : GetVersion();
}

// Harsher than 95 itself, which keeps a number while any handle holds the file open:
// here no two answers share a number, so nothing may rest on them.
BOOL GetFileInformationByHandleCall(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
    const BOOL answered = GetFileInformationByHandle(file, information);
    if (answered && CallsAreStubs) {
        static DWORD nextNumber = 1;
        information->nFileIndexHigh = 0x95;
        information->nFileIndexLow = nextNumber++;
    }
    return answered;
}

typedef BOOL(WINAPI* ReplaceFileAnsi)(const char*, const char*, const char*, DWORD, void*, void*);
static ReplaceFileAnsi replaceFile;
static bool replaceFileLookedUp;

#if defined(DECRIMP_ANSWER_AS_95) || defined(DECRIMP_ANSWER_AS_XP)
// Another program's save just before the call: "saved" added at the end of replaced.
static void SaveAsAnotherProgram(const char* replaced) {
    HANDLE file = CreateFileA(replaced, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    (void)WriteFile(file, "saved", 5, &written, nullptr);
    CloseHandle(file);
}

// The failure a test asked for, with what it leaves moved; false when none was asked
// for, or when the call is to go on after another program's save ("saved").
static bool AnswerAsTold(const char* replaced, const char* backup, BOOL* answer) {
    char told[32];
    const DWORD length = GetEnvironmentVariableA("DECRIMP_REPLACE_FILE_ANSWER", told, sizeof told);
    if (length == 0 || length >= sizeof told) return false;
    if (std::strcmp(told, "saved") == 0) {
        SaveAsAnotherProgram(replaced);
        return false;
    }
    *answer = FALSE;
    if (std::strcmp(told, "missing") == 0) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return true;
    }
    if (std::strstr(told, ":moved") != nullptr) (void)MoveFileExA(replaced, backup, MOVEFILE_REPLACE_EXISTING);
    SetLastError(static_cast<DWORD>(std::atoi(told)));
    return true;
}
#else
static bool AnswerAsTold(const char*, const char*, BOOL*) {
    return false;
}
#endif

BOOL ReplaceFileCall(const char* replaced, const char* replacement, const char* backup) {
    if (!replaceFileLookedUp) {
        replaceFile = reinterpret_cast<ReplaceFileAnsi>(
            reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "ReplaceFileA")));
        replaceFileLookedUp = true;
    }
    BOOL answer = FALSE;
    if (AnswerAsTold(replaced, backup, &answer)) return answer;
    if (replaceFile == nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return replaceFile(replaced, replacement, backup, 0, nullptr, nullptr);
}

// Only the build that answers as Windows 95 replaces in steps, and only it can be told
// (DECRIMP_POWER_CUT_AFTER_STEP) to end after one: at once, nothing closed or cleaned up,
// with exit code 95 so that a test tells this stop from a crash.
#if defined(DECRIMP_ANSWER_AS_95)
void ReplaceStepTaken(int step) {
    char told[8];
    const DWORD length = GetEnvironmentVariableA("DECRIMP_POWER_CUT_AFTER_STEP", told, sizeof told);
    if (length > 0 && length < sizeof told && std::atoi(told) == step) TerminateProcess(GetCurrentProcess(), 95);
}
#else
void ReplaceStepTaken(int) {}
#endif
