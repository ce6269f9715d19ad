// The two walks over the Open dialog's result: listing and running, sound and malformed.
#include <gtest/gtest.h>

#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "recorded_ui.h"
#include "selection.h"
#include "state.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

OwnerWindow const Owner = reinterpret_cast<OwnerWindow>(0x5678);

// Puts bytes at the start of SelectionBuffer; the rest holds stale non-NUL bytes,
// as a reused buffer would, so a walk that overruns a closing NUL is caught.
void LoadSelection(const std::string& bytes, unsigned short offset) {
    ASSERT_LE(bytes.size(), static_cast<size_t>(SelectionBufferSize));
    std::memset(SelectionBuffer, 'Z', sizeof SelectionBuffer);
    std::memcpy(SelectionBuffer, bytes.data(), bytes.size());
    std::memset(WorkPath, 'W', sizeof WorkPath);
    NameOffset = offset;
    SelectionPending = 1;
}

std::vector<std::string> Listed;
void AddToListed(const char* path) { Listed.push_back(path); }

std::vector<std::string> ListLoaded() {
    Listed.clear();
    ListSelection(AddToListed);
    return Listed;
}

std::string Z(const char* text) { return std::string(text) + '\0'; }

struct ListCase {
    const char* name;
    std::string buffer;
    unsigned short offset;
    std::vector<std::string> expected;
};

TEST(ListSelection, FormsAndMalformedBuffers) {
    const std::string longName(300, 'L');
    const ListCase cases[] = {
        {"single", Z("C:\\MUSIC\\a.mp3"), 9, {"C:\\MUSIC\\a.mp3"}},
        {"list", Z("C:\\MUSIC") + Z("a.mp3") + Z("b.mp3") + Z(""), 9, {"C:\\MUSIC\\a.mp3", "C:\\MUSIC\\b.mp3"}},
        {"three in dialog order", Z("D:\\x") + Z("c") + Z("a") + Z("b") + Z(""), 5, {"D:\\x\\c", "D:\\x\\a", "D:\\x\\b"}},
        {"offset 0 on one path", Z("C:\\MUSIC\\a.mp3"), 0, {}},
        {"offset past the directory", Z("C:\\MUSIC") + Z("a.mp3") + Z(""), 12, {}},
        {"offset on the directory's end", Z("C:\\MUSIC") + Z("a.mp3") + Z(""), 8, {}},
        {"empty buffer", Z("") + Z(""), 1, {}},
        {"first string fills WorkPath", std::string(WorkPathSize, 'p') + Z("") + Z(""), 9, {}},
        {"name too long for the name buffer", Z("C:\\M") + Z("a") + Z(longName.c_str()) + Z("c") + Z(""), 5,
         {"C:\\M\\a", "C:\\M\\c"}},
        {"no closing NUL before stale bytes", Z("C:\\M") + Z("a"), 5, {"C:\\M\\a"}},
        {"the same file typed again", Z("C:\\M") + Z("a.mp3") + Z("b") + Z("A.MP3") + Z("a.mp3") + Z(""), 5,
         {"C:\\M\\a.mp3", "C:\\M\\b"}},
    };
    for (const ListCase& c : cases) {
        LoadSelection(c.buffer, c.offset);
        EXPECT_EQ(ListLoaded(), c.expected) << c.name;
        EXPECT_TRUE(std::memcmp(SelectionBuffer, c.buffer.data(), c.buffer.size()) == 0) << c.name << ": buffer changed";
    }
}

TEST(ListSelection, NamesRunningToTheBufferEndAreNotReadPast) {
    std::string bytes = Z("C:\\M") + Z("a");
    bytes += std::string(SelectionBufferSize - bytes.size() - 4, 'n') + Z("end");  // ends exactly at the buffer end
    LoadSelection(bytes, 5);
    EXPECT_EQ(ListLoaded(), std::vector<std::string>{"C:\\M\\a"});
    std::string full = Z("C:\\M") + Z("a");
    full += Z(std::string(SelectionBufferSize - full.size() - 3, 'n').c_str()) + Z("x");  // x ends at the buffer end
    LoadSelection(full, 5);
    EXPECT_EQ(ListLoaded(), (std::vector<std::string>{"C:\\M\\a", std::string("C:\\M\\x")}));
}

class RunSelectionTest : public ::testing::Test {
protected:
    fs::path folder;
    void SetUp() override {
        folder = MakeScratchFolder("run");
        RecordedEvents().clear();
        GenerateNewFiles = 0;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string Dir() const { return folder.string(); }
    void LoadNames(const std::vector<std::string>& names) {
        std::string bytes = Z(Dir().c_str());
        for (const std::string& name : names) bytes += Z(name.c_str());
        LoadSelection(bytes + Z(""), static_cast<unsigned short>(Dir().size() + 1));
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> seen;
        for (const RecordedEvent& e : RecordedEvents())
            seen.push_back(e.kind == "arrow" ? "arrow" : e.caption + " " + e.text);
        return seen;
    }
};

TEST_F(RunSelectionTest, ConvertsInDialogOrderAndNamesTheLastPath) {
    LoadSelection(Z("C:\\MUSIC") + Z("a.mp3") + Z("b.mp3") + Z(""), 9);
    RunSelection(Owner);
    const std::vector<std::string> expected = {
        "File Not Open! C:\\MUSIC\\a.mp3", "File Not Open! C:\\MUSIC\\b.mp3", "arrow",
        "No File Decrimped! 0 of 2 files are decrimped."};
    EXPECT_EQ(Boxes(), expected);
    EXPECT_EQ(RecordedEvents().back().icon, BoxError);
    EXPECT_EQ(RecordedEvents().back().owner, Owner);
    EXPECT_EQ(SelectionPending, 0);
}

TEST_F(RunSelectionTest, SingleFileInGenerateModeShowsItsCopy) {
    WriteAll(folder / "a.mp3", ToBytes("x\r\ny"));
    const std::string path = Dir() + "\\a.mp3";
    LoadSelection(Z(path.c_str()), static_cast<unsigned short>(Dir().size() + 1));
    GenerateNewFiles = 1;
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"arrow", "File is Decrimped! " + Dir() + "\\Copy of a.mp3"}));
    EXPECT_EQ(ReadAll(folder / "Copy of a.mp3"), ToBytes("x\ny"));
    EXPECT_EQ(SelectionPending, 0);
}

TEST_F(RunSelectionTest, FailedMiddleFileDoesNotStopTheRun) {
    WriteAll(folder / "1.mp3", ToBytes("1\r\n"));
    WriteAll(folder / "3.mp3", ToBytes("3\r\n"));
    LoadNames({"1.mp3", "2.mp3", "3.mp3"});
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"File Not Open! " + Dir() + "\\2.mp3", "arrow",
                                                 "Files Not All Decrimped! 2 of 3 files are decrimped."}));
    EXPECT_EQ(RecordedEvents().back().icon, BoxWarning);
    EXPECT_EQ(ReadAll(folder / "1.mp3"), ToBytes("1\n"));
    EXPECT_EQ(ReadAll(folder / "3.mp3"), ToBytes("3\n"));
    EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"1.mp3", "3.mp3"}));
}

TEST_F(RunSelectionTest, PickedCopyIsNeverOverwrittenByItsOriginal) {
    for (int generate : {0, 1}) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        RecordedEvents().clear();
        WriteAll(folder / "a.mp3", ToBytes("a\r\n"));
        WriteAll(folder / "Copy of a.mp3", ToBytes("c\r\n"));
        LoadNames({"a.mp3", "Copy of a.mp3"});
        GenerateNewFiles = generate;
        RunSelection(Owner);
        ASSERT_FALSE(RecordedEvents().empty());
        EXPECT_EQ(Boxes()[0], "File Not Written! " + Dir() + "\\Copy of a.mp3") << "generate " << generate;
        EXPECT_EQ(ReadAll(folder / "a.mp3"), ToBytes("a\r\n")) << "generate " << generate;
        const fs::path repaired = generate ? folder / "Copy of Copy of a.mp3" : folder / "Copy of a.mp3";
        EXPECT_EQ(ReadAll(repaired), ToBytes("c\n")) << "generate " << generate;
    }
}

// Whether a picked name is another's own copy follows the file system's rule: case
// folded per character, never by a single byte of a character, where it folds at all.
TEST_F(RunSelectionTest, OwnCopyFollowsTheFileSystemsCaseRule) {
    struct Case {
        const char* name;
        std::string picked, other;
        bool refused;
        std::vector<unsigned> codePages;
    };
    const Case cases[] = {
        // Only where the file system folds case: on Linux the two are two files (below).
        {"accented capitals", "Caf\xC3\xA9.mp3", "COPY OF CAF\xC3\x89.MP3", true, {CodePageUtf8}},
        {"sharp s is not ss", "Stra\xC3\x9F" "e.mp3", "COPY OF STRASSE.MP3", false, {}},
        {"932: second bytes A and a", "\x83\x41.mp3", "Copy of \x83\x61.mp3", false, {NativeStandIn, CodePage932}},
    };
    for (const Case& c : cases) {
        if (!HoldsHere(c.codePages)) continue;
        for (int generate : {0, 1}) {
            const std::string trace = std::string(c.name) + (generate ? ", generate" : ", overwrite");
            fs::remove_all(folder);
            fs::create_directories(folder);
            RecordedEvents().clear();
            const std::string picked = Dir() + "\\" + c.picked, other = Dir() + "\\" + c.other;
            ASSERT_TRUE(WriteNamed(picked, ToBytes("p\r\n")) && WriteNamed(other, ToBytes("o\r\n"))) << trace;
            LoadNames({c.picked, c.other});
            GenerateNewFiles = generate;
            RunSelection(Owner);
            const std::string refusal = "File Not Written! " + Dir() + "\\Copy of " + c.picked;
            EXPECT_EQ(c.refused, Boxes()[0] == refusal) << trace;
            const std::string pickedResult = generate ? Dir() + "\\Copy of " + c.picked : picked;
            const std::string otherResult = generate ? Dir() + "\\Copy of " + c.other : other;
            EXPECT_EQ(ReadNamed(c.refused ? picked : pickedResult), ToBytes(c.refused ? "p\r\n" : "p\n")) << trace;
            EXPECT_EQ(ReadNamed(otherResult), ToBytes("o\n")) << trace;
        }
    }
}

TEST_F(RunSelectionTest, BrokenSelectionReportsAndConvertsNothing) {
    LoadSelection(Z("C:\\MUSIC") + Z("a.mp3") + Z(""), 0);
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"File Name Too Long! C:\\MUSIC", "arrow",
                                                 "File Not Decrimped! C:\\MUSIC"}));
    EXPECT_EQ(SelectionPending, 0);
}

TEST_F(RunSelectionTest, DirectoryWithoutNamesShowsOnlyTheDirectory) {
    LoadSelection(Z("C:\\MUSIC"), 9);  // no names and no closing NUL: stale bytes follow
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"arrow", "Files are Decrimped! C:\\MUSIC\\"}));
}

TEST_F(RunSelectionTest, OverlongNameIsReportedAndTheRestConverted) {
    WriteAll(folder / "b.mp3", ToBytes("b\r\n"));
    const std::string longName(300, 'L');
    LoadNames({longName, "b.mp3"});
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"File Name Too Long! " + longName.substr(0, 255), "arrow",
                                                 "Files Not All Decrimped! 1 of 2 files is decrimped."}));
    EXPECT_EQ(ReadAll(folder / "b.mp3"), ToBytes("b\n"));
}

#ifndef _WIN32
// Stand in for the C library's: while set, every file has the number 0, as on file
// systems without numbers of their own; or a file asked for by its path has the
// device 0, as a redirector without serial numbers may answer.
static bool NoFileNumbers = false;
static bool NoDeviceByPath = false;
extern "C" int stat(const char* path, struct stat* info) {
    const int result = fstatat(AT_FDCWD, path, info, 0);
    if (NoFileNumbers) info->st_ino = 0;
    if (NoDeviceByPath) info->st_dev = 0;
    return result;
}
extern "C" int fstat(int descriptor, struct stat* info) {
    const int result = fstatat(descriptor, "", info, AT_EMPTY_PATH);
    if (NoFileNumbers) info->st_ino = 0;
    return result;
}
#endif

// Which spellings reach one file is the file system's answer: the walks ask it for
// each file's identity, and compare the resolved paths only where it has none to give
// (Windows 95/98/Me, or a file system that gives every file the number 0).
TEST_F(RunSelectionTest, EachFileIsListedAndRepairedOnceWhateverTheSpelling) {
    struct Case {
        const char* name;
        std::vector<std::string> picked, listed;
        bool windowsOnly;  // the ANSI calls drop a trailing dot or space; Linux keeps them
    };
    const Case cases[] = {
        {"case, where it reaches the file", {"a.mp3", "A.MP3"}, {"a.mp3"}, true},
        {"dot folder", {"./a.mp3", "a.mp3"}, {"./a.mp3"}, false},
        {"through a sub-folder", {"sub/../a.mp3", "a.mp3"}, {"sub/../a.mp3"}, false},
        {"trailing dot after", {"a.mp3", "a.mp3."}, {"a.mp3"}, true},
        {"trailing dot before", {"a.mp3.", "a.mp3"}, {"a.mp3"}, true},
        {"trailing space", {"a.mp3 ", "a.mp3"}, {"a.mp3"}, true},
        {"trailing dot alone is listed, then refused", {"a.mp3."}, {"a.mp3."}, false},
        {"two files", {"a.mp3", "b.mp3"}, {"a.mp3", "b.mp3"}, false},
    };
    struct Stamps { const char* name; bool numbered, deviceByPath; };
    const Stamps variants[] = {{"", true, true}, {", every file numbered 0", false, true},
                               {", device 0 when asked by path", true, false}};
    for (const Stamps& v : variants) {
#ifdef _WIN32
        if (!v.numbered || !v.deviceByPath) continue;
#else
        NoFileNumbers = !v.numbered;
        NoDeviceByPath = !v.deviceByPath;
#endif
        for (const Case& c : cases) {
            if (c.windowsOnly && NameRules() == NativeStandIn) continue;
            const std::string trace = std::string(c.name) + v.name;
            fs::remove_all(folder);
            fs::create_directories(folder / "sub");
            RecordedEvents().clear();
            WriteAll(folder / "a.mp3", ToBytes("a\r\r\n\r\n"));  // a second pass would change it again
            WriteAll(folder / "b.mp3", ToBytes("a\r\r\n\r\n"));
            LoadNames(c.picked);
            std::vector<std::string> listed;
            for (const std::string& name : c.listed) listed.push_back(Dir() + "\\" + name);
            EXPECT_EQ(ListLoaded(), listed) << trace;
            RunSelection(Owner);
            const bool refused = c.listed[0].back() == '.';
            EXPECT_EQ(Boxes().back(),
                      refused ? "File Not Decrimped! " + listed.back() : "Files are Decrimped! " + listed.back())
                << trace;
            EXPECT_EQ(ReadAll(folder / "a.mp3"), ToBytes(refused ? "a\r\r\n\r\n" : "a\r\n\n")) << trace;
            EXPECT_EQ(ReadAll(folder / "b.mp3"), ToBytes(listed.size() == 2 ? "a\r\n\n" : "a\r\r\n\r\n")) << trace;
            EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"a.mp3", "b.mp3", "sub"})) << trace;
        }
    }
#ifndef _WIN32
    NoFileNumbers = NoDeviceByPath = false;
#endif
}

#ifndef _WIN32
// On Linux, as in a case-sensitive folder on Windows, two names in other cases are
// two files: both are repaired, and neither is the other's own copy.
TEST_F(RunSelectionTest, NamesInOtherCasesOfCaseSensitiveFilesAreRepairedBoth) {
    WriteAll(folder / "a.mp3", ToBytes("a\r\n"));
    WriteAll(folder / "A.mp3", ToBytes("A\r\n"));
    WriteAll(folder / "COPY OF A.MP3", ToBytes("c\r\n"));
    LoadNames({"a.mp3", "A.mp3", "COPY OF A.MP3"});
    EXPECT_EQ(ListLoaded().size(), 3u);
    RunSelection(Owner);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"arrow", "Files are Decrimped! " + Dir() + "\\COPY OF A.MP3"}));
    EXPECT_EQ(ReadAll(folder / "a.mp3"), ToBytes("a\n"));
    EXPECT_EQ(ReadAll(folder / "A.mp3"), ToBytes("A\n"));
    EXPECT_EQ(ReadAll(folder / "COPY OF A.MP3"), ToBytes("c\n"));
}
#endif

// The own copy is found by identity as well, and as the files stood before the run:
// a copy repaired in its place earlier in the run is still a picked file.
TEST_F(RunSelectionTest, OwnCopyUnderAnotherSpellingIsNeverTakenOver) {
    WriteAll(folder / "a.mp3", ToBytes("a\r\n"));
    WriteAll(folder / "Copy of a.mp3", ToBytes("a\r\n"));  // the same bytes: its repair is a.mp3's
    LoadNames({"./Copy of a.mp3", "a.mp3"});
    RunSelection(Owner);
    EXPECT_EQ(Boxes()[0], "File Not Written! " + Dir() + "\\Copy of a.mp3");
    EXPECT_EQ(ReadAll(folder / "a.mp3"), ToBytes("a\r\n"));
    EXPECT_EQ(ReadAll(folder / "Copy of a.mp3"), ToBytes("a\n"));
}

// Names the file calls would take for another file, and devices, are never read.
TEST_F(RunSelectionTest, NamesThatReachAnotherFileOrADeviceAreNotOpened) {
    struct Case {
        const char* picked;
        bool opens;
    };
    const Case cases[] = {
        {"b.mp3.", false}, {"b.mp3 ", false}, {"sub.\\b.mp3", false}, {"sub \\b.mp3", false},
        {"sub\\..\\b.mp3", true}, {".\\b.mp3", true}, {"nul.mp3", false}, {"fifo.mp3", false},
    };
    const std::string damaged = "b\r\n";
    for (const Case& c : cases) {
        for (int generate : {0, 1}) {
            const std::string trace = std::string(c.picked) + (generate ? ", generate" : ", overwrite");
            fs::remove_all(folder);
            fs::create_directories(folder / "sub");
            RecordedEvents().clear();
            WriteAll(folder / "b.mp3", ToBytes(damaged));
#ifndef _WIN32
            fs::create_symlink("/dev/null", folder / "nul.mp3");  // Windows knows NUL by its name
            ASSERT_EQ(mkfifo((folder / "fifo.mp3").c_str(), 0600), 0);  // no writer: an open that waits hangs
#endif
            std::vector<std::string> start = FolderContents(folder);
            const std::string path = Dir() + "\\" + c.picked;
            LoadSelection(Z(path.c_str()), static_cast<unsigned short>(Dir().size() + 1));
            GenerateNewFiles = generate;
            RunSelection(Owner);
            if (c.opens) {
                EXPECT_EQ(Boxes().back().rfind("File is Decrimped! ", 0), 0u) << trace;
                continue;
            }
            EXPECT_EQ(Boxes(), (std::vector<std::string>{"File Not Open! " + path, "arrow",
                                                         "File Not Decrimped! " + path})) << trace;
            EXPECT_EQ(RecordedEvents().back().icon, BoxError) << trace;
            EXPECT_EQ(ReadAll(folder / "b.mp3"), ToBytes(damaged)) << trace;
            EXPECT_EQ(FolderContents(folder), start) << trace;
        }
    }
}


}  // namespace
