// Names typed by hand in the Open dialog that reach a file in more than one way:
// the same file twice, and a name with its sub-folder.
#include <cstring>

#include "fault_support.h"
#include "under_test.h"

namespace {

const std::string Kept = "an unpicked file\r\n";
// Windows 95/98/Me list a folder only through the code page, where a.mp3 and A.mp3 are
// one name: the ANSI calls may reach either file.
const bool ListsThroughTheCodePage = std::strcmp(AnsweredAs, "95") == 0;

class PathFaults : public FaultTest {
protected:
    void TearDown() override {
        StopProgram(&guard.program);
        for (const char* sub : {"sub", "Copy of sub"}) {
            if (FileExists(PathOf(sub).c_str())) {
                EXPECT_TRUE(RemoveFolder(PathOf(sub).c_str())) << "could not remove " << sub;
            }
        }
        FaultTest::TearDown();
    }
    // Empties the folder and sets the mode.
    void Prepare(const Mode& mode) {
        ASSERT_TRUE(RemoveFiles(folder));
        Click(mode.control);
    }
    static bool Generates(const Mode& mode) { return mode.control == ControlGenerate; }

    // Names only Linux (a share, a Linux program) makes in one folder: Wine's own calls
    // drop a trailing dot or space and take a name in another case for the file already
    // there, so such files are made, and read back, from the Linux side.
    std::string LinuxPathOf(const char* name) const { return QuotedUnixPath(folder) + "/'" + name + "'"; }
    bool MakeOnLinux(const char* name, const std::string& bytes) const {
        MakeFile("linux.tmp", bytes);
        return RunUnix("mv " + QuotedUnixPath(PathOf("linux.tmp")) + " " + LinuxPathOf(name));
    }
    bool HoldsOnLinux(const char* name, const std::string& bytes) const {
        MakeFile("linux.tmp", bytes);
        const bool same = RunUnix("cmp " + QuotedUnixPath(PathOf("linux.tmp")) + " " + LinuxPathOf(name));
        return DeleteFileA(PathOf("linux.tmp").c_str()) && same;
    }
    bool LinuxFolderHolds(int count) const {
        return RunUnix("test $(ls -A " + QuotedUnixPath(folder) + " | wc -l) -eq " + std::to_string(count));
    }
    bool EmptyOnLinux() const { return RunUnix("rm -f " + QuotedUnixPath(folder) + "/*"); }
};

}  // namespace

TEST_F(PathFaults, SameFilePickedTwiceIsListedAndRepairedOnce) {
    for (const char* again : {"a.mp3", "A.MP3"}) {
        for (const Mode& mode : BothModes) {
            SCOPED_TRACE(std::string(mode.name) + ", picked again as " + again);
            Prepare(mode);
            MakeFile("a.mp3", Damaged);  // a second pass would take CR LF pairs it really holds
            ASSERT_TRUE(Pick({"a.mp3", again}));
            EXPECT_EQ(PathOf("a.mp3"), ListText());
            const char* result = Generates(mode) ? "Copy of a.mp3" : "a.mp3";
            EXPECT_EQ("Files are Decrimped!: " + PathOf(result), RunAndReadBoxes());
            EXPECT_EQ(Generates(mode) ? "Copy of a.mp3 | a.mp3" : "a.mp3", Listing());
            EXPECT_EQ(Repaired, BytesOf(result));
            if (Generates(mode)) {
                EXPECT_EQ(Damaged, BytesOf("a.mp3"));
            }
        }
    }
    ExpectAnotherRunWorks();
}

TEST_F(PathFaults, NameWithSubFolderIsRepairedInItsOwnFolder) {
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    // Where the copy went when the prefix was put before the whole name.
    ASSERT_TRUE(CreateDirectoryA(PathOf("Copy of sub").c_str(), nullptr));
    MakeFile("Copy of sub\\a.mp3", Kept);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Click(mode.control);
        MakeFile("sub\\a.mp3", Damaged);
        MakeFile("b.mp3", Damaged);
        ASSERT_TRUE(Pick({"sub\\a.mp3", "b.mp3"}));
        EXPECT_EQ(PathOf("b.mp3") + " | " + PathOf("sub\\a.mp3"), ListText());
        const bool generates = Generates(mode);
        EXPECT_EQ("Files are Decrimped!: " + PathOf(generates ? "Copy of b.mp3" : "b.mp3"), RunAndReadBoxes());
        EXPECT_EQ(generates ? "Copy of b.mp3 | Copy of sub | b.mp3 | sub" : "Copy of sub | b.mp3 | sub", Listing());
        EXPECT_EQ(generates ? "Copy of a.mp3 | a.mp3" : "a.mp3", ListingOf("sub"));
        EXPECT_EQ("a.mp3", ListingOf("Copy of sub"));
        EXPECT_EQ(Repaired, BytesOf(generates ? "sub\\Copy of a.mp3" : "sub\\a.mp3"));
        EXPECT_EQ(generates ? Damaged : Repaired, BytesOf("sub\\a.mp3"));
        EXPECT_EQ(Kept, BytesOf("Copy of sub\\a.mp3"));
        ASSERT_TRUE(RemoveFiles(PathOf("sub").c_str()));
        ASSERT_TRUE(DeleteFileA(PathOf("b.mp3").c_str()));
        if (generates) {
            ASSERT_TRUE(DeleteFileA(PathOf("Copy of b.mp3").c_str()));
        }
    }
    ExpectAnotherRunWorks();
}

// Spellings the Open dialog takes for a file already picked: the file is listed and
// repaired once, whichever spelling comes first.
TEST_F(PathFaults, SameFileUnderAnotherSpellingIsListedAndRepairedOnce) {
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    const struct {
        const char* first;
        const char* second;
        const char* listed;
        const char* copy;  // where generate mode puts the listed one's copy
    } rows[] = {
        {"a.mp3", "a.mp3.", "a.mp3", "Copy of a.mp3"},
        {"a.mp3.", "a.mp3", "a.mp3", "Copy of a.mp3"},
        {"a.mp3", "a.mp3 ", "a.mp3", "Copy of a.mp3"},
        {"./a.mp3", "a.mp3", "./a.mp3", "./Copy of a.mp3"},
        {"sub/../a.mp3", "a.mp3", "sub/../a.mp3", "sub/../Copy of a.mp3"},
    };
    for (const auto& row : rows) {
        for (const Mode& mode : BothModes) {
            SCOPED_TRACE(std::string(mode.name) + ", \"" + row.first + "\" \"" + row.second + "\"");
            DeleteFileA(PathOf("Copy of a.mp3").c_str());  // the row before's, if any
            MakeFile("a.mp3", Damaged);
            Click(mode.control);
            ASSERT_TRUE(Pick({row.first, row.second}));
            EXPECT_EQ(PathOf(row.listed), ListText());
            EXPECT_EQ("Files are Decrimped!: " + PathOf(Generates(mode) ? row.copy : row.listed), RunAndReadBoxes());
            EXPECT_EQ(Generates(mode) ? "Copy of a.mp3 | a.mp3 | sub" : "a.mp3 | sub", Listing());
            EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of a.mp3" : "a.mp3"));
        }
    }
    ExpectAnotherRunWorks();
}

// Wine's drive holds a.mp3 and A.mp3 as two files, as a case-sensitive folder does on
// Windows 10: picked together, both are listed. In generate mode Wine takes the name
// "Copy of A.mp3" for the "Copy of a.mp3" just made, so that one copy is refused, and
// nothing is written over. Answering as Windows 95, whose calls cannot tell them apart
// and which gives no file numbers to tell them by, they are listed once and refused.
TEST_F(PathFaults, NamesDifferingOnlyInCaseAreTwoFiles) {
    const std::string otherDamage("B\r\n\r\n", 5);
    const std::string otherRepaired("B\n\n", 3);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        ASSERT_TRUE(EmptyOnLinux());
        Click(mode.control);
        MakeFile("a.mp3", Damaged);
        ASSERT_TRUE(MakeOnLinux("A.mp3", otherDamage));
        ASSERT_TRUE(Pick({"a.mp3", "A.mp3"}));
        const std::string list = ListText();
        if (ListsThroughTheCodePage) {
            // Without file numbers the names decide, and to 95 they are one.
            EXPECT_EQ(PathOf("a.mp3"), list);
            EXPECT_EQ("File Not Open!: " + PathOf("a.mp3") + "\n" + FailedEnd(0, 1, PathOf("a.mp3")),
                      RunAndReadBoxes());
            EXPECT_TRUE(HoldsOnLinux("a.mp3", Damaged));
            EXPECT_TRUE(HoldsOnLinux("A.mp3", otherDamage));
            EXPECT_TRUE(LinuxFolderHolds(2));
            continue;
        }
        EXPECT_TRUE(list == PathOf("A.mp3") + " | " + PathOf("a.mp3") || list == PathOf("a.mp3") + " | " + PathOf("A.mp3"))
            << list;
        if (Generates(mode)) {
            EXPECT_EQ("File Not Written!: " + PathOf("Copy of A.mp3") + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
            EXPECT_TRUE(HoldsOnLinux("Copy of a.mp3", Repaired));
            EXPECT_TRUE(HoldsOnLinux("a.mp3", Damaged));
            EXPECT_TRUE(HoldsOnLinux("A.mp3", otherDamage));
            EXPECT_TRUE(LinuxFolderHolds(3));
        } else {
            // Wine's ReplaceFileA moves a.mp3 to the backup name, then finds the name a.mp3
            // taken by A.mp3 and stops; so does the rename back. Its bytes stay under the
            // backup name, which the box names, and nothing is written over.
            EXPECT_EQ("Original Kept Aside!: " + PathOf("~Decrimp 95 original.tmp") + "\nFile Not Replaced!: " +
                          PathOf("a.mp3") + "\nFile Not Written!: " + PathOf("Copy of A.mp3") + "\n" +
                          FailedEnd(0, 2, ""),
                      RunAndReadBoxes());
            EXPECT_TRUE(HoldsOnLinux("~Decrimp 95 original.tmp", Damaged));
            EXPECT_TRUE(HoldsOnLinux("Copy of a.mp3", Repaired));
            EXPECT_TRUE(HoldsOnLinux("A.mp3", otherDamage));
            EXPECT_TRUE(LinuxFolderHolds(3));
        }
    }
    ASSERT_TRUE(EmptyOnLinux());
    ExpectAnotherRunWorks();
}

// A file picked by its 8.3 alias keeps its long name: the repair in its place, or its
// copy, is named after the long name, never after the alias.
TEST_F(PathFaults, ShortNameTypedKeepsTheLongName) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode);
        MakeFile("a long name.mp3", Damaged);
        char shortPath[MAX_PATH];
        const DWORD length = GetShortPathNameA(PathOf("a long name.mp3").c_str(), shortPath, MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        const std::string alias = std::strrchr(shortPath, '\\') + 1;
        ASSERT_NE("a long name.mp3", alias) << "no 8.3 alias here";
        ASSERT_TRUE(Pick({alias.c_str()}));
        const std::string boxes = RunAndReadBoxes();
        if (Generates(mode)) {
            EXPECT_EQ("File is Decrimped!: " + PathOf("Copy of a long name.mp3"), boxes);
        } else {
            EXPECT_EQ(0u, boxes.rfind("File is Decrimped!: ", 0)) << boxes;
        }
        EXPECT_EQ(Generates(mode) ? "Copy of a long name.mp3 | a long name.mp3" : "a long name.mp3", Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of a long name.mp3" : "a long name.mp3"));
        char shortAfter[MAX_PATH] = "<none>";
        GetShortPathNameA(PathOf("a long name.mp3").c_str(), shortAfter, MAX_PATH);
        EXPECT_STREQ(shortPath, shortAfter) << "the short name changed";

        // Picked by both names, it is one file, also where no file numbers tell (95).
        SCOPED_TRACE("picked by its long name and its alias");
        Prepare(mode);
        MakeFile("a long name.mp3", Damaged);  // a second pass would take CR LF pairs it really holds
        ASSERT_TRUE(Pick({"a long name.mp3", alias.c_str()}));
        EXPECT_EQ(PathOf("a long name.mp3"), ListText());
        const char* result = Generates(mode) ? "Copy of a long name.mp3" : "a long name.mp3";
        EXPECT_EQ("Files are Decrimped!: " + PathOf(result), RunAndReadBoxes());
        EXPECT_EQ(Repaired, BytesOf(result));
    }
    ExpectAnotherRunWorks();
}

// The ANSI calls drop a trailing dot or space: "b.mp3." would reach the unpicked b.mp3.
TEST_F(PathFaults, NameEndingInDotOrSpaceTouchesNoOtherFile) {
    for (const char* picked : {"b.mp3.", "b.mp3 "}) {
        for (const Mode& mode : BothModes) {
            SCOPED_TRACE(std::string(mode.name) + ", \"" + picked + "\"");
            ASSERT_TRUE(EmptyOnLinux());
            Click(mode.control);
            MakeFile("b.mp3", Kept);
            ASSERT_TRUE(MakeOnLinux(picked, Damaged));
            ASSERT_TRUE(Pick({picked}));
            EXPECT_EQ(PathOf(picked), ListText());
            EXPECT_EQ("File Not Open!: " + PathOf(picked) + "\n" + FailedEnd(0, 1, PathOf(picked)), RunAndReadBoxes());
            EXPECT_TRUE(HoldsOnLinux("b.mp3", Kept)) << "the unpicked file changed";
            EXPECT_TRUE(HoldsOnLinux(picked, Damaged));
            EXPECT_TRUE(LinuxFolderHolds(2)) << "a file was made";
        }
    }
    ASSERT_TRUE(EmptyOnLinux());
    ExpectAnotherRunWorks();
}

// A device name opens the device. Wine has COM1 only where the prefix links it to one:
// here the null device, which answers at once where a serial line may never answer.
TEST_F(PathFaults, DeviceNamesAreNeverRead) {
    const std::string com1Link = "\"$WINEPREFIX/dosdevices/com1\"";
    ASSERT_TRUE(RunUnix("ln -sfn /dev/null " + com1Link));
    for (const char* device : {"nul.mp3", "COM1.mp3"}) {
        for (const Mode& mode : BothModes) {
            SCOPED_TRACE(std::string(mode.name) + ", " + device);
            Prepare(mode);
            ASSERT_TRUE(Pick({device}));
            EXPECT_EQ("File Not Open!: " + PathOf(device) + "\n" + FailedEnd(0, 1, PathOf(device)), RunAndReadBoxes());
            EXPECT_EQ("", Listing()) << "a copy was made";
        }
    }
    EXPECT_TRUE(RunUnix("rm " + com1Link));
    ExpectAnotherRunWorks();
}
