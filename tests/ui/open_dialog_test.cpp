// The Open dialog as the program asks for it: its own title, the two filters with
// "MP3 files" chosen, several files at once, and the read-only box left in place.
#include "ui_test_support.h"

namespace {

// Controls of the platform's Explorer-style Open dialog.
const int FileTypeBox = 0x470;   // cmb1
const int ReadOnlyBox = 0x410;   // chx1

class OpenDialog : public ProgramTest {};

std::string ComboLine(HWND combo, int index) {
    WCHAR wide[MAX_PATH] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_NORMAL, SendTimeoutMs,
                             &length) ||
        length >= MAX_PATH ||
        !SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide),
                             SMTO_NORMAL, SendTimeoutMs, &length))
        return "<unreadable>";
    char text[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

}  // namespace

TEST_F(OpenDialog, OffersAllAndMp3FilesWithMp3FilesChosen) {
    PostCommand(main, CommandOpen);
    HWND dialog = WaitForOpenDialog(main);
    ASSERT_NE(nullptr, dialog) << "File/Open showed no Open dialog";
    EXPECT_EQ(main, GetWindow(dialog, GW_OWNER));
    char title[64];
    ReadWindowText(dialog, title, sizeof title);
    EXPECT_STREQ("Open", title) << "the platform's own title";

    HWND types = GetDlgItem(dialog, FileTypeBox);
    ASSERT_NE(nullptr, types);
    ASSERT_EQ(2, SendTo(types, CB_GETCOUNT, 0, 0)) << "two filters";
    EXPECT_EQ("All", ComboLine(types, 0));
    EXPECT_EQ("MP3 files", ComboLine(types, 1));
    EXPECT_EQ(1, SendTo(types, CB_GETCURSEL, 0, 0)) << "the second filter preselected";

    HWND readOnly = GetDlgItem(dialog, ReadOnlyBox);
    ASSERT_NE(nullptr, readOnly) << "the read-only box is not hidden";
    EXPECT_TRUE(IsWindowVisible(readOnly));

    EXPECT_TRUE(CancelOpenDialog(dialog));
    EXPECT_EQ("<none>", OwnedDialogCaption(main)) << "a cancel shows nothing";
    EXPECT_EQ("", ListText());
}
