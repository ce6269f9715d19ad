// Whole jobs through the real window and the real Open dialog, as a user does them.
#include "ui_test_support.h"

namespace {

// Damaged files and what the repair must give, byte for byte.
const std::string MixedLineEnds("A\r\n\r\r\n\r\n\r", 9);
const std::string MixedRepaired("A\n\r\n\n\r", 6);
const std::string TextWithFF("\r\nline\xFF\r\n\r\nend\r", 15);
const std::string TextWithFFRepaired("\nline\xFF\n\nend\r", 12);

class EndToEnd : public ProgramTest {};

}  // namespace

TEST_F(EndToEnd, TwoFilesInGenerateModeAreListedSortedAndCopiedRepaired) {
    MakeFile("b.mp3", MixedLineEnds);
    MakeFile("a.mp3", TextWithFF);
    // Picked in the order b, a: the list sorts them, the run keeps the dialog's order.
    const char* names[] = {"b.mp3", "a.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 2)) << "expected the Open dialog to take both";
    EXPECT_EQ(PathOf("a.mp3") + " | " + PathOf("b.mp3"), ListText());
    Click(ControlGenerate);
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("Files are Decrimped!: " + PathOf("Copy of a.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("Copy of a.mp3 | Copy of b.mp3 | a.mp3 | b.mp3", Listing());
    EXPECT_EQ(TextWithFFRepaired, BytesOf("Copy of a.mp3"));
    EXPECT_EQ(MixedRepaired, BytesOf("Copy of b.mp3"));
    EXPECT_EQ(TextWithFF, BytesOf("a.mp3")) << "generate mode keeps the picked file";
    EXPECT_EQ(MixedLineEnds, BytesOf("b.mp3")) << "generate mode keeps the picked file";
    EXPECT_EQ(PathOf("a.mp3") + " | " + PathOf("b.mp3"), ListText()) << "list after the run";
}

TEST_F(EndToEnd, OneFileInOverwriteModeIsReplacedByItsRepair) {
    MakeFile("song.mp3", MixedLineEnds);
    MakeFile("other.mp3", TextWithFF);
    const char* names[] = {"song.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 1));
    EXPECT_EQ(PathOf("song.mp3"), ListText());
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("File is Decrimped!: " + PathOf("song.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("other.mp3 | song.mp3", Listing()) << "no Copy of file left behind";
    EXPECT_EQ(MixedRepaired, BytesOf("song.mp3"));
    EXPECT_EQ(TextWithFF, BytesOf("other.mp3")) << "a file not picked";
}

TEST_F(EndToEnd, FileHeldOpenByAnotherProcessIsReportedAndTheRunGoesOn) {
    struct Case {
        const char* what;
        const char* names[2];
    };
    const Case cases[] = {
        {"held file picked first", {"held.mp3", "free.mp3"}},
        {"held file picked last", {"free.mp3", "held.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The folder itself stays: the Open dialog made it the program's current one.
        ASSERT_TRUE(RemoveFiles(folder));
        MakeFile("held.mp3", MixedLineEnds);
        MakeFile("free.mp3", TextWithFF);
        Click(ControlGenerate);
        ASSERT_TRUE(OpenFiles(main, folder, c.names, 2));
        HANDLE held = CreateFileA(PathOf("held.mp3").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << "could not hold the file open";
        ClickButton(Control(ControlRun));
        HWND box;
        EXPECT_EQ("File Not Open!: " + PathOf("held.mp3"), NextBox(&box));
        Dismiss(box);
        // Never the held file's path under a caption that calls it decrimped.
        EXPECT_EQ("Files Not All Decrimped!: 1 of 2 files is decrimped.", NextBox(&box));
        Dismiss(box);
        CloseHandle(held);
        EXPECT_EQ("Copy of free.mp3 | free.mp3 | held.mp3", Listing());
        EXPECT_EQ(TextWithFFRepaired, BytesOf("Copy of free.mp3"));
        EXPECT_EQ(MixedLineEnds, BytesOf("held.mp3"));
    }
}

TEST_F(EndToEnd, CancelAfterAnOpenKeepsTheEarlierSelection) {
    MakeFile("a.mp3", MixedLineEnds);
    MakeFile("b.mp3", TextWithFF);
    const char* names[] = {"a.mp3", "b.mp3"};
    ASSERT_TRUE(OpenFiles(main, folder, names, 2));
    std::string listed = ListText();
    ASSERT_TRUE(CancelOpen(main)) << "expected Cancel to close the Open dialog";
    EXPECT_EQ(listed, ListText()) << "list after Cancel";
    ClickButton(Control(ControlRun));
    HWND box;
    EXPECT_EQ("Files are Decrimped!: " + PathOf("b.mp3"), NextBox(&box));
    Dismiss(box);
    EXPECT_EQ("a.mp3 | b.mp3", Listing());
    EXPECT_EQ(MixedRepaired, BytesOf("a.mp3"));
    EXPECT_EQ(TextWithFFRepaired, BytesOf("b.mp3"));
}
