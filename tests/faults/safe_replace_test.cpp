// Overwrite mode never loses a file: the repair takes the picked file's place in one
// step (or, on Windows 95/98/Me, in steps that lose no byte), keeps its marks, and a
// "Copy of " file someone else made is never written over.
#include <cstring>

#include "fault_support.h"
#include "under_test.h"

namespace {

// The program started while one lives ends after that step of a replace in steps, with
// exit code 95; only a build answering as Windows 95 makes those steps.
struct PowerCutAfter {
    explicit PowerCutAfter(int step) { SetEnvironmentVariableA(Variable, std::to_string(step).c_str()); }
    ~PowerCutAfter() { SetEnvironmentVariableA(Variable, nullptr); }
    static constexpr const char* Variable = "DECRIMP_POWER_CUT_AFTER_STEP";
};
const bool ReplacesInSteps = std::strcmp(AnsweredAs, "95") == 0;
const char SetAside[] = "~Decrimp 95 original.tmp";

class SafeReplace : public FaultTest {
protected:
    DWORD KeptMarksOf(const char* name) const {
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
        return GetFileAttributesA(PathOf(name).c_str()) & kept;
    }
    void Restart() {
        StopProgram(&guard.program);
        ASSERT_TRUE(StartProgram(&guard.program)) << "the program did not start again";
        main = guard.program.main;
    }
};

const std::string OwnBackup = "the user's own backup, not a repair";
// Wine shows a Linux symbolic link as a plain file; only the file's final path, a call of
// Vista and later, tells it. The builds answering as older Windows cannot ask.
const bool TellsLinuxLinks = AnsweredAs[0] == '\0';

}  // namespace

// The program stops after each step, as at a power cut: every byte of the picked file
// and of its repair is still under some name, and the next run (another file of the
// folder, Overwrite mode) leaves the set-aside original as it is and sets its own file
// aside under a free name.
TEST_F(SafeReplace, PowerCutBetweenTheStepsOfAReplaceLosesNoByte) {
    if (!ReplacesInSteps) GTEST_SKIP() << "only a build answering as Windows 95 replaces in steps";
    const std::string missing = "<missing>";
    const struct {
        int step;
        const char* listing;
        const std::string& picked;
        const std::string& copy;
        const std::string& aside;
    } cases[] = {{1, "Copy of a.mp3 | b.mp3 | ~Decrimp 95 original.tmp", missing, Repaired, Damaged},
                 {2, "a.mp3 | b.mp3 | ~Decrimp 95 original.tmp", Repaired, missing, Damaged},
                 {3, "a.mp3 | b.mp3", Repaired, missing, missing}};
    for (const auto& c : cases) {
        SCOPED_TRACE("after step " + std::to_string(c.step));
        Prepare(BothModes[0], {"a.mp3", "b.mp3"});
        {
            PowerCutAfter cut(c.step);
            Restart();
        }
        ASSERT_TRUE(Pick({"a.mp3"}));
        ClickButton(Control(ControlRun));
        DWORD exitCode = 0;
        ASSERT_TRUE(WaitForExit(&guard.program, &exitCode)) << "the program did not stop";
        EXPECT_EQ(95u, exitCode);
        EXPECT_EQ(c.listing, Listing());
        EXPECT_EQ(c.picked, BytesOf("a.mp3"));
        EXPECT_EQ(c.copy, BytesOf("Copy of a.mp3"));
        EXPECT_EQ(c.aside, BytesOf(SetAside));

        Restart();
        ASSERT_TRUE(Pick({"b.mp3"}));
        EXPECT_EQ("File is Decrimped!: " + PathOf("b.mp3"), RunAndReadBoxes());
        EXPECT_EQ(c.aside, BytesOf(SetAside)) << "the set-aside original changed";
        EXPECT_EQ(Repaired, BytesOf("b.mp3"));
        EXPECT_EQ(missing, BytesOf("Copy of b.mp3"));
        EXPECT_EQ(missing, BytesOf("~Decrimp 95 original (2).tmp")) << "b.mp3's own set-aside file stayed";
    }
    ExpectAnotherRunWorks();
}

// Hidden and system stay as they were; the archive mark is set whatever it was, since
// the file has changed since its last backup. (Wine shows the archive mark on every
// file, so under Wine only a lost hidden or system mark can fail this.)
TEST_F(SafeReplace, RepairKeepsThePickedFilesMarks) {
    const struct {
        const char* name;
        DWORD marks;
    } cases[] = {{"hidden and system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
                 {"archive alone", FILE_ATTRIBUTE_ARCHIVE},
                 {"no mark", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(BothModes[0], {"a.mp3"});
        ASSERT_TRUE(SetFileAttributesA(PathOf("a.mp3").c_str(), c.marks ? c.marks : FILE_ATTRIBUTE_NORMAL));
        ASSERT_EQ(c.marks, KeptMarksOf("a.mp3") & c.marks) << "the marks did not take";
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ("File is Decrimped!: " + PathOf("a.mp3"), RunAndReadBoxes());
        EXPECT_EQ(Repaired, BytesOf("a.mp3"));
        EXPECT_EQ(c.marks | FILE_ATTRIBUTE_ARCHIVE, KeptMarksOf("a.mp3"));
        EXPECT_EQ("a.mp3", Listing());
    }
    ExpectAnotherRunWorks();
}

// The replace cannot happen while another program holds the copy: the picked file
// must still be there, whole, with the repair beside it.
TEST_F(SafeReplace, CopyHeldOpenByAnotherProgramLeavesThePickedFile) {
    Prepare(BothModes[0], {"a.mp3"});
    MakeFile("Copy of a.mp3", Repaired);  // an earlier run's repair, in use elsewhere
    ASSERT_TRUE(Pick({"a.mp3"}));
    {
        HeldFile held(PathOf("Copy of a.mp3"), FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);
        EXPECT_EQ("File Not Replaced!: " + PathOf("a.mp3") + "\n" + FailedEnd(0, 1, PathOf("a.mp3")),
                  RunAndReadBoxes());
    }
    EXPECT_EQ(Damaged, BytesOf("a.mp3"));
    EXPECT_EQ(Repaired, BytesOf("Copy of a.mp3"));
    ExpectAnotherRunWorks();
}

TEST_F(SafeReplace, ExistingCopyOfIsTakenOnlyWhenItHoldsTheRepair) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3"});
        MakeFile("Copy of a.mp3", OwnBackup);
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ("File Not Written!: " + PathOf("Copy of a.mp3") + "\n" + FailedEnd(0, 1, PathOf("a.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ(Damaged, BytesOf("a.mp3"));
        EXPECT_EQ(OwnBackup, BytesOf("Copy of a.mp3"));

        MakeFile("Copy of a.mp3", Repaired);  // what an earlier run left
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ("File is Decrimped!: " + ResultOf(mode, "a.mp3"), RunAndReadBoxes());
        EXPECT_EQ(Generates(mode) ? "Copy of a.mp3 | a.mp3" : "a.mp3", Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of a.mp3" : "a.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(SafeReplace, ExistingCopyOfOnAFullDiskIsKept) {
    if (!MountSmallDisk("full", "3m")) GTEST_SKIP() << "needs root to mount a small disk";
    // Writing the repair over the backup would fill the disk half way.
    size_t repairedSize = 0;
    const std::string big = DamagedOfSize(1600 * 1024, &repairedSize);
    const std::string backup(1 << 20, 'b');
    MakeFile("full\\big.mp3", big);
    MakeFile("full\\Copy of big.mp3", backup);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Click(mode.control);
        ASSERT_TRUE(PickIn("full", {"big.mp3"}));
        EXPECT_EQ("File Not Written!: " + PathOf("full\\Copy of big.mp3") + "\n" +
                      FailedEnd(0, 1, PathOf("full\\big.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ("Copy of big.mp3 | big.mp3", ListingOf("full"));
        EXPECT_TRUE(big == LargeBytesOf("full\\big.mp3")) << "the picked file changed";
        EXPECT_TRUE(backup == LargeBytesOf("full\\Copy of big.mp3")) << "the backup changed";
    }
    ExpectAnotherRunWorks();
}

// Wine renames the file a Linux link leads to, not the link: a picked link in Overwrite
// mode would lose song.mp3 to the backup name, and a "Copy of " link would move it onto
// the picked file. Neither is touched. (Wine's delete, too, reaches the file a link leads
// to, so the links are made and removed from Linux.)
TEST_F(SafeReplace, LinuxLinksAreNeitherReplacedNorTaken) {
    if (!TellsLinuxLinks) GTEST_SKIP() << "Windows before Vista has no call that tells a Linux link under Wine";
    const std::string emptied = "rm -f " + QuotedUnixPath(folder) + "/*";
    const struct {
        const char* link;
        const std::string& target;  // what song.mp3 holds
        const char* box;
        const char* plain;  // the plain file beside the link, or ""
    } rows[] = {
        {"a.mp3", Damaged, "File Not Replaced!: ", ""},
        {"Copy of a.mp3", Repaired, "File Not Written!: ", "a.mp3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.link);
        ASSERT_TRUE(RunUnix(emptied));
        Click(ControlOverwrite);
        if (row.plain[0]) MakeFile(row.plain, Damaged);
        MakeFile("song.mp3", row.target);
        ASSERT_TRUE(RunUnix("ln -s song.mp3 " + QuotedUnixPath(PathOf(row.link))));
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ(row.box + PathOf(row.link) + "\n" + FailedEnd(0, 1, PathOf("a.mp3")), RunAndReadBoxes());
        EXPECT_TRUE(RunUnix("test -L " + QuotedUnixPath(PathOf(row.link)))) << "the link is gone";
        EXPECT_EQ(row.target, BytesOf("song.mp3"));
        EXPECT_EQ(Damaged, BytesOf("a.mp3"));
        EXPECT_EQ(Repaired, BytesOf("Copy of a.mp3"));
        EXPECT_EQ("Copy of a.mp3 | a.mp3 | song.mp3", Listing());
    }
    ASSERT_TRUE(RunUnix(emptied));
    ExpectAnotherRunWorks();
}
