// The short job scripts/run.sh shows when there is no display: picks damaged text
// files through the real Open dialog, repairs them in both modes, checks the bytes
// and opens the About box. At each picture it prints "SHOT name w h x y" and waits
// for a line on stdin, so the script can take the screenshot while nothing moves.
// Usage: ui_demo DESKTOP (the name given to explorer /desktop=). Exits 1 on a failure.
#include <cstdio>
#include <cstring>

#include "driver.h"

// Inside the demo's own Wine prefix, so the pictures show the same short paths
// wherever the repository lives.
const char SampleFolder[] = "C:\\Samples";

// Text whose LFs became CR LF, and what the repair must give back. The lone CR
// in the last one must survive.
struct Sample {
    const char* name;
    const char* damaged;
    const char* repaired;
};
const Sample Samples[] = {
    {"letter.txt", "Dear reader,\r\n\r\nthe lines are back.\r\n",
     "Dear reader,\n\nthe lines are back.\n"},
    {"notes.txt", "one\r\ntwo\r\nthree\r\n", "one\ntwo\nthree\n"},
    {"report.txt", "total\r12\r\nend", "total\r12\nend"},
};
const int SampleCount = sizeof Samples / sizeof Samples[0];
const int OverwriteSample = 1;

static bool Fail(const char* what) {
    printf("demo: %s\n", what);
    fflush(stdout);
    return false;
}

// Explorer makes the desktop while this starts, and the program's window comes
// later still; a window on another desktop is invisible until this thread joins it.
static HWND WaitForProgram(const char* desktopName) {
    HDESK desktop = nullptr;
    const DWORD start = GetTickCount();
    do {
        if (desktop == nullptr) {
            desktop = OpenDesktopA(desktopName, 0, FALSE, GENERIC_ALL);
            if (desktop != nullptr && !SetThreadDesktop(desktop)) return nullptr;
        }
        HWND main = desktop ? FindWindowA("MyClass", "Decrimp 95") : nullptr;
        if (main != nullptr && IsWindowVisible(main)) return main;
    } while (PollAgain(start, ReadyTimeoutMs));
    return nullptr;
}

// Asks the script for a picture of rect and waits until it is taken. The short
// sleep lets the program finish painting what its queue has already handled.
static bool Shot(const char* name, HWND settle, RECT rect) {
    if (!SettleQueue(settle)) return Fail("the program stopped answering");
    Sleep(300);
    printf("SHOT %s %ld %ld %ld %ld\n", name, rect.right - rect.left, rect.bottom - rect.top,
           rect.left, rect.top);
    fflush(stdout);
    char reply[16];
    if (fgets(reply, sizeof reply, stdin) == nullptr) return Fail("no reply to SHOT");
    return true;
}

static RECT RectOf(HWND hwnd) {
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

// Message boxes centre themselves on the screen; with the window centred too, the
// picture of both needs little of the empty desktop around them.
static void CenterOnScreen(HWND main) {
    RECT screen = RectOf(GetDesktopWindow());
    RECT rect = RectOf(main);
    int x = (screen.right - screen.left - (rect.right - rect.left)) / 2;
    int y = (screen.bottom - screen.top - (rect.bottom - rect.top)) / 2;
    SetWindowPos(main, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static bool MakeSamples() {
    if (!CreateDirectoryA(SampleFolder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail("cannot make the sample folder");
    if (!RemoveFiles(SampleFolder)) return Fail("cannot empty the sample folder");
    for (const Sample& sample : Samples) {
        char path[MAX_PATH];
        JoinPath(path, sizeof path, SampleFolder, sample.name);
        if (!WriteBytes(path, sample.damaged, lstrlenA(sample.damaged)))
            return Fail("cannot write a sample");
    }
    return true;
}

static bool HasBytes(const char* name, const char* expected) {
    char path[MAX_PATH];
    JoinPath(path, sizeof path, SampleFolder, name);
    char bytes[256];
    DWORD size = 0;
    DWORD length = lstrlenA(expected);
    if (ReadBytes(path, bytes, sizeof bytes, &size) && size == length &&
        memcmp(bytes, expected, length) == 0)
        return true;
    printf("demo: %s does not hold the repaired bytes\n", path);
    return false;
}

// Presses Decrimp!, waits for the box that ends the run and checks its caption.
static bool RunAndWaitForBox(HWND main, const char* expectedCaption, HWND* box) {
    ClickButton(GetDlgItem(main, ControlRun));
    *box = WaitForMessageBox(main);
    if (*box == nullptr) return Fail("no box at the end of the run");
    MessageBoxInfo info;
    ReadMessageBox(*box, &info);
    printf("box: %s: %s\n", info.caption, info.text);
    if (strcmp(info.caption, expectedCaption) != 0)
        return Fail("the box does not report a finished run");
    return true;
}

static bool GenerateAll(HWND main) {
    const char* names[SampleCount];
    for (int i = 0; i < SampleCount; i++) names[i] = Samples[i].name;
    if (!OpenFiles(main, SampleFolder, names, SampleCount)) return Fail("Open dialog failed");
    char lines[SampleCount + 1][MAX_PATH];
    if (ReadListLines(main, lines, SampleCount + 1) != SampleCount)
        return Fail("the list does not show the picked files");
    HWND run = GetDlgItem(main, ControlRun);
    ClickButton(GetDlgItem(main, ControlGenerate));
    if (!Shot("main-window", run, RectOf(main))) return false;
    HWND box = nullptr;
    if (!RunAndWaitForBox(main, "Files are Decrimped!", &box)) return false;
    RECT both;
    RECT boxRect = RectOf(box);
    RECT mainRect = RectOf(main);
    UnionRect(&both, &mainRect, &boxRect);
    if (!Shot("completion", run, both)) return false;
    if (!ClickOk(box)) return Fail("the box did not close");
    for (const Sample& sample : Samples) {
        char copy[MAX_PATH];
        wsprintfA(copy, "Copy of %s", sample.name);
        if (!HasBytes(copy, sample.repaired) || !HasBytes(sample.name, sample.damaged))
            return false;
    }
    printf("generate: %d copies repaired, originals kept\n", SampleCount);
    return true;
}

static bool OverwriteOne(HWND main) {
    const Sample& sample = Samples[OverwriteSample];
    if (!OpenFiles(main, SampleFolder, &sample.name, 1)) return Fail("Open dialog failed");
    ClickButton(GetDlgItem(main, ControlOverwrite));
    HWND box = nullptr;
    if (!RunAndWaitForBox(main, "File is Decrimped!", &box)) return false;
    if (!ClickOk(box)) return Fail("the box did not close");
    if (!HasBytes(sample.name, sample.repaired)) return false;
    printf("overwrite: %s repaired in place\n", sample.name);
    return true;
}

static bool ShowAbout(HWND main) {
    PostCommand(main, CommandAbout);
    HWND about = WaitForOwnedDialog(main);
    if (about == nullptr) return Fail("no About box");
    HWND ok = GetDlgItem(about, IDOK);
    if (!Shot("about-box", ok, RectOf(about))) return false;
    return ClickOk(about) || Fail("the About box did not close");
}

static bool Quit(HWND main) {
    PostCommand(main, CommandQuit);
    return WaitForWindowGone(main) || Fail("the program did not quit");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: ui_demo DESKTOP\n");
        return 2;
    }
    HWND main = WaitForProgram(argv[1]);
    if (main == nullptr) {
        Fail("no Decrimp 95 window on that desktop");
        return 1;
    }
    CenterOnScreen(main);
    bool ok = MakeSamples() && GenerateAll(main) && OverwriteOne(main) && ShowAbout(main) &&
              Quit(main);
    // The program has ended (or failed); its current folder no longer holds the samples.
    if (!RemoveFolder(SampleFolder)) printf("demo: could not remove %s\n", SampleFolder);
    printf(ok ? "demo: done\n" : "demo: FAILED\n");
    return ok ? 0 : 1;
}
