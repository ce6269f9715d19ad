// Starting, finding and stopping the program under test.
#include <cstring>

#include "driver.h"
#include "under_test.h"

const char* ProgramPath() {
    // The build gives a Unix path; Wine's drive Z: is the Unix root.
    static char path[MAX_PATH];
    if (path[0] == '\0') {
        const char* built = ProgramUnderTest;
        int at = 0;
        if (built[0] == '/') {
            path[at++] = 'Z';
            path[at++] = ':';
        }
        for (int i = 0; built[i] != '\0' && at < MAX_PATH - 1; i++)
            path[at++] = built[i] == '/' ? '\\' : built[i];
        path[at] = '\0';
    }
    return path;
}

ProgramGuard::~ProgramGuard() { StopProgram(&program); }

static HWND FindMainWindowOnce(DWORD processId);

bool StartProgram(Program* program) {
    memset(program, 0, sizeof *program);
    char commandLine[MAX_PATH + 2];
    wsprintfA(commandLine, "\"%s\"", ProgramPath());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(ProgramPath(), commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &program->process))
        return false;
    // A program that ended (it found no display, say) shows nothing: no use waiting on.
    const DWORD start = GetTickCount();
    do {
        program->main = FindMainWindowOnce(program->process.dwProcessId);
    } while (program->main == nullptr && IsRunning(program) && PollAgain(start, ReadyTimeoutMs));
    return program->main != nullptr;
}

void DescribeStartFailure(const Program* program, char* text, int capacity) {
    DWORD code = STILL_ACTIVE;
    if (program->process.hProcess == nullptr) {
        lstrcpynA(text, "it was not started", capacity);
    } else if (!GetExitCodeProcess(program->process.hProcess, &code) || code == STILL_ACTIVE) {
        lstrcpynA(text, "it still runs, without a main window", capacity);
    } else {
        char described[64];
        wsprintfA(described, "it ended with code %lu", code);
        lstrcpynA(text, described, capacity);
    }
}

static HWND FindMainWindowOnce(DWORD processId) {
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, "MyClass", "Decrimp 95")) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == processId && IsWindowVisible(hwnd)) return hwnd;
    }
    return nullptr;
}

HWND FindMainWindow(DWORD processId, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    HWND hwnd;
    do {
        hwnd = FindMainWindowOnce(processId);
    } while (hwnd == nullptr && PollAgain(start, timeoutMs));
    return hwnd;
}

bool IsRunning(const Program* program) {
    return program->process.hProcess != nullptr &&
           WaitForSingleObject(program->process.hProcess, 0) == WAIT_TIMEOUT;
}

bool WaitForExit(Program* program, DWORD* exitCode) {
    if (program->process.hProcess == nullptr) return false;
    if (WaitForSingleObject(program->process.hProcess, ReadyTimeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(program->process.hProcess, exitCode) != 0;
}

void StopProgram(Program* program) {
    if (program->process.hProcess != nullptr) {
        if (IsRunning(program)) {
            TerminateProcess(program->process.hProcess, 1);
            WaitForSingleObject(program->process.hProcess, ReadyTimeoutMs);
        }
        CloseHandle(program->process.hProcess);
        CloseHandle(program->process.hThread);
    }
    memset(program, 0, sizeof *program);
}

// kernel32 sits at the same address in every process, so its GetACP can be the start
// of a thread in the program; the thread's exit code is what GetACP returned there.
UINT ProgramCodePage(const Program* program) {
    const FARPROC getAcp = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetACP");
    if (getAcp == nullptr || program->process.hProcess == nullptr) return 0;
    HANDLE thread = CreateRemoteThread(
        program->process.hProcess, nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(getAcp)), nullptr, 0,
        nullptr);
    if (thread == nullptr) return 0;
    DWORD codePage = 0;
    if (WaitForSingleObject(thread, ReadyTimeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(thread, &codePage))
        codePage = 0;
    CloseHandle(thread);
    return codePage;
}
