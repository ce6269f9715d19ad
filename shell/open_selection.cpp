// File/Open: the Explorer-style Open dialog with multiple selection, into SelectionBuffer.
// A failed or cancelled dialog leaves the earlier selection pending and listed.
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "open_result.h"
#include "selection.h"
#include "shell.h"
#include "state.h"

static OPENFILENAMEA OpenRequest;  // filled anew for every Open

// "MP3 files" is preselected; the literal's own NUL closes the list.
static const char OpenFilter[] = "All\0*.*\0MP3 files\0*.MP3\0";
const DWORD OpenFilterIndex = 2;

// The dialog may write into SelectionBuffer even when it fails (too small a
// buffer gets the needed size in its first bytes): keep a copy to put back.
static char SavedSelection[SelectionBufferSize];

static void FillOpenRequest(HWND hwnd) {
    std::memset(&OpenRequest, 0, sizeof OpenRequest);
    // The record as Windows 95 knows it: 76 bytes on 32-bit.
    OpenRequest.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    OpenRequest.hwndOwner = hwnd;
    OpenRequest.lpstrFilter = OpenFilter;
    OpenRequest.nFilterIndex = OpenFilterIndex;
    // Not cleared: the last selection's first string becomes the initial file name.
    OpenRequest.lpstrFile = SelectionBuffer;
    OpenRequest.nMaxFile = SelectionBufferSize;
    OpenRequest.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT;
}

static void AddToFileList(const char* path) {
    SendMessageA(FileList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
}

static void ReportTooManyFiles(HWND hwnd) {
    MessageBoxA(hwnd, "The picked files do not fit in one selection.\n"
                      "Please open fewer files at a time.",
                "Too Many Files!", MB_ICONERROR | MB_OK);
}

void OpenSelection(HWND hwnd) {
    FillOpenRequest(hwnd);
    std::memcpy(SavedSelection, SelectionBuffer, sizeof SavedSelection);
    const bool opened = GetOpenFileNameA(&OpenRequest) == 1;
    // Windows fails on too small a buffer; Wine instead cuts the list to what fits.
    const bool tooMany = opened ? !SelectionIsWhole(OpenRequest.nFileOffset)
                                : CommDlgExtendedError() == FNERR_BUFFERTOOSMALL;
    if (!opened || tooMany) {
        std::memcpy(SelectionBuffer, SavedSelection, sizeof SavedSelection);
        // Treated like a cancel, the user would believe the new files were taken.
        if (tooMany) ReportTooManyFiles(hwnd);
        return;
    }
    NameOffset = OpenRequest.nFileOffset;
    DropRootSeparator();
    SelectionPending = 1;
    SendMessageA(FileList, LB_RESETCONTENT, 0, 0);
    ListSelection(AddToFileList);
}
