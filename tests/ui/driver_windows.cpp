// Reading the program's windows and acting on them from the test's own process.
#include <cstring>

#include "driver.h"

bool PollAgain(DWORD start, DWORD timeoutMs) {
    // Unsigned subtraction stays right when the tick count wraps.
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(PollStepMs);
    return true;
}

// Polls ready(hwnd) until it holds or the driver's time-out runs out.
static bool WaitUntil(bool (*ready)(HWND), HWND hwnd) {
    const DWORD start = GetTickCount();
    do {
        if (ready(hwnd)) return true;
    } while (PollAgain(start, ReadyTimeoutMs));
    return false;
}

// Not SMTO_ABORTIFHUNG: a program kept from its queue for 5 s by a busy machine
// counts as hung there, and the send would fail at once.
LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_NORMAL, SendTimeoutMs,
                             &result))
        return -1;
    return static_cast<LRESULT>(result);
}

void ReadWindowText(HWND hwnd, char* text, int capacity) {
    text[0] = '\0';
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutA(hwnd, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(text),
                            SMTO_NORMAL, SendTimeoutMs, &copied))
        text[copied < static_cast<DWORD_PTR>(capacity) ? copied : capacity - 1] = '\0';
}

RECT ClientRectOf(HWND child, HWND parent) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool ReadControl(HWND control, ControlInfo* info) {
    memset(info, 0, sizeof *info);
    info->hwnd = control;
    if (!GetClassNameA(control, info->className, sizeof info->className)) return false;
    ReadWindowText(control, info->text, sizeof info->text);
    info->style = GetWindowLongA(control, GWL_STYLE);
    info->rect = ClientRectOf(control, GetAncestor(control, GA_PARENT));
    info->id = GetDlgCtrlID(control);
    return true;
}

struct ChildWalk {
    HWND parent;
    ControlInfo* controls;
    int capacity;
    int count;
};

// Child windows come in Z order, which for controls is their creation order.
static BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
    ChildWalk* walk = reinterpret_cast<ChildWalk*>(lParam);
    if (GetAncestor(hwnd, GA_PARENT) != walk->parent) return TRUE;
    if (walk->count < walk->capacity && ReadControl(hwnd, &walk->controls[walk->count]))
        walk->count++;
    return TRUE;
}

int ReadChildControls(HWND parent, ControlInfo* controls, int capacity) {
    ChildWalk walk = {parent, controls, capacity, 0};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&walk));
    return walk.count;
}

int CheckState(HWND mainWindow, int controlId) {
    return static_cast<int>(SendTo(GetDlgItem(mainWindow, controlId), BM_GETCHECK, 0, 0));
}

// The list's strings are read with the W messages: Wine hands back only the
// first character of a string to an A request from another process.
int ReadListLines(HWND mainWindow, char (*lines)[MAX_PATH], int capacity) {
    HWND list = GetDlgItem(mainWindow, ControlFileList);
    LRESULT count = SendTo(list, LB_GETCOUNT, 0, 0);
    int read = 0;
    for (int i = 0; i < count && read < capacity; i++) {
        DWORD_PTR length = 0;
        WCHAR wide[MAX_PATH];
        if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, SendTimeoutMs,
                                 &length) ||
            length >= MAX_PATH)
            break;
        if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide),
                                 SMTO_NORMAL, SendTimeoutMs, &length))
            break;
        wide[length] = L'\0';
        WideCharToMultiByte(CP_ACP, 0, wide, -1, lines[read], MAX_PATH, nullptr, nullptr);
        read++;
    }
    return read;
}

void PostCommand(HWND hwnd, WPARAM wParam) { PostMessageA(hwnd, WM_COMMAND, wParam, 0); }

void ClickButton(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void ClickControl(HWND dialog, int controlId) { ClickButton(GetDlgItem(dialog, controlId)); }

HWND FocusOf(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Posted, so the program's message loop (and a dialog's IsDialogMessage) sees it.
void PressKey(HWND hwnd, WPARAM virtualKey) {
    HWND target = FocusOf(hwnd);
    if (target == nullptr) target = hwnd;
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(virtualKey), 0)) << 16;
    PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageA(target, WM_KEYUP, virtualKey, scan | 0xC0000001);
}

static bool IsPushed(HWND button) {
    return (SendTo(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
}

// A posted BM_SETSTATE is handled in turn with everything posted before it, so
// its visible effect marks the point where those are done. More rounds cover what
// the program posted to itself meanwhile: Alt+F4 posts a close command, whose
// handling in a dialog posts a cancel command.
bool SettleQueue(HWND button) {
    for (int round = 0; round < 3; round++) {
        SendTo(button, BM_SETSTATE, FALSE, 0);
        PostMessageA(button, BM_SETSTATE, TRUE, 0);
        bool seen = WaitUntil(IsPushed, button);
        SendTo(button, BM_SETSTATE, FALSE, 0);
        if (!seen) return false;
    }
    return true;
}

static bool IsGone(HWND hwnd) { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }

bool WaitForWindowGone(HWND hwnd) { return WaitUntil(IsGone, hwnd); }

static bool IsEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
static bool IsDisabled(HWND hwnd) { return IsWindowEnabled(hwnd) == FALSE; }

bool WaitForEnabled(HWND hwnd, BOOL enabled) {
    return WaitUntil(enabled ? IsEnabled : IsDisabled, hwnd);
}
