// What the shell's files share: the window procedures and the main window's handles.
#ifndef DECRIMP_SHELL_H
#define DECRIMP_SHELL_H

#include <windows.h>

// Child controls of the main window, and the cursor it set last; they live as
// long as the window and are never released (the system frees them at exit).
extern HWND RunButton;
extern HWND ModeGroup;
extern HWND OverwriteButton;
extern HWND GenerateButton;
extern HWND FilenamesGroup;
extern HWND FileList;
extern HCURSOR CurrentCursor;

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// File/Open: runs the Open dialog into SelectionBuffer and lists the picked files.
void OpenSelection(HWND hwnd);

// The module that created the window; GetWindowLongPtrA is GetWindowLongA on 32-bit.
HINSTANCE WindowInstance(HWND hwnd);

#endif
