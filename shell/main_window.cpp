// The main window: its six controls and the commands that make up the whole job.
// Commands are matched on the whole wParam, so only menu choices and button
// clicks (notification code 0) act; list box notifications fall through.
#include <windows.h>

#include "platform.h"
#include "resource.h"
#include "selection.h"
#include "shell.h"
#include "state.h"

HWND RunButton;
HWND ModeGroup;
HWND OverwriteButton;
HWND GenerateButton;
HWND FilenamesGroup;
HWND FileList;
HCURSOR CurrentCursor;

HINSTANCE WindowInstance(HWND hwnd) {
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
}

static HWND AddControl(HWND hwnd, const char* className, const char* text, DWORD style,
                       int x, int y, int width, int height, int id) {
    return CreateWindowExA(0, className, text, style, x, y, width, height, hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           WindowInstance(hwnd), nullptr);
}

static void SetPointer(LPCSTR cursorName) {
    CurrentCursor = LoadCursorA(nullptr, cursorName);
    SetCursor(CurrentCursor);
}

// Pixel positions in the client area; the radio buttons and the list are children
// of the main window, not of the group boxes drawn around them.
static void CreateControls(HWND hwnd) {
    const DWORD child = WS_CHILD | WS_VISIBLE;
    RunButton = AddControl(hwnd, "BUTTON", "&Decrimp!", child | BS_PUSHBUTTON,
                           95, 250, 70, 20, IDC_RUN);
    ModeGroup = AddControl(hwnd, "BUTTON", "Mode", child | BS_GROUPBOX, 10, 10, 240, 80, 0);
    OverwriteButton = AddControl(hwnd, "BUTTON", "&Overwrite Existing Files",
                                 child | BS_RADIOBUTTON, 10, 30, 220, 20, IDC_OVERWRITE);
    GenerateButton = AddControl(hwnd, "BUTTON", "&Generate New Files",
                                child | BS_RADIOBUTTON, 10, 55, 220, 20, IDC_GENERATE);
    // Plain radio buttons: the program keeps the marks itself, starting in overwrite mode.
    SendMessageA(OverwriteButton, BM_SETCHECK, BST_CHECKED, 0);
    FilenamesGroup = AddControl(hwnd, "BUTTON", "Filenames:", child | BS_GROUPBOX,
                                5, 100, 340, 140, 0);
    FileList = AddControl(hwnd, "LISTBOX", "",
                          child | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_SORT |
                              LBS_DISABLENOSCROLL,
                          10, 120, 330, 120, IDC_FILELIST);
    SetPointer(IDC_ARROW);
}

static void SetMode(HWND hwnd, int generate) {
    SendMessageA(OverwriteButton, BM_SETCHECK, generate ? BST_UNCHECKED : BST_CHECKED, 0);
    SendMessageA(GenerateButton, BM_SETCHECK, generate ? BST_CHECKED : BST_UNCHECKED, 0);
    GenerateNewFiles = generate;
    SetFocus(hwnd);
}

// With nothing pending the wait cursor stays until the pointer next moves: harmless.
static void StartRun(HWND hwnd) {
    SetPointer(IDC_WAIT);
    if (SelectionPending == 1) RunSelection(static_cast<OwnerWindow>(hwnd));
    SetFocus(hwnd);
}

static void ShowAbout(HWND hwnd) {
    // The result (0, or -1 when the box cannot be made) changes nothing here.
    DialogBoxParamA(WindowInstance(hwnd), MAKEINTRESOURCEA(IDD_ABOUT), hwnd, AboutDlgProc, 0);
}

static void Command(HWND hwnd, WPARAM wParam) {
    switch (wParam) {
    case IDM_OPEN:
        OpenSelection(hwnd);
        break;
    case IDM_ABOUT:
        ShowAbout(hwnd);
        break;
    case IDM_QUIT:
        DestroyWindow(hwnd);
        break;
    case IDC_OVERWRITE:
        SetMode(hwnd, 0);
        break;
    case IDC_GENERATE:
        SetMode(hwnd, 1);
        break;
    case IDC_RUN:
        StartRun(hwnd);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateControls(hwnd);
        return 0;
    case WM_COMMAND:
        Command(hwnd, wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}
