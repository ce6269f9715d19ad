// The program's dialogs and message boxes, and the real Open dialog it shows.
#include <cstring>

#include "driver.h"

// The Open dialog's file name field (cmb13): a ComboBoxEx whose edit takes typed text.
const int OpenFileNameField = 0x47C;

struct OwnedSearch {
    HWND owner;
    int kind;  // 0 any dialog, 1 the Open dialog, 2 any other dialog
    HWND found;
};

static bool IsDialogOfKind(HWND hwnd, int kind) {
    bool isOpen = GetDlgItem(hwnd, OpenFileNameField) != nullptr;
    return kind == 0 || (kind == 1) == isOpen;
}

static BOOL CALLBACK MatchOwned(HWND hwnd, LPARAM lParam) {
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(lParam);
    char className[16];
    if (!GetClassNameA(hwnd, className, sizeof className) || strcmp(className, "#32770") != 0)
        return TRUE;
    if (!IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER) != search->owner) return TRUE;
    if (!IsDialogOfKind(hwnd, search->kind)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

static HWND FindOwned(HWND owner, int kind) {
    OwnedSearch search = {owner, kind, nullptr};
    EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

static HWND WaitForOwned(HWND owner, int kind) {
    const DWORD start = GetTickCount();
    HWND found;
    do {
        found = FindOwned(owner, kind);
    } while (found == nullptr && PollAgain(start, ReadyTimeoutMs));
    return found;
}

HWND FindOwnedDialog(HWND owner) { return FindOwned(owner, 0); }

struct OwnedCount {
    HWND owner;
    int count;
};

static BOOL CALLBACK CountOwned(HWND hwnd, LPARAM lParam) {
    OwnedCount* counting = reinterpret_cast<OwnedCount*>(lParam);
    OwnedSearch search = {counting->owner, 0, nullptr};
    MatchOwned(hwnd, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) ++counting->count;
    return TRUE;
}

int CountOwnedDialogs(HWND owner) {
    OwnedCount counting = {owner, 0};
    EnumWindows(CountOwned, reinterpret_cast<LPARAM>(&counting));
    return counting.count;
}

HWND WaitForOwnedDialog(HWND owner) { return WaitForOwned(owner, 0); }
HWND WaitForOpenDialog(HWND owner) { return WaitForOwned(owner, 1); }
HWND WaitForMessageBox(HWND owner) { return WaitForOwned(owner, 2); }

// A message box's text is the static control without an identifier of its own.
void ReadMessageBox(HWND box, MessageBoxInfo* info) {
    ReadWindowText(box, info->caption, sizeof info->caption);
    info->text[0] = '\0';
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text != nullptr) ReadWindowText(text, info->text, sizeof info->text);
}

bool ClickOk(HWND dialog) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (ok == nullptr) return false;
    ClickButton(ok);
    return WaitForWindowGone(dialog);
}

static void TypeFileName(HWND dialog, const char* text) {
    SendMessageTimeoutA(GetDlgItem(dialog, OpenFileNameField), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text), SMTO_NORMAL, SendTimeoutMs, nullptr);
}

static void PressDialogButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The dialog's "Look in" box (cmb2) shows the name of the folder it is in.
const int OpenLookIn = 0x471;

// Going to a folder happens while the dialog handles its OK command; when it is
// already there nothing changes at all. So settle the queue, then see where it is.
static bool GoToFolder(HWND dialog, const char* folder) {
    TypeFileName(dialog, folder);
    PressDialogButton(dialog, IDOK);
    if (!SettleQueue(GetDlgItem(dialog, IDOK))) return false;
    const char* name = folder;
    for (const char* c = folder; *c != '\0'; c++)
        if (*c == '\\') name = c + 1;
    char shown[MAX_PATH];
    ReadWindowText(GetDlgItem(dialog, OpenLookIn), shown, sizeof shown);
    if (*name != '\0') return lstrcmpiA(shown, name) == 0;
    // A drive's root: the box names the drive, as in "Local Disk (R:)" or "R:\".
    char drive[3] = {folder[0], ':', '\0'};
    CharUpperA(shown);
    CharUpperA(drive);
    return strstr(shown, drive) != nullptr;
}

// One name as typed; several each in quotes, separated by blanks.
static bool FormatNames(char* text, int capacity, const char* const* names, int count) {
    int at = 0;
    for (int i = 0; i < count; i++) {
        int length = lstrlenA(names[i]);
        int need = count == 1 ? length : length + 3;
        if (at + need >= capacity) return false;
        if (count == 1) {
            memcpy(text + at, names[i], length);
        } else {
            text[at] = '"';
            memcpy(text + at + 1, names[i], length);
            text[at + 1 + length] = '"';
            text[at + 2 + length] = ' ';
        }
        at += need;
    }
    text[at] = '\0';
    return true;
}

bool OpenFiles(HWND mainWindow, const char* folder, const char* const* names, int count) {
    static char typed[16384];  // room for more names than the program can take
    if (!FormatNames(typed, sizeof typed, names, count)) return false;
    PostCommand(mainWindow, CommandOpen);
    HWND dialog = WaitForOpenDialog(mainWindow);
    if (dialog == nullptr) return false;
    // The dialog starts wherever it was last; go to the folder explicitly.
    if (!GoToFolder(dialog, folder)) return false;
    TypeFileName(dialog, typed);
    PressDialogButton(dialog, IDOK);
    return WaitForWindowGone(dialog);
}

bool CancelOpenDialog(HWND dialog) {
    PressDialogButton(dialog, IDCANCEL);
    return WaitForWindowGone(dialog);
}

bool CancelOpen(HWND mainWindow) {
    PostCommand(mainWindow, CommandOpen);
    HWND dialog = WaitForOpenDialog(mainWindow);
    return dialog != nullptr && CancelOpenDialog(dialog);
}

struct PopupSearch {
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK MatchPopup(HWND hwnd, LPARAM lParam) {
    PopupSearch* search = reinterpret_cast<PopupSearch*>(lParam);
    char className[16];
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId != search->processId || !IsWindowVisible(hwnd)) return TRUE;
    if (!GetClassNameA(hwnd, className, sizeof className) || strcmp(className, "#32768") != 0)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND WaitForPopupMenu(DWORD processId) {
    const DWORD start = GetTickCount();
    PopupSearch search = {processId, nullptr};
    do {
        EnumWindows(MatchPopup, reinterpret_cast<LPARAM>(&search));
    } while (search.found == nullptr && PollAgain(start, ReadyTimeoutMs));
    return search.found;
}
