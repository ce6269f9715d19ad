// Selections at their limits: more files than the selection buffer holds, a drive's
// root, long names, and folders deeper than the Open dialog can name.
#include "fault_support.h"

#include <vector>

namespace {

const int SelectionCapacity = 4000;  // characters the program's selection buffer holds

class SelectionLimits : public FaultTest {
protected:
    // Names whose list, after the folder, fills exactly extra + 4000 characters.
    std::vector<std::string> NamesFilling(char first, int extra) const {
        const int folderPart = lstrlenA(folder) + 1;
        int room = SelectionCapacity - folderPart - 1 + extra;  // the closing empty string
        std::vector<std::string> names;
        for (int i = 0; room > 0; i++) {
            const int length = room >= 200 ? 99 : room - 1;  // each name takes its NUL too
            std::string name = first + std::to_string(10 + i);
            name += std::string(static_cast<size_t>(length) - name.size() - 4, 'x') + ".mp3";
            names.push_back(name);
            room -= length + 1;
        }
        return names;
    }
    bool PickAll(const char* where, const std::vector<std::string>& names) const {
        std::vector<const char*> list;
        for (const std::string& name : names) list.push_back(name.c_str());
        return OpenFiles(main, where, list.data(), static_cast<int>(list.size()));
    }
    int ListCount() const { return static_cast<int>(SendTo(Control(ControlFileList), LB_GETCOUNT, 0, 0)); }
    std::string FirstListed() const {
        static char lines[64][MAX_PATH];
        return ReadListLines(main, lines, 64) > 0 ? lines[0] : "<empty>";
    }
    std::string InRoot(const std::string& name) const { return RootDrive + name; }
};

}  // namespace

TEST_F(SelectionLimits, LargestSelectionIsTakenWholeAndOneMoreCharacterIsRefused) {
    const std::vector<std::string> fits = NamesFilling('a', 0);
    const std::vector<std::string> over = NamesFilling('b', 1);
    ASSERT_EQ(fits.size(), over.size());
    for (const std::string& name : fits) MakeFile(name.c_str(), Damaged);
    for (const std::string& name : over) MakeFile(name.c_str(), Damaged);
    const int count = static_cast<int>(fits.size());

    ASSERT_TRUE(PickAll(folder, fits));
    EXPECT_EQ(count, ListCount()) << "every picked file listed";
    ASSERT_TRUE(PickAll(folder, over));
    HWND box;
    EXPECT_EQ("Too Many Files!: The picked files do not fit in one selection.\n"
              "Please open fewer files at a time.",
              NextBox(&box));
    if (box != nullptr) Dismiss(box);
    EXPECT_EQ(count, ListCount()) << "the earlier selection stays listed";
    EXPECT_EQ(PathOf(fits.front().c_str()), FirstListed());

    Click(ControlOverwrite);
    EXPECT_EQ("Files are Decrimped!: " + PathOf(fits.back().c_str()), RunAndReadBoxes());
    for (const std::string& name : fits) EXPECT_EQ(Repaired, BytesOf(name.c_str())) << name;
    for (const std::string& name : over) EXPECT_EQ(Damaged, BytesOf(name.c_str())) << name;
    ExpectAnotherRunWorks();
}

TEST_F(SelectionLimits, FilesAtADrivesRootGetOneSeparator) {
    ASSERT_TRUE(MapRootDrive()) << "could not map a drive letter to the test folder";
    MakeFile("a.mp3", Damaged);
    MakeFile("b.mp3", Damaged);
    ASSERT_TRUE(OpenFiles(main, RootDrive, std::vector<const char*>{"a.mp3", "b.mp3"}.data(), 2));
    EXPECT_EQ(InRoot("a.mp3") + " | " + InRoot("b.mp3"), ListText());
    Click(ControlGenerate);
    EXPECT_EQ("Files are Decrimped!: " + InRoot("Copy of b.mp3"), RunAndReadBoxes());
    EXPECT_EQ("Copy of a.mp3 | Copy of b.mp3 | a.mp3 | b.mp3", Listing());
    EXPECT_EQ(Repaired, BytesOf("Copy of a.mp3"));
    EXPECT_EQ(Repaired, BytesOf("Copy of b.mp3"));

    ASSERT_TRUE(OpenFiles(main, RootDrive, std::vector<const char*>{"a.mp3"}.data(), 1));
    EXPECT_EQ(InRoot("a.mp3"), ListText());
    Click(ControlOverwrite);
    EXPECT_EQ("File is Decrimped!: " + InRoot("a.mp3"), RunAndReadBoxes());
    EXPECT_EQ(Repaired, BytesOf("a.mp3"));
}

TEST_F(SelectionLimits, NamesTooLongForTheirCopyAreSkipped) {
    // At a drive's root the Windows paths stay within the 260 characters of the ANSI calls.
    if (!UseShortRootFolder()) GTEST_SKIP() << "needs root to make a folder at the Linux root";
    ASSERT_STREQ("R:", folder);
    const std::string fit240(240, 'a'), over248(248, 'b'), fit247(247, 'c'), over253(253, 'd');
    for (const std::string* name : {&fit240, &over248, &fit247, &over253})
        MakeFile(name->c_str(), Damaged);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        ASSERT_TRUE(OpenFiles(main, RootDrive,
                              std::vector<const char*>{fit240.c_str(), over248.c_str(),
                                                       fit247.c_str(), over253.c_str()}
                                  .data(),
                              4));
        Click(mode.control);
        EXPECT_EQ("File Name Too Long!: " + over248 + "\nFile Name Too Long!: " + over253 + "\n" +
                      FailedEnd(2, 4, ""),
                  RunAndReadBoxes());
        const bool generates = mode.control == ControlGenerate;
        for (const std::string* name : {&fit240, &fit247}) {
            EXPECT_EQ(Repaired, BytesOf((generates ? "Copy of " + *name : *name).c_str()));
            if (generates) {
                EXPECT_EQ(Damaged, BytesOf(name->c_str()));
            }
        }
        for (const std::string* name : {&over248, &over253}) EXPECT_EQ(Damaged, BytesOf(name->c_str()));
        char names[8][MAX_PATH];
        EXPECT_EQ(generates ? 6 : 4, ListFolder(folder, names, 8)) << "no other file made";
        for (const std::string* name : {&fit240, &fit247}) MakeFile(name->c_str(), Damaged);
    }
}

TEST_F(SelectionLimits, DeepFolderConvertsWhatTheDialogCanName) {
    ASSERT_TRUE(MapRootDrive()) << "could not map a drive letter to the test folder";
    const std::string outer = InRoot(std::string(100, 'd'));
    const std::string deep = outer + "\\" + std::string(100, 'e');
    ASSERT_TRUE(CreateDirectoryA(outer.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string fits(40, 'f');  // its copy's path: 254 characters
    const std::string named = deep + "\\" + fits;
    ASSERT_TRUE(WriteBytes(named.c_str(), Damaged.data(), static_cast<DWORD>(Damaged.size())));
    ASSERT_TRUE(OpenFiles(main, deep.c_str(), std::vector<const char*>{fits.c_str()}.data(), 1));
    Click(ControlGenerate);
    const std::string copy = deep + "\\Copy of " + fits;
    EXPECT_EQ("File is Decrimped!: " + copy, RunAndReadBoxes());
    char bytes[64];
    DWORD size = 0;
    EXPECT_TRUE(ReadBytes(copy.c_str(), bytes, sizeof bytes, &size));
    EXPECT_EQ(Repaired, std::string(bytes, size));
    StopProgram(&guard.program);  // its current folder is the deep one, since the dialog
    EXPECT_TRUE(DeleteFileA(copy.c_str()) && DeleteFileA(named.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(deep.c_str()) && RemoveDirectoryA(outer.c_str()));
}


TEST_F(SelectionLimits, CopyPathOverThePlatformLimitTouchesNothing) {
    // Under Wine the dialog takes the picked file's path (its Linux path one longer);
    // the copy's path, 8 characters more, must stay within the ANSI calls' 259.
    if (!UseShortRootFolder()) GTEST_SKIP() << "needs root to make a folder at the Linux root";
    const std::string deep = InRoot(std::string(100, 'd'));
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string fits(147, 'f'), over(150, 'o');  // copy paths of 259 and 262 characters
    const std::string fitsPath = deep + "\\" + fits, overPath = deep + "\\" + over;
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        for (const std::string* path : {&fitsPath, &overPath})
            ASSERT_TRUE(WriteBytes(path->c_str(), Damaged.data(), static_cast<DWORD>(Damaged.size())));
        ASSERT_TRUE(OpenFiles(main, deep.c_str(), std::vector<const char*>{fits.c_str(), over.c_str()}.data(), 2));
        Click(mode.control);
        EXPECT_EQ("File Name Too Long!: " + over + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
        const bool generates = mode.control == ControlGenerate;
        char names[8][MAX_PATH];
        ASSERT_EQ(generates ? 3 : 2, ListFolder(deep.c_str(), names, 8)) << "no other file made";
        EXPECT_EQ(generates ? "Copy of " + fits : fits, std::string(names[0]));
        EXPECT_EQ(over, std::string(names[generates ? 2 : 1]));
        char bytes[64];
        DWORD size = 0;
        EXPECT_TRUE(ReadBytes((deep + "\\" + names[0]).c_str(), bytes, sizeof bytes, &size));
        EXPECT_EQ(Repaired, std::string(bytes, size));
        EXPECT_TRUE(ReadBytes(overPath.c_str(), bytes, sizeof bytes, &size));
        EXPECT_EQ(Damaged, std::string(bytes, size)) << "the file whose copy would not fit";
        ASSERT_TRUE(RemoveFiles(deep.c_str()));
    }
    StopProgram(&guard.program);  // its current folder is the deep one, since the dialog
    EXPECT_TRUE(RemoveDirectoryA(deep.c_str()));
}
