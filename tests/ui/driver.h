// Drives the real decrimp95.exe from another process, as a user would: finds its
// windows, reads them and acts on them. Shared by the window's tests, the fault
// suite and the screenshot demo; nothing here depends on GoogleTest.
#ifndef DECRIMP_UI_DRIVER_H
#define DECRIMP_UI_DRIVER_H

#include <windows.h>

// Every wait is for something that will happen (the program ready, a box showing, a
// window gone, the queue settled, a Unix command done). On a busy machine that can
// take long, so a wait gives up only after this much real time: only a hang waits it
// out. Nothing waits for something not to happen: a test settles the queue and looks.
const DWORD ReadyTimeoutMs = 120000;
const DWORD PollStepMs = 20;
// A message sent to the program is answered as soon as its thread gets to it.
const UINT SendTimeoutMs = ReadyTimeoutMs;

// The identifiers the program's menu and controls answer to.
const int CommandOpen = 40001;
const int CommandAbout = 40002;
const int CommandQuit = 40003;
const int ControlOverwrite = 1005;
const int ControlGenerate = 1006;
const int ControlRun = 1007;
const int ControlFileList = 1008;

struct Program {
    PROCESS_INFORMATION process;
    HWND main;
};

// Kills the program when a test leaves, however it leaves.
struct ProgramGuard {
    Program program = {};
    ~ProgramGuard();
};

// --- the program's process (driver_program.cpp) ---

// The exe under test as a Windows path; the build passes where it is.
const char* ProgramPath();
// Starts the program and waits for its main window to show; false at once if it ends first.
bool StartProgram(Program* program);
// Why a start failed, for a test's message: the program's exit code, or that it still runs.
void DescribeStartFailure(const Program* program, char* text, int capacity);
// The visible main window of the process, or NULL after timeoutMs.
HWND FindMainWindow(DWORD processId, DWORD timeoutMs);
// Waits for the program to end by itself; false if it is still running.
bool WaitForExit(Program* program, DWORD* exitCode);
bool IsRunning(const Program* program);
// Kills the program if it still runs and releases its handles.
void StopProgram(Program* program);
// The ANSI code page in force inside the program (GetACP run there); 0 if it cannot be read.
UINT ProgramCodePage(const Program* program);

// --- waiting, reading and poking windows (driver_windows.cpp) ---

// Sleeps one poll step; false once timeoutMs have passed since start, a GetTickCount()
// value. Counted by the clock: on a busy machine every Sleep overruns.
bool PollAgain(DWORD start, DWORD timeoutMs);

struct ControlInfo {
    HWND hwnd;
    char className[64];
    char text[1024];
    LONG style;
    RECT rect;  // in the parent's client coordinates
    int id;
};

// The direct children of parent in creation order; returns how many were read.
int ReadChildControls(HWND parent, ControlInfo* controls, int capacity);
bool ReadControl(HWND control, ControlInfo* info);
// Window text through WM_GETTEXT, which works across processes.
void ReadWindowText(HWND hwnd, char* text, int capacity);
RECT ClientRectOf(HWND child, HWND parent);
// Sends with a time-out so that a hung program fails a test instead of hanging it.
LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int CheckState(HWND mainWindow, int controlId);
// Lines of the program's file list; returns how many were read.
int ReadListLines(HWND mainWindow, char (*lines)[MAX_PATH], int capacity);
// A menu choice or a button click, as the system delivers it.
void PostCommand(HWND hwnd, WPARAM wParam);
// A mouse click on a button (pressed and released inside it).
void ClickButton(HWND button);
void ClickControl(HWND dialog, int controlId);
// A key press delivered to the window that has the keyboard focus in hwnd's thread.
void PressKey(HWND hwnd, WPARAM virtualKey);
HWND FocusOf(HWND hwnd);
// Returns once the program has handled everything posted to it before the call.
// button is any push or radio button of the program's busy thread.
bool SettleQueue(HWND button);
bool WaitForWindowGone(HWND hwnd);
bool WaitForEnabled(HWND hwnd, BOOL enabled);

// --- dialogs and message boxes (driver_dialogs.cpp) ---

// The first visible dialog window owned by owner, or NULL.
HWND FindOwnedDialog(HWND owner);
// How many visible dialogs and message boxes owner has open at once.
int CountOwnedDialogs(HWND owner);
HWND WaitForOwnedDialog(HWND owner);
HWND WaitForOpenDialog(HWND owner);
HWND WaitForMessageBox(HWND owner);
// The program's open pop-up menu window, once it shows; NULL after the time-out.
HWND WaitForPopupMenu(DWORD processId);

struct MessageBoxInfo {
    char caption[256];
    char text[512];
};
void ReadMessageBox(HWND box, MessageBoxInfo* info);
// Presses OK and waits until the box is gone.
bool ClickOk(HWND dialog);

// File/Open, then in the real Open dialog: go to folder, pick the names (one
// plain, several quoted), press OK. True once the dialog has closed.
bool OpenFiles(HWND mainWindow, const char* folder, const char* const* names, int count);
// File/Open, then Cancel.
bool CancelOpen(HWND mainWindow);
// Presses Cancel on an Open dialog already showing.
bool CancelOpenDialog(HWND dialog);

// --- files the tests work on (driver_files.cpp) ---

// Makes an empty folder of its own under the temp folder; false on failure.
bool MakeTempFolder(char* folder, int capacity);
// Deletes the files in folder (not recursive).
bool RemoveFiles(const char* folder);
// Deletes the files in folder and the folder itself.
bool RemoveFolder(const char* folder);
void JoinPath(char* path, int capacity, const char* folder, const char* name);
bool WriteBytes(const char* path, const char* bytes, DWORD size);
// Reads up to capacity bytes; false if the file cannot be read or is larger.
bool ReadBytes(const char* path, char* bytes, DWORD capacity, DWORD* size);
bool FileExists(const char* path);
// Names of the files in folder, sorted; returns how many.
int ListFolder(const char* folder, char (*names)[MAX_PATH], int capacity);

#endif
