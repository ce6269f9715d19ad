// The core's message boxes and cursor on Windows.
#include <windows.h>

#include "platform.h"

void ShowMessage(OwnerWindow owner, const char* text, const char* caption, unsigned icon) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK | icon);
}

void RestoreArrowCursor() {
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}
