// The File menu: its items as stored in the exe, and as the keyboard reaches them
// in the running window (Wine cannot read another process's menu).
#include "ui_test_support.h"

namespace {

struct ExpectedItem {
    const char* text;
    UINT id;
};

const ExpectedItem FileItems[] = {
    {"&Open", 40001},
    {"&About", 40002},
    {"&Quit", 40003},
};

struct MenuItem {
    char text[64];
    UINT id;
    UINT type;
    HMENU popup;
};

bool ReadMenuItem(HMENU menu, int position, MenuItem* item) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_ID | MIIM_FTYPE | MIIM_SUBMENU;
    info.dwTypeData = item->text;
    info.cch = sizeof item->text;
    item->text[0] = '\0';
    if (!GetMenuItemInfoA(menu, position, TRUE, &info)) return false;
    item->id = info.wID;
    item->type = info.fType;
    item->popup = info.hSubMenu;
    return true;
}

// What the running program does next: "dialog <caption>", "exit <code>" or "nothing".
std::string Outcome(Program* program) {
    const DWORD start = GetTickCount();
    do {
        std::string caption = OwnedDialogCaption(program->main);
        if (caption != "<none>") return "dialog " + caption;
        DWORD exitCode = 0;
        if (!IsRunning(program) && GetExitCodeProcess(program->process.hProcess, &exitCode))
            return "exit " + std::to_string(exitCode);
    } while (PollAgain(start, ReadyTimeoutMs));
    return "nothing";
}

}  // namespace

TEST(Menu, ExeHoldsFileWithOpenAboutQuit) {
    HMODULE exe = LoadLibraryExA(ProgramPath(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe) << "could not load " << ProgramPath();
    HMENU bar = LoadMenuA(exe, MAKEINTRESOURCEA(103));
    ASSERT_NE(nullptr, bar) << "expected menu 103";
    ASSERT_EQ(1, GetMenuItemCount(bar)) << "items on the menu bar";
    MenuItem file;
    ASSERT_TRUE(ReadMenuItem(bar, 0, &file));
    EXPECT_STREQ("&File", file.text);
    ASSERT_NE(nullptr, file.popup) << "expected &File to be a pop-up";
    const int count = sizeof FileItems / sizeof FileItems[0];
    ASSERT_EQ(count, GetMenuItemCount(file.popup)) << "items in &File, separators included";
    for (int i = 0; i < count; i++) {
        SCOPED_TRACE(FileItems[i].text);
        MenuItem item;
        ASSERT_TRUE(ReadMenuItem(file.popup, i, &item));
        EXPECT_STREQ(FileItems[i].text, item.text);
        EXPECT_EQ(FileItems[i].id, item.id);
        EXPECT_EQ(static_cast<UINT>(MFT_STRING), item.type) << "a plain item";
        EXPECT_EQ(nullptr, item.popup);
    }
    DestroyMenu(bar);
    FreeLibrary(exe);
}

// Alt+F opens the menu with its first item selected; letters and arrows then
// reach each item. Three steps down come back to Open: there are exactly three.
TEST(Menu, KeyboardReachesEachItemOfTheRunningWindow) {
    struct Case {
        const char* keys;  // letters typed, or D(own), U(p), E(nter)
        const char* outcome;
    };
    const Case cases[] = {
        {"o", "dialog Open"}, {"a", "dialog Decrimp 95 v. 1.0"}, {"q", "exit 0"},
        {"E", "dialog Open"}, {"DE", "dialog Decrimp 95 v. 1.0"}, {"DDE", "exit 0"},
        {"DDDE", "dialog Open"}, {"UE", "exit 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Alt+F then " << c.keys);
        ProgramGuard guard;
        ASSERT_TRUE(StartProgram(&guard.program));
        HWND main = guard.program.main;
        PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, 'f');
        // Wine opens the pop-up through a key press it posts itself: wait for it.
        ASSERT_NE(nullptr, WaitForPopupMenu(guard.program.process.dwProcessId))
            << "expected Alt+F to open the File menu";
        for (const char* key = c.keys; *key != '\0'; key++) {
            if (*key == 'D' || *key == 'U' || *key == 'E') {
                WPARAM vk = *key == 'D' ? VK_DOWN : *key == 'U' ? VK_UP : VK_RETURN;
                PostMessageA(main, WM_KEYDOWN, vk, 1);
            } else {
                PostMessageA(main, WM_CHAR, *key, 1);
            }
        }
        EXPECT_EQ(c.outcome, Outcome(&guard.program));
    }
}
