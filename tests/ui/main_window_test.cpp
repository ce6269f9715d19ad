// The main window as the program builds it, and the commands it answers to.
#include <cstring>

#include "ui_test_support.h"

namespace {

struct ExpectedControl {
    const char* className;
    const char* text;
    LONG style;
    int x, y, width, height;
    int id;
};

// In creation order, positions in the client area.
const ExpectedControl MainControls[] = {
    {"Button", "&Decrimp!", 0x50000000, 95, 250, 70, 20, 1007},
    {"Button", "Mode", 0x50000007, 10, 10, 240, 80, 0},
    {"Button", "&Overwrite Existing Files", 0x50000004, 10, 30, 220, 20, 1005},
    {"Button", "&Generate New Files", 0x50000004, 10, 55, 220, 20, 1006},
    {"Button", "Filenames:", 0x50000007, 5, 100, 340, 140, 0},
    {"ListBox", "", 0x50A01003, 10, 120, 330, 120, 1008},
};
const int MainControlCount = sizeof MainControls / sizeof MainControls[0];

// The system marks the checked radio button as a tab stop; the rest is as created.
LONG CreatedStyle(const ControlInfo& control) {
    LONG type = control.style & BS_TYPEMASK;
    bool radio = _stricmp(control.className, "Button") == 0 && type == BS_RADIOBUTTON;
    return radio ? control.style & ~WS_TABSTOP : control.style;
}

class MainWindow : public ProgramTest {};

}  // namespace

TEST_F(MainWindow, MainWindowHasItsClassTitleStyleAndSize) {
    char className[64];
    GetClassNameA(main, className, sizeof className);
    EXPECT_STREQ("MyClass", className);
    EXPECT_EQ(static_cast<DWORD>(CS_VREDRAW | CS_HREDRAW), GetClassLongA(main, GCL_STYLE));
    char title[64];
    ReadWindowText(main, title, sizeof title);
    EXPECT_STREQ("Decrimp 95", title);
    LONG style = GetWindowLongA(main, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW, style) << "style besides visible and clip-siblings";
    RECT frame;
    GetWindowRect(main, &frame);
    EXPECT_EQ(370, frame.right - frame.left) << "outer width";
    EXPECT_EQ(340, frame.bottom - frame.top) << "outer height";
    EXPECT_NE(nullptr, GetMenu(main)) << "expected a menu bar";
}

// A list box without LBS_NOINTEGRALHEIGHT shrinks to whole lines inside its border.
int ShownHeight(const ControlInfo& control, int created) {
    if (lstrcmpiA(control.className, "ListBox") != 0) return created;
    int line = static_cast<int>(SendTo(control.hwnd, LB_GETITEMHEIGHT, 0, 0));
    int border = 2 * GetSystemMetrics(SM_CYBORDER);
    if (line <= 0) return created;
    return created - (created - border) % line;
}

TEST_F(MainWindow, MainWindowHasExactlyTheSixControlsInCreationOrder) {
    ControlInfo controls[16];
    int count = ReadChildControls(main, controls, 16);
    ASSERT_EQ(MainControlCount, count) << "child windows of the main window";
    for (int i = 0; i < count; i++) {
        const ExpectedControl& want = MainControls[i];
        const ControlInfo& got = controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i + 1 << " \"" << want.text << "\"");
        EXPECT_STRCASEEQ(want.className, got.className);
        EXPECT_STREQ(want.text, got.text);
        EXPECT_EQ(want.style, CreatedStyle(got)) << std::hex << "style 0x" << got.style;
        EXPECT_EQ(want.x, got.rect.left) << "x";
        EXPECT_EQ(want.y, got.rect.top) << "y";
        EXPECT_EQ(want.width, got.rect.right - got.rect.left) << "width";
        EXPECT_EQ(ShownHeight(got, want.height), got.rect.bottom - got.rect.top) << "height";
        EXPECT_EQ(want.id, got.id) << "identifier";
        EXPECT_EQ(main, GetAncestor(got.hwnd, GA_PARENT)) << "a child of the main window";
        EXPECT_EQ(0, GetWindowLongA(got.hwnd, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY)
            << "extended style";
    }
}

TEST_F(MainWindow, StartsInOverwriteModeWithAnEmptyList) {
    EXPECT_EQ("overwrite=1 generate=0", Marks());
    EXPECT_EQ("", ListText());
}

TEST_F(MainWindow, RadioButtonsKeepExactlyOneMarkAndGiveFocusToTheWindow) {
    struct Step {
        const char* what;
        int click;
        const char* marks;
    };
    const Step steps[] = {
        {"Overwrite, already checked", ControlOverwrite, "overwrite=1 generate=0"},
        {"Generate", ControlGenerate, "overwrite=0 generate=1"},
        {"Generate, already checked", ControlGenerate, "overwrite=0 generate=1"},
        {"Overwrite", ControlOverwrite, "overwrite=1 generate=0"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        Click(step.click);
        EXPECT_EQ(step.marks, Marks());
        // The click put the focus on the button; the command hands it back.
        EXPECT_EQ(main, FocusOf(main)) << "keyboard focus";
    }
}

TEST_F(MainWindow, ModeChosenLastAppliesToTheRun) {
    MakeFile("a.mp3", "x\r\ny");
    Click(ControlGenerate);
    const char* names[] = {"a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    Click(ControlOverwrite);
    Click(ControlGenerate);
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("Copy of a.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("Copy of a.mp3 | a.mp3", Listing());
    EXPECT_EQ("x\ny", BytesOf("Copy of a.mp3"));
    EXPECT_EQ("x\r\ny", BytesOf("a.mp3"));
}

TEST_F(MainWindow, RunWithNothingPendingShowsNothingAndTouchesNoFile) {
    Click(ControlRun);
    EXPECT_EQ("<none>", OwnedDialogCaption(main)) << "run before any Open";

    MakeFile("a.mp3", "x\r\ny");
    Click(ControlGenerate);
    const char* names[] = {"a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("Copy of a.mp3"), NextBox(&box));
    Dismiss(box);
    ASSERT_TRUE(DeleteFileA(PathOf("Copy of a.mp3").c_str()));

    Click(ControlRun);
    EXPECT_EQ("<none>", OwnedDialogCaption(main)) << "second run of one selection";
    EXPECT_EQ("a.mp3", Listing());
    EXPECT_EQ("x\r\ny", BytesOf("a.mp3"));
    EXPECT_EQ(PathOf("a.mp3"), ListText()) << "the list keeps its line after the run";
}

// A run button command still queued while the end box is open (a second click, say)
// is dispatched by the box itself: the selection must no longer be pending by then.
TEST_F(MainWindow, RunCommandWhileTheEndBoxIsOpenDoesNotRunAgain) {
    MakeFile("a.mp3", "x\r\ny");
    const char* names[] = {"a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("a.mp3"), NextBox(&box));
    PostCommand(main, ControlRun);
    ASSERT_TRUE(SettleQueue(Control(ControlRun))) << "the program did not answer";
    EXPECT_EQ(1, CountOwnedDialogs(main)) << "a second run showed its own box";
    Dismiss(box);
    EXPECT_EQ("<none>", OwnedDialogCaption(main));
    EXPECT_EQ("a.mp3", Listing());
    EXPECT_EQ("x\ny", BytesOf("a.mp3"));
}

// Selecting or double-clicking a list line, or any command word whose
// notification code is not 0, must match none of the commands.
TEST_F(MainWindow, CommandsWithANotificationCodeAreIgnored) {
    MakeFile("a.mp3", "x\r\ny");
    const char* names[] = {"a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    const int ids[] = {CommandOpen, CommandAbout, CommandQuit, ControlOverwrite,
                       ControlGenerate, ControlRun, ControlFileList};
    const WORD codes[] = {LBN_SELCHANGE, LBN_DBLCLK, BN_DOUBLECLICKED, 0x8000};
    for (WORD code : codes)
        for (int id : ids) PostCommand(main, MAKEWPARAM(id, code));
    ASSERT_TRUE(SettleQueue(Control(ControlRun))) << "the program did not answer";
    EXPECT_TRUE(IsRunning(&guard.program)) << "Quit with a notification code ended the program";
    EXPECT_EQ("<none>", OwnedDialogCaption(main));
    EXPECT_EQ("overwrite=1 generate=0", Marks());
    EXPECT_EQ("a.mp3", Listing());
    EXPECT_EQ("x\r\ny", BytesOf("a.mp3"));

    // The selection is still pending: a real click runs it, still in overwrite mode.
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("a.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("x\ny", BytesOf("a.mp3"));
}

TEST_F(MainWindow, QuitAndClosingTheWindowEndWithExitCodeZero) {
    struct Way {
        const char* what;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {
        {"File/Quit", WM_COMMAND, static_cast<WPARAM>(CommandQuit)},
        {"close box", WM_SYSCOMMAND, SC_CLOSE},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        if (!IsRunning(&guard.program)) {
            StopProgram(&guard.program);
            ASSERT_TRUE(StartProgram(&guard.program));
            main = guard.program.main;
        }
        PostMessageA(main, way.message, way.wParam, 0);
        DWORD exitCode = 12345;
        ASSERT_TRUE(WaitForExit(&guard.program, &exitCode)) << "expected the program to end";
        EXPECT_EQ(0u, exitCode);
        EXPECT_FALSE(IsWindow(main)) << "expected the main window gone";
    }
}
