// Names typed by hand in the Open dialog that reach a file in more than one way:
// the same file twice, and a name with its sub-folder.
#include "fault_support.h"

namespace {

const std::string Kept = "an unpicked file\r\n";

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
