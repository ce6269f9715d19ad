// Fixture and small readers for the window's tests.
#include "ui_test_support.h"

void ProgramTest::SetUp() {
    ASSERT_TRUE(MakeTempFolder(folder, sizeof folder)) << "expected a temp folder";
    char why[128] = "";
    if (!StartProgram(&guard.program)) DescribeStartFailure(&guard.program, why, sizeof why);
    ASSERT_TRUE(guard.program.main != nullptr)
        << "expected " << ProgramPath() << " to start and show its main window; " << why;
    main = guard.program.main;
}

void ProgramTest::TearDown() {
    StopProgram(&guard.program);
    if (folder[0] != '\0') {
        EXPECT_TRUE(RemoveFolder(folder)) << "could not remove " << folder;
    }
}

std::string ProgramTest::PathOf(const char* name) const {
    char path[MAX_PATH];
    JoinPath(path, sizeof path, folder, name);
    return path;
}

void ProgramTest::MakeFile(const char* name, const std::string& bytes) const {
    ASSERT_TRUE(WriteBytes(PathOf(name).c_str(), bytes.data(), static_cast<DWORD>(bytes.size())))
        << "could not write " << PathOf(name);
}

std::string ProgramTest::BytesOf(const char* name) const {
    static char bytes[1 << 16];
    DWORD size = 0;
    if (!ReadBytes(PathOf(name).c_str(), bytes, sizeof bytes, &size)) return "<missing>";
    return std::string(bytes, size);
}

static std::string Joined(char (*items)[MAX_PATH], int count) {
    std::string text;
    for (int i = 0; i < count; i++) text += (i ? " | " : "") + std::string(items[i]);
    return text;
}

std::string ProgramTest::Listing() const {
    char names[32][MAX_PATH];
    return Joined(names, ListFolder(folder, names, 32));
}

std::string ProgramTest::ListText() const {
    char lines[32][MAX_PATH];
    return Joined(lines, ReadListLines(main, lines, 32));
}

std::string ProgramTest::Marks() const {
    return "overwrite=" + std::to_string(CheckState(main, ControlOverwrite)) +
           " generate=" + std::to_string(CheckState(main, ControlGenerate));
}

std::string ProgramTest::NextBox(HWND* box) const {
    *box = WaitForMessageBox(main);
    if (*box == nullptr) return "<none>";
    MessageBoxInfo info;
    ReadMessageBox(*box, &info);
    return std::string(info.caption) + ": " + info.text;
}

void ProgramTest::Dismiss(HWND box) const {
    EXPECT_TRUE(ClickOk(box)) << "expected OK to close the box";
}

void ProgramTest::Click(int controlId) const {
    ClickButton(Control(controlId));
    ASSERT_TRUE(SettleQueue(Control(ControlRun))) << "the program did not answer";
}

std::string OwnedDialogCaption(HWND owner) {
    HWND dialog = FindOwnedDialog(owner);
    if (dialog == nullptr) return "<none>";
    char caption[256];
    ReadWindowText(dialog, caption, sizeof caption);
    return caption;
}
