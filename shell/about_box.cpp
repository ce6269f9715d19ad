// The About box: the template and its bitmap do the work; only OK closes it.
#include <windows.h>

#include "shell.h"

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;  // the dialog manager focuses OK, the only tab stop
    case WM_COMMAND:
        // The whole wParam: OK clicked (or Enter/space on it). Cancel, which
        // Escape and the close box send, is left unhandled, so the box stays.
        if (wParam == MAKEWPARAM(IDOK, BN_CLICKED)) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
