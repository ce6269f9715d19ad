// Process entry: registers the window class, creates the one main window and
// runs the message loop until that window is destroyed.
#include <windows.h>

#include "resource.h"
#include "shell.h"

static const char ClassName[] = "MyClass";
static const char WindowTitle[] = "Decrimp 95";
const int WindowWidth = 370;
const int WindowHeight = 340;

static bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = ClassName;
    return RegisterClassA(&windowClass) != 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showState) {
    if (!RegisterMainClass(instance)) return 0;

    HWND hwnd = CreateWindowExA(0, ClassName, WindowTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, WindowWidth, WindowHeight,
                                nullptr, nullptr, instance, nullptr);
    // Without a window nothing would ever post the quit message: leave at once,
    // with a code that tells the start failed.
    if (!hwnd) return 1;

    ShowWindow(hwnd, showState);
    UpdateWindow(hwnd);

    // No accelerators and no dialog keyboard handling: the window has neither.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) != 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
