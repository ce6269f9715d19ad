// ConvertFile on real files in a scratch folder: both modes, and every way it can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include <zlib.h>

#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#else
#include <windows.h>
#endif

#include "convert.h"
#include "format_test_support.h"
#include "replace_steps.h"
#include "recorded_ui.h"
#include "samples.h"
#include "state.h"
#include "test_support.h"
#include "under_test.h"
#include "work_path.h"

namespace fs = std::filesystem;

namespace {

OwnerWindow const Owner = reinterpret_cast<OwnerWindow>(0x1234);

class ConvertFileTest : public ::testing::Test {
protected:
    fs::path folder;

    void SetUp() override {
        folder = MakeScratchFolder("convert");
        RecordedEvents().clear();
        GenerateNewFiles = 0;
        UseFolder(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) MakeWritable(entry.path());
        fs::remove_all(folder, ignored);
    }
    std::string PathOf(const std::string& name) const { return (folder.string() + "\\") + name; }
    fs::path FileOf(const std::string& name) const { return folder / name; }
    void Convert(const std::string& name, int generate) {
        GenerateNewFiles = generate;
        ConvertFile(WorkPath, name.c_str(), Owner);
    }
    void ExpectOneBox(const char* caption, const std::string& text, unsigned icon = BoxError) {
        ASSERT_EQ(RecordedEvents().size(), 1u) << "expected one box: " << caption;
        const RecordedEvent& box = RecordedEvents()[0];
        EXPECT_EQ(box.kind, "box");
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.icon, icon);
        EXPECT_EQ(box.owner, Owner);
    }
};

Bytes BlockBoundaryInput(size_t crAt, unsigned char after) {
    Bytes input(ConvertBlockSize + 100, 'x');
    input[crAt] = '\r';
    input[crAt + 1] = after;
    input.back() = '\r';
    return input;
}

struct ContentCase {
    const char* name;
    Bytes input;
};

std::vector<ContentCase> ContentCases() {
    return {
        {"empty", {}},
        {"no_pairs", ToBytes("plain lines\rstay\r")},
        {"example", ToBytes("\x41\r\n\r\r\n\r\n\r")},
        {"crlf_across_block_end", BlockBoundaryInput(ConvertBlockSize - 1, '\n')},
        {"lone_cr_at_block_end", BlockBoundaryInput(ConvertBlockSize - 1, 'y')},
        {"cr_cr_across_block_end", BlockBoundaryInput(ConvertBlockSize - 1, '\r')},
    };
}

TEST_F(ConvertFileTest, GenerateModeKeepsPickedFileAndWritesCopy) {
    for (const ContentCase& c : ContentCases()) {
        fs::remove(FileOf("Copy of a.mp3"));  // an earlier case's copy would be taken as it is
        WriteAll(FileOf("a.mp3"), c.input);
        Convert("a.mp3", 1);
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), c.input) << c.name;
        EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ReferenceRestore(c.input)) << c.name;
        EXPECT_STREQ(WorkPath, PathOf("Copy of a.mp3").c_str()) << c.name;
        EXPECT_TRUE(RecordedEvents().empty()) << c.name;
        UseFolder(folder);
    }
}

TEST_F(ConvertFileTest, OverwriteModePutsRepairInPickedFilesPlace) {
    for (const ContentCase& c : ContentCases()) {
        WriteAll(FileOf("a.mp3"), c.input);
        Convert("a.mp3", 0);
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), ReferenceRestore(c.input)) << c.name;
        EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"}) << c.name;
        EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str()) << c.name;
        EXPECT_TRUE(RecordedEvents().empty()) << c.name;
        UseFolder(folder);
    }
}

// A "Copy of " file already there is taken only when it holds exactly the repair;
// anything else may be the user's own copy: refused, and both files stay as they were.
TEST_F(ConvertFileTest, ExistingCopyIsTakenOnlyWhenItHoldsTheRepair) {
    const Bytes input = BlockBoundaryInput(ConvertBlockSize - 1, '\n');
    const Bytes repair = ReferenceRestore(input);
    Bytes longer = repair;
    longer.push_back('!');
    Bytes changedAtTheEnd = repair;
    changedAtTheEnd.back() = 'x';
    struct ExistingCase { const char* name; Bytes copy; bool taken; bool otherName = false; };
    const ExistingCase cases[] = {
        {"the repair", repair, true},
        {"someone's own copy", ToBytes("my own notes"), false},
        {"empty", {}, false},
        {"the repair cut short", Bytes(repair.begin(), repair.end() - 1), false},
        {"the repair and more", longer, false},
        {"the last byte differs", changedAtTheEnd, false},
        // A hard link: the file is also lib.mp3, which must not become the picked file.
        {"the repair, under a second name too", repair, false, true},
    };
    for (int generate : {1, 0}) {
        for (const ExistingCase& c : cases) {
            const std::string label = std::string(c.name) + (generate ? ", generate" : ", overwrite");
            WriteAll(FileOf("a.mp3"), input);
            WriteAll(FileOf(c.otherName ? "lib.mp3" : "Copy of a.mp3"), c.copy);
            if (c.otherName) fs::create_hard_link(FileOf("lib.mp3"), FileOf("Copy of a.mp3"));
            RecordedEvents().clear();
            UseFolder(folder);
            Convert("a.mp3", generate);
            if (c.otherName) {
                EXPECT_EQ(ReadAll(FileOf("lib.mp3")), c.copy) << label;
                fs::remove(FileOf("lib.mp3"));
            }
            if (!c.taken) {
                ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
                EXPECT_EQ(ReadAll(FileOf("a.mp3")), input) << label;
                EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), c.copy) << label;
                EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str()) << label;
            } else if (generate) {
                EXPECT_TRUE(RecordedEvents().empty()) << label;
                EXPECT_EQ(ReadAll(FileOf("a.mp3")), input) << label;
                EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), repair) << label;
            } else {
                EXPECT_TRUE(RecordedEvents().empty()) << label;
                EXPECT_EQ(ReadAll(FileOf("a.mp3")), repair) << label;
                EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"}) << label;
            }
            fs::remove(FileOf("Copy of a.mp3"));
        }
    }
}

TEST_F(ConvertFileTest, NameStartingWithCopyOfGetsThePrefixTwice) {
    WriteAll(FileOf("Copy of a.mp3"), ToBytes("\r\n"));
    Convert("Copy of a.mp3", 1);
    EXPECT_EQ(ReadAll(FileOf("Copy of Copy of a.mp3")), ToBytes("\n"));
    EXPECT_STREQ(WorkPath, PathOf("Copy of Copy of a.mp3").c_str());
}

// A repaired file holds the LFs the original held without a CR: a second run in
// overwrite mode must leave it alone, or it would take out CR LF pairs that are real.
TEST_F(ConvertFileTest, RepeatedRunsRepairOnlyOnce) {
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\r\n\r\n"));
    Convert("a.mp3", 1);
    UseFolder(folder);
    Convert("a.mp3", 1);
    EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("a\r\n\n")) << "generate mode reads the unchanged picked file";
    EXPECT_TRUE(RecordedEvents().empty());
    fs::remove(FileOf("Copy of a.mp3"));
    UseFolder(folder);
    Convert("a.mp3", 0);
    UseFolder(folder);
    Convert("a.mp3", 0);
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n\n"));
    ExpectOneBox("File Not Damaged!", PathOf("a.mp3"), BoxWarning);
    EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
}

// A file with an LF that has no CR before it was never damaged this way: refused in
// both modes, wherever that LF is, and whatever was written before it is removed.
TEST_F(ConvertFileTest, FileWithALoneLineFeedIsRefusedAndNothingIsLeft) {
    Bytes damaged(2 * ConvertBlockSize + 1000, 'd');
    for (size_t i = 0; i + 1 < damaged.size(); i += 97) damaged[i] = '\r', damaged[i + 1] = '\n';
    Bytes afterTwoMiB = damaged, startingABlock = damaged, lastByte = damaged;
    afterTwoMiB[2 * ConvertBlockSize + 500] = '\n';
    startingABlock[ConvertBlockSize] = '\n';
    startingABlock[ConvertBlockSize - 1] = 'x';
    lastByte.back() = '\n';
    struct LoneCase { const char* name; Bytes input; bool copyThere; };
    const LoneCase cases[] = {
        {"an LF as the first byte", ToBytes("\nA\r\n"), false},
        {"a healthy file with pairs by chance", ToBytes("ID3\r\n\x01\n\xff\r\n"), false},
        {"a lone LF after 2 MiB of damaged bytes", afterTwoMiB, false},
        {"a lone LF starting the second block", startingABlock, false},
        {"a lone LF as the last byte", lastByte, false},
        {"an earlier run's copy of a healthy file", ToBytes("ID3\r\n\x01\n"), true},
    };
    for (int generate : {1, 0}) {
        for (const LoneCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (generate ? ", generate" : ", overwrite"));
            WriteAll(FileOf("a.mp3"), c.input);
            if (c.copyThere) WriteAll(FileOf("Copy of a.mp3"), ReferenceRestore(c.input));
            RecordedEvents().clear();
            UseFolder(folder);
            Convert("a.mp3", generate);
            ExpectOneBox("File Not Damaged!", PathOf("a.mp3"), BoxWarning);
            EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str());
            EXPECT_EQ(ReadAll(FileOf("a.mp3")), c.input);
            if (c.copyThere) {
                EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ReferenceRestore(c.input));
            }
            fs::remove(FileOf("Copy of a.mp3"));
            EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
        }
    }
}

// The program's own names are taken only while free: a file that has one, picked or
// not, a crash's leftover or the user's, is never touched, whatever is repaired beside it.
TEST_F(ConvertFileTest, FilesUnderTheProgramsOwnNamesAreNeverTouched) {
    const std::string unfinished = std::string(UnfinishedCopyStem) + ".tmp";
    const std::string aside = std::string(SetAsideStem) + ".tmp";
    const Bytes mine = ToBytes("someone's own file\n");
    struct OwnNameCase { const char* name; std::vector<std::string> picked, unpicked; };
    const OwnNameCase cases[] = {
        {"beside them", {"a.mp3"}, {unfinished, aside, std::string(UnfinishedCopyStem) + " (2).tmp"}},
        {"picked after another file", {"a.mp3", unfinished, aside}, {}},
    };
    for (int generate : {1, 0}) {
        for (const OwnNameCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (generate ? ", generate" : ", overwrite"));
            fs::remove_all(folder);
            fs::create_directories(folder);
            std::vector<std::string> expected = c.unpicked;
            for (const std::string& name : c.picked) {
                WriteAll(FileOf(name), ToBytes("p\r\n"));
                expected.push_back(name);
                if (generate) expected.push_back("Copy of " + name);
            }
            for (const std::string& name : c.unpicked) WriteAll(FileOf(name), mine);
            RecordedEvents().clear();
            for (const std::string& name : c.picked) {
                UseFolder(folder);
                Convert(name, generate);
            }
            EXPECT_TRUE(RecordedEvents().empty());
            for (const std::string& name : c.picked) {
                EXPECT_EQ(ReadAll(FileOf(generate ? "Copy of " + name : name)), ToBytes("p\n")) << name;
            }
            for (const std::string& name : c.unpicked) EXPECT_EQ(ReadAll(FileOf(name)), mine) << name;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(FolderContents(folder), expected);
        }
    }
}

// With every backup name of the program's own taken, the repair does not take the picked
// file's place: a replace without a backup keeps nothing of the file beyond its bytes.
TEST_F(ConvertFileTest, NoFreeBackupNameLeavesThePickedFile) {
    const Bytes mine = ToBytes("someone's own file\n");
    std::vector<std::string> expected = {"Copy of a.mp3", "a.mp3"};
    for (int number = 1; number <= OwnNameTries; ++number) {
        char own[WorkPathSize];
        ASSERT_TRUE(PutOwnNameBeside(own, "a.mp3", SetAsideStem, number));
        WriteAll(FileOf(own), mine);
        expected.push_back(own);
    }
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    Convert("a.mp3", 0);
    ExpectOneBox("File Not Replaced!", PathOf("a.mp3"));
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
    EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("a\n"));
    EXPECT_EQ(ReadAll(FileOf(expected.back())), mine);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderContents(folder), expected);
}

TEST_F(ConvertFileTest, MissingInputIsReportedAndNothingIsWritten) {
    Convert("gone.mp3", 0);
    ExpectOneBox("File Not Open!", PathOf("gone.mp3"));
    EXPECT_STREQ(WorkPath, PathOf("gone.mp3").c_str());
    EXPECT_TRUE(FolderContents(folder).empty());
}

TEST_F(ConvertFileTest, ReadOnlyCopyInTheWayLeavesBothFilesAlone) {
    for (int generate : {0, 1}) {
        WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
        WriteAll(FileOf("Copy of a.mp3"), ToBytes("keep"));
        MakeReadOnly(FileOf("Copy of a.mp3"));
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", generate);
        ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
        EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str());
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
        EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("keep"));
        MakeWritable(FileOf("Copy of a.mp3"));
    }
}

TEST_F(ConvertFileTest, ReadOnlyPickedFileIsNotReplacedButItsRepairIsKept) {
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    MakeReadOnly(FileOf("a.mp3"));
    Convert("a.mp3", 0);
    ExpectOneBox("File Not Replaced!", PathOf("a.mp3"));
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
    EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("a\n"));
}

TEST_F(ConvertFileTest, NamesAndPathsThatDoNotFitTouchNothing) {
    const std::string longest(247, 'n');   // "Copy of " + 247 + NUL = 256
    WriteAll(FileOf(longest), ToBytes("\r\n"));
    {
        InsideFolder inside(folder);  // the copy's path stays within the platform's limit
        Convert(longest, 1);
    }
    EXPECT_EQ(ReadAll(FileOf("Copy of " + longest)), ToBytes("\n"));
    EXPECT_TRUE(RecordedEvents().empty());

    struct TooLong { const char* name; std::string file; unsigned short offset; };
    const TooLong cases[] = {
        {"copy name over 255", std::string(248, 'n'), 0},
        {"name over the name buffer", std::string(300, 'n'), 0},
        {"prefix and copy name over 400", "a.mp3", static_cast<unsigned short>(WorkPathSize - 13)},
        {"prefix beyond WorkPath", "a.mp3", static_cast<unsigned short>(WorkPathSize + 5)},
    };
    for (const TooLong& c : cases) {
        UseFolder(folder);
        if (c.offset) NameOffset = c.offset;
        RecordedEvents().clear();
        const std::vector<std::string> before = FolderContents(folder);
        Convert(c.file, 0);
        ASSERT_EQ(RecordedEvents().size(), 1u) << c.name;
        EXPECT_EQ(RecordedEvents()[0].caption, "File Name Too Long!") << c.name;
        EXPECT_EQ(RecordedEvents()[0].text, c.file.substr(0, NameBufferSize - 1)) << c.name;
        EXPECT_EQ(FolderContents(folder), before) << c.name;
        EXPECT_LT(std::strlen(WorkPath), static_cast<size_t>(WorkPathSize)) << c.name;
        if (!c.offset) {
            EXPECT_EQ(std::string(WorkPath), PathOf(c.file)) << c.name << ": names the picked file";
        }
    }
}

std::string Repeat(const std::string& text, size_t count) {
    std::string repeated;
    for (size_t i = 0; i < count; ++i) repeated += text;
    return repeated;
}

// The name buffer counts bytes, however many a character takes; the platform's path
// limit counts as the system does. Run inside the folder, so that the temp folder's
// own length takes no part; in overwrite mode, where a late failure costs the file.
TEST_F(ConvertFileTest, LimitsInBytesAndPlatformUnitsTouchNothing) {
    const std::string e = "\xC3\xA9", table = "\xE8\xA1\xA8", emoji = "\xF0\x9F\x98\x80";
    const std::string deep(148, 'd');  // ".\\" + deep + "\\Copy of " + 100 = 259
    // Wine keeps names as UTF-8 on Linux, where a name holds 255 bytes: multi-byte
    // characters read in a single-byte code page would pass that on their own.
    const std::vector<unsigned> utf8 = {NativeStandIn, CodePageUtf8};
    struct Case {
        const char* name;
        std::string folder;
        std::string file;
        bool fits;
        std::vector<unsigned> codePages;
    };
    const Case cases[] = {
        {"2-byte characters, copy name of 255 bytes", "", Repeat(e, 123) + "x", true, utf8},
        {"2-byte characters, one byte more", "", Repeat(e, 124), false, utf8},
        {"3-byte characters, copy name of 255 bytes", "", Repeat(table, 82) + "x", true, utf8},
        {"3-byte characters, one byte more", "", Repeat(table, 82) + "xy", false, utf8},
        {"4-byte characters, copy name of 255 bytes", "", Repeat(emoji, 61) + "abc", true, utf8},
        {"4-byte characters, one byte more", "", Repeat(emoji, 61) + "abcd", false, utf8},
        {"copy path of 259 characters", deep, std::string(100, 'p'), true, {}},
        {"copy path of 260 characters", deep, std::string(101, 'p'), false, {}},
        {"copy path of 259 units in pairs", deep, Repeat(emoji, 50), true, utf8},
        {"copy path of 260 units in pairs", deep, Repeat(emoji, 50) + "p", false, utf8},
    };
    InsideFolder inside(folder);
    fs::create_directory(deep);
    for (const Case& c : cases) {
        if (!HoldsHere(c.codePages)) continue;
        const std::string where = ".\\" + (c.folder.empty() ? "" : c.folder + "\\");
        ASSERT_TRUE(WriteNamed(where + c.file, ToBytes("a\r\n"))) << c.name;
        std::memcpy(WorkPath, where.c_str(), where.size() + 1);
        NameOffset = static_cast<unsigned short>(where.size());
        RecordedEvents().clear();
        Convert(c.file, 0);
        if (c.fits) {
            EXPECT_TRUE(RecordedEvents().empty()) << c.name;
            EXPECT_EQ(ToBytes("a\n"), ReadNamed(where + c.file)) << c.name;
        } else {
            ASSERT_EQ(RecordedEvents().size(), 1u) << c.name;
            EXPECT_EQ(RecordedEvents()[0].caption, "File Name Too Long!") << c.name;
            EXPECT_EQ(RecordedEvents()[0].text, c.file) << c.name;
            EXPECT_EQ(ToBytes("a\r\n"), ReadNamed(where + c.file)) << c.name;
        }
        EXPECT_EQ(FolderContents(c.folder.empty() ? "." : c.folder).size(), c.folder.empty() ? 2u : 1u)
            << c.name << ": one file beside the sub-folder, nothing else made";
        EXPECT_TRUE(DeletePath((where + c.file).c_str())) << c.name;
    }
}

#ifdef _WIN32
// A file reached by its 8.3 alias keeps its long name: the copy is named after it, and
// the repair that takes its place has it (the replace in steps would otherwise give it
// the alias as its name).
TEST_F(ConvertFileTest, FileReachedByItsShortNameKeepsItsLongName) {
    for (int generate : {1, 0}) {
        SCOPED_TRACE(generate ? "generate" : "overwrite");
        fs::remove_all(folder);
        fs::create_directories(folder);
        WriteAll(FileOf("a long name.mp3"), ToBytes("a\r\n"));
        char shortPath[MAX_PATH];
        const DWORD length = GetShortPathNameA(PathOf("a long name.mp3").c_str(), shortPath, MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        const std::string shortName = std::string(shortPath).substr(std::string(shortPath).rfind('\\') + 1);
        ASSERT_NE(shortName, "a long name.mp3") << "no short name here";
        RecordedEvents().clear();
        UseFolder(folder);
        Convert(shortName, generate);
        EXPECT_TRUE(RecordedEvents().empty());
        EXPECT_EQ(ReadAll(FileOf(generate ? "Copy of a long name.mp3" : "a long name.mp3")), ToBytes("a\n"));
        const std::vector<std::string> left = generate ? std::vector<std::string>{"Copy of a long name.mp3", "a long name.mp3"}
                                                       : std::vector<std::string>{"a long name.mp3"};
        EXPECT_EQ(FolderContents(folder), left);
    }
}

// Every way ReplaceFileA can fail, as a build answering as XP is told to fail: the picked
// file's bytes and the whole repair each keep a name, and the box says what happened.
// Where the call is missing or cannot work on the file system, the one-step rename does it.
TEST_F(ConvertFileTest, EveryFailureOfTheReplaceKeepsBothFilesNamed) {
    if (std::strcmp(AnsweredAs, "XP") != 0) GTEST_SKIP() << "only a build answering as XP can be told how to fail";
    struct FailureCase { const char* answer; bool replaced; };
    const FailureCase cases[] = {
        {"missing", true},                // Windows NT 4
        {"50", true},                     // ERROR_NOT_SUPPORTED: a share that cannot do it
        {"87", true},                     // ERROR_INVALID_PARAMETER, likewise
        {"1175", false},                  // ERROR_UNABLE_TO_REMOVE_REPLACED: nothing moved
        {"1176", false},                  // ERROR_UNABLE_TO_MOVE_REPLACEMENT, with a backup name: nothing moved
        {"1177:moved", false},            // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the picked file under the backup name
        {"5", false},                     // ERROR_ACCESS_DENIED before anything moved
        {"5:moved", false},               // the same after the picked file moved to the backup name
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.answer);
        fs::remove_all(folder);
        fs::create_directories(folder);
        WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
        SetEnvironmentVariableA("DECRIMP_REPLACE_FILE_ANSWER", c.answer);
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", 0);
        SetEnvironmentVariableA("DECRIMP_REPLACE_FILE_ANSWER", nullptr);
        if (c.replaced) {
            EXPECT_TRUE(RecordedEvents().empty());
            EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\n"));
            EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
        } else {
            ExpectOneBox("File Not Replaced!", PathOf("a.mp3"));
            EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
            EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("a\n"));
            EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"Copy of a.mp3", "a.mp3"}));
        }
    }
}

// Under Wine: the Linux path of a Windows path, quoted for the shell; "" elsewhere.
std::string QuotedUnixPath(const std::string& windowsPath) {
    typedef char*(CDECL * UnixNameCall)(const WCHAR*);
    const UnixNameCall unixName = reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH];
    if (unixName == nullptr || !MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH)) return "";
    char* path = unixName(wide);
    if (path == nullptr) return "";
    const std::string quoted = "'" + std::string(path) + "'";
    HeapFree(GetProcessHeap(), 0, path);
    return quoted;
}

// Starts a Linux shell command from under Wine. Wine gives no handle to wait on for a
// Linux program: the caller waits for what the command does.
bool StartOnLinux(const std::string& command) {
    // Wine splits the command line the Windows way: the script is one quoted argument.
    std::string line = "/bin/sh -c \"";
    for (char c : command) line += c == '"' ? std::string("\\\"") : std::string(1, c);
    line += "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits up to a minute for the drive's root to be there, or gone.
bool DriveShows(const char* root, bool there) {
    for (int waited = 0; waited < 3000; ++waited) {
        if ((GetFileAttributesA(root) != INVALID_FILE_ATTRIBUTES) == there) return true;
        Sleep(20);
    }
    return false;
}

// Under Wine a file's volume changes while it is open once a drive letter is mapped to its
// folder (Wine reads its drive letters again at most once a second), and a drive Wine's
// mount manager does not know yet has the serial 0: no volume of its own. The file is still
// the one opened, unchanged.
TEST_F(ConvertFileTest, VolumeWithoutASerialIsNoChange) {
    const std::string unixFolder = QuotedUnixPath(folder.string());
    if (unixFolder.empty()) GTEST_SKIP() << "only Wine maps a drive letter from Linux";
    char letter = 'P';
    while (letter <= 'Y' && (GetLogicalDrives() & (1u << (letter - 'A')))) ++letter;
    ASSERT_LE(letter, 'Y') << "no free drive letter";
    const std::string link = std::string("\"$WINEPREFIX/dosdevices/") + static_cast<char>(letter + 32) + ":\"";
    const char root[] = {letter, ':', '\\', '\0'};
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    FILE* file = OpenSharedFile(PathOf("a.mp3").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    FileStamp before = {}, after = {};
    const bool stamped = ReadStreamStamp(file, &before);
    const bool mapped = StartOnLinux("ln -sfn " + unixFolder + " " + link) && DriveShows(root, true);
    Sleep(1100);  // past Wine's next reading of its drive letters
    const bool stampedAgain = ReadStreamStamp(file, &after);
    EXPECT_EQ(std::fclose(file), 0);
    EXPECT_TRUE(StartOnLinux("rm -f " + link) && DriveShows(root, false));
    ASSERT_TRUE(stamped && mapped && stampedAgain);
    if (after.volume != 0) GTEST_SKIP() << "Wine gave the new drive a serial at once: " << after.volume;
    EXPECT_NE(before.volume, 0u);
    EXPECT_TRUE(SameFileUnchanged(before, after));
    if (before.identified) {
        EXPECT_TRUE(SameFileIdentity(before, after));
    }
}

// Another program saves the picked file after the last check and before ReplaceFileA:
// its save leaves under the backup name with the old name's bytes, and stays there.
TEST_F(ConvertFileTest, SaveJustBeforeTheReplaceIsKeptUnderTheBackupName) {
    if (std::strcmp(AnsweredAs, "XP") != 0) GTEST_SKIP() << "only a build answering as XP can be told to save first";
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    SetEnvironmentVariableA("DECRIMP_REPLACE_FILE_ANSWER", "saved");
    Convert("a.mp3", 0);
    SetEnvironmentVariableA("DECRIMP_REPLACE_FILE_ANSWER", nullptr);
    const std::string backup = std::string(SetAsideStem) + ".tmp";
    ExpectOneBox("Original Kept Aside!", PathOf(backup), BoxWarning);
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\n"));
    EXPECT_EQ(ReadAll(FileOf(backup)), ToBytes("a\r\nsaved"));
    EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"a.mp3", backup}));
}
#endif

#ifndef _WIN32
// Root ignores permission bits, so unwritable places are real read-only mounts.
class ConvertOnMountTest : public ConvertFileTest {
protected:
    bool mounted = false;
    void SetUp() override {
        ConvertFileTest::SetUp();
        if (!RunningAsRoot()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    }
    void TearDown() override {
        if (mounted) Unmount(folder);
        ConvertFileTest::TearDown();
    }
    void Mount(const char* options) {
        mounted = MountTmpfs(folder, options);
        if (!mounted) GTEST_SKIP() << "mount -t tmpfs failed here";
    }
};

TEST_F(ConvertOnMountTest, ReadOnlyFolderReportsTheCopyAndTouchesNothing) {
    Mount("size=1m");
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    ASSERT_EQ(std::system(("mount -o remount,ro '" + folder.string() + "'").c_str()), 0);
    for (int generate : {0, 1}) {
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", generate);
        ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
        EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
    }
}

TEST_F(ConvertOnMountTest, FullDiskLeavesPickedFileAndNoPartialCopy) {
    Mount("size=256k");
    Bytes input(160 * 1024, 'z');
    for (size_t i = 0; i + 1 < input.size(); i += 40) input[i] = '\r', input[i + 1] = '\n';
    WriteAll(FileOf("a.mp3"), input);
    for (int generate : {0, 1}) {
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", generate);
        ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
        EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str());
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), input);
        EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
    }
}

// Stands in for the C library's fsync: counts the calls and fails on demand, so the
// core's own code, linked into this exe, meets a disk that cannot keep the data.
static int FsyncCalls = 0;
static bool FsyncFails = false;
static void (*DuringFsync)() = nullptr;
extern "C" int fsync(int descriptor) {
    ++FsyncCalls;
    if (DuringFsync) DuringFsync();
    if (FsyncFails) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, descriptor));
}

TEST_F(ConvertFileTest, CopyIsFlushedBeforeItIsNamedAndAFailedFlushLeavesNothing) {
    const Bytes input = ToBytes("a\r\nb\r\n");
    struct FlushCase { const char* name; int generate; bool copyThere; bool fails; int calls; };
    const FlushCase cases[] = {
        {"generate mode flushes its copy", 1, false, false, 1},
        {"generate mode takes an earlier run's copy as it is", 1, true, false, 0},
        {"a failed flush in generate mode removes the new copy", 1, false, true, 1},
        {"overwrite mode flushes its copy", 0, false, false, 1},
        {"overwrite mode flushes an earlier run's copy", 0, true, false, 1},
        {"a failed flush removes the new copy", 0, false, true, 1},
        {"a failed flush keeps an earlier run's copy", 0, true, true, 1},
    };
    for (const FlushCase& c : cases) {
        WriteAll(FileOf("a.mp3"), input);
        if (c.copyThere) WriteAll(FileOf("Copy of a.mp3"), ReferenceRestore(input));
        RecordedEvents().clear();
        UseFolder(folder);
        FsyncCalls = 0;
        FsyncFails = c.fails;
        Convert("a.mp3", c.generate);
        FsyncFails = false;
        EXPECT_EQ(FsyncCalls, c.calls) << c.name;
        if (c.fails) {
            ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
            EXPECT_EQ(ReadAll(FileOf("a.mp3")), input) << c.name;
            const std::vector<std::string> left = c.copyThere
                ? std::vector<std::string>{"Copy of a.mp3", "a.mp3"} : std::vector<std::string>{"a.mp3"};
            EXPECT_EQ(FolderContents(folder), left) << c.name;
        } else {
            EXPECT_TRUE(RecordedEvents().empty()) << c.name;
            EXPECT_EQ(ReadAll(FileOf(c.generate ? "Copy of a.mp3" : "a.mp3")), ReferenceRestore(input)) << c.name;
        }
        fs::remove(FileOf("Copy of a.mp3"));
    }
}

// Another program's save: new bytes and, as tag editors can, the size and the last
// write time kept. A clock tick passes first, so that the save's own time differs.
struct Save {
    std::string path;
    Bytes bytes;
    bool keepsDate;
};
static Save Pending;
static void MakePendingSave() {
    struct stat before;
    const bool dated = stat(Pending.path.c_str(), &before) == 0;
    usleep(20000);
    WriteAll(Pending.path, Pending.bytes);
    if (Pending.keepsDate && dated) {
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        utimensat(AT_FDCWD, Pending.path.c_str(), times, 0);
    }
}

// Stands in for the C library's fread: after the first read from now, the pending save.
static bool SaveAfterARead = false;
extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
    typedef size_t (*ReadCall)(void*, size_t, size_t, FILE*);
    static const ReadCall real = reinterpret_cast<ReadCall>(dlsym(RTLD_NEXT, "fread"));
    const size_t got = real(buffer, size, count, stream);
    if (SaveAfterARead) {
        SaveAfterARead = false;
        MakePendingSave();
    }
    return got;
}

// A program that saves the picked file, or an earlier run's copy, after it was read
// and before the replace keeps its save, even one that kept the size and the date.
TEST_F(ConvertFileTest, FileSavedBeforeTheReplaceIsNotReplaced) {
    struct SaveCase { const char* name; const char* saved; bool copyThere; Bytes bytes; bool keepsDate; };
    const SaveCase cases[] = {
        {"the picked file, in another size", "a.mp3", false, ToBytes("saved meanwhile\r\n"), false},
        {"the picked file, size and date kept", "a.mp3", false, ToBytes("b\r\n"), true},
        {"an earlier run's copy once matched, size and date kept", "Copy of a.mp3", true, ToBytes("b\n"), true},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
        if (c.copyThere) WriteAll(FileOf("Copy of a.mp3"), ToBytes("a\n"));
        Pending = {FileOf(c.saved).string(), c.bytes, c.keepsDate};
        DuringFsync = MakePendingSave;
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", 0);
        DuringFsync = nullptr;
        ExpectOneBox("File Not Replaced!", PathOf("a.mp3"));
        EXPECT_EQ(ReadAll(FileOf(c.saved)), c.bytes);
        EXPECT_EQ(ReadAll(FileOf("a.mp3")), c.copyThere ? ToBytes("a\r\n") : c.bytes);
        EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), c.copyThere ? c.bytes : ToBytes("a\n"));
        fs::remove(FileOf("Copy of a.mp3"));
    }
}

// A save between two block reads leaves a copy of neither version: nothing is kept of it.
TEST_F(ConvertFileTest, FileSavedWhileItIsReadGetsNoCopy) {
    Bytes damaged(2 * ConvertBlockSize, 'd');
    for (size_t i = 0; i + 1 < damaged.size(); i += 64) damaged[i] = '\r', damaged[i + 1] = '\n';
    Bytes saved = damaged;
    saved[saved.size() - 2] = 's';  // in the block not read yet
    for (int generate : {1, 0}) {
        SCOPED_TRACE(generate ? "generate" : "overwrite");
        WriteAll(FileOf("a.mp3"), damaged);
        Pending = {FileOf("a.mp3").string(), saved, true};
        SaveAfterARead = true;
        RecordedEvents().clear();
        UseFolder(folder);
        Convert("a.mp3", generate);
        SaveAfterARead = false;
        ExpectOneBox("File Changed While Read!", PathOf("a.mp3"), BoxWarning);
        EXPECT_STREQ(WorkPath, PathOf("a.mp3").c_str());
        EXPECT_TRUE(ReadAll(FileOf("a.mp3")) == saved);
        EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
    }
}

// A link stands for a file elsewhere: an earlier run's copy that is one is never taken,
// and a picked one is not replaced by a plain file while the file it leads to stays as it was.
TEST_F(ConvertFileTest, LinksAreNeitherTakenAsACopyNorReplaced) {
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    WriteAll(FileOf("elsewhere"), ToBytes("a\n"));
    fs::create_symlink("elsewhere", FileOf("Copy of a.mp3"));
    Convert("a.mp3", 0);
    ExpectOneBox("File Not Written!", PathOf("Copy of a.mp3"));
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\r\n"));
    EXPECT_TRUE(fs::is_symlink(FileOf("Copy of a.mp3")));
    EXPECT_EQ(ReadAll(FileOf("elsewhere")), ToBytes("a\n"));

    fs::remove(FileOf("Copy of a.mp3"));
    fs::remove(FileOf("a.mp3"));
    fs::create_symlink("elsewhere", FileOf("a.mp3"));
    WriteAll(FileOf("elsewhere"), ToBytes("e\r\n"));
    RecordedEvents().clear();
    UseFolder(folder);
    Convert("a.mp3", 0);
    ExpectOneBox("File Not Replaced!", PathOf("a.mp3"));
    EXPECT_TRUE(fs::is_symlink(FileOf("a.mp3")));
    EXPECT_EQ(ReadAll(FileOf("elsewhere")), ToBytes("e\r\n"));
    EXPECT_EQ(ReadAll(FileOf("Copy of a.mp3")), ToBytes("e\n"));
}

TEST_F(ConvertFileTest, OverwriteModeKeepsThePickedFilesPermissions) {
    WriteAll(FileOf("a.mp3"), ToBytes("a\r\n"));
    fs::permissions(FileOf("a.mp3"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    Convert("a.mp3", 0);
    EXPECT_EQ(ReadAll(FileOf("a.mp3")), ToBytes("a\n"));
    EXPECT_EQ(fs::status(FileOf("a.mp3")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ConvertFileTest, ReadFailureRemovesTheCopy) {
    fs::create_directory(FileOf("folder.mp3"));  // opens on Linux, but every read fails
    Convert("folder.mp3", 0);
    ExpectOneBox("File Not Read!", PathOf("folder.mp3"));
    EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"folder.mp3"});
}
#endif

}  // namespace

namespace {

Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

Bytes GzipOf(const Bytes& bytes) {
    z_stream stream = {};
    Bytes packed(compressBound(static_cast<uLong>(bytes.size())) + 64);
    if (deflateInit2(&stream, 6, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return done ? packed : Bytes();
}

// Noise packed into a gzip by zlib: a quarter of a MiB holds a few CR LF of its own in
// the deflated stream (stored blocks), and too few LFs for the count to tell.
Bytes GzipOfNoise(size_t size) {
    return GzipOf(RandomBytes(size, 23));
}

// Bytes of 0 to 126, the sum of two random sixths of 127: deflate codes them with
// Huffman codes, in which bytes left out or put in upset nothing inflate notices, so
// every wrong way inflates on to the end. At 128 KiB, seed 1 gives two CR LF of their
// own 3 KiB apart, nearer than a branch keeping the first settles; seed 2 two far apart,
// seed 3 one.
Bytes GzipOfSkewedNoise(size_t size, unsigned seed = 1) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random() % 64 + random() % 64);
    return GzipOf(bytes);
}

Bytes FlippedInTheMiddle(Bytes bytes) {
    bytes[bytes.size() / 2] ^= 0x10;
    return bytes;
}

Bytes TextWithLineEnds(size_t lines, const char* end) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i) + end;
    return ToBytes(text);
}

// What a run makes of a file damaged one way or the other: exactly the original back, or,
// where nothing can decide, no repair at all and the file untouched.
enum Outcome { ComesBackExact, RefusedUntouched, PlainRepairKept };
struct KindCase {
    const char* name;
    Bytes original;
    Bytes (*damage)(const Bytes&);
    Outcome outcome;
};

}  // namespace

TEST_F(ConvertFileTest, EachKindOfDamageGetsItsExactRepairOrNone) {
    const Bytes random = RandomBytes(1 << 20, 22);
    const KindCase cases[] = {
        {"random bytes, every LF made CR LF", random, DamageEveryLineFeed, ComesBackExact},
        {"random bytes, a CR put before lone LFs: the count tells", random, DamageLoneLineFeeds, RefusedUntouched},
        {"DOS text, every LF made CR LF", TextWithLineEnds(3000, "\r\n"), DamageEveryLineFeed, ComesBackExact},
        {"Unix text, a CR put before lone LFs (nothing can tell)", TextWithLineEnds(3000, "\n"),
         DamageLoneLineFeeds, ComesBackExact},
        {"DOS text, a CR put before lone LFs: too little to tell", TextWithLineEnds(3000, "\r\n"),
         DamageLoneLineFeeds, PlainRepairKept},
        // Real files: their own checks decide, and the exact repair is written afresh.
        {"PNG, every LF made CR LF", Sample("noise_96x96.png"), DamageEveryLineFeed, ComesBackExact},
        {"PNG, a CR put before lone LFs", Sample("noise_96x96.png"), DamageLoneLineFeeds, ComesBackExact},
        {"PNG past the bytes the pass sums, every LF made CR LF", PngOfNoise(SummedBytes + (2 << 20)),
         DamageEveryLineFeed, ComesBackExact},
        {"PNG past the bytes the pass sums, a CR put before lone LFs", PngOfNoise(SummedBytes + (2 << 20)),
         DamageLoneLineFeeds, ComesBackExact},
        {"Ogg, a CR put before lone LFs", Sample("noise_mono.ogg"), DamageLoneLineFeeds, ComesBackExact},
        {"FLAC, a CR put before lone LFs", Sample("noise_mono.flac"), DamageLoneLineFeeds, ComesBackExact},
        {"ZIP, a CR put before lone LFs", Sample("lines_and_words.zip"), DamageLoneLineFeeds, ComesBackExact},
        {"gzip, a CR put before lone LFs", Sample("words.gz"), DamageLoneLineFeeds, ComesBackExact},
        {"MP3, a CR put before lone LFs", Sample("noise_32k.mp3"), DamageLoneLineFeeds, ComesBackExact},
        {"gzip keeping more CRs than the search tries", GzipOfNoise(1 << 18), DamageLoneLineFeeds, RefusedUntouched},
        {"gzip keeping two CRs nearer than a branch settles", GzipOfSkewedNoise(1 << 17), DamageLoneLineFeeds,
         RefusedUntouched},
        {"gzip keeping two CRs far apart", GzipOfSkewedNoise(1 << 17, 2), DamageLoneLineFeeds, ComesBackExact},
        {"gzip keeping one CR, every wrong way inflating on", GzipOfSkewedNoise(1 << 17, 3), DamageLoneLineFeeds,
         ComesBackExact},
        // A CR CR LF in it says the first kind: the plain repair stands, broken as the file was.
        {"gzip broken before, every LF made CR LF", FlippedInTheMiddle(GzipOfSkewedNoise(1 << 17)),
         DamageEveryLineFeed, ComesBackExact},
    };
    for (int generate : {1, 0}) {
        for (const KindCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (generate ? ", generate" : ", overwrite"));
            const Bytes damaged = c.damage(c.original);
            WriteAll(FileOf("a.mp3"), damaged);
            RecordedEvents().clear();
            UseFolder(folder);
            Convert("a.mp3", generate);
            const std::string repaired = generate ? "Copy of a.mp3" : "a.mp3";
            if (c.outcome == RefusedUntouched) {
                ExpectOneBox("Repair Not Certain!", PathOf("a.mp3"), BoxWarning);
                EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
                EXPECT_EQ(ReadAll(FileOf("a.mp3")), damaged);
            } else {
                EXPECT_TRUE(RecordedEvents().empty());
                EXPECT_EQ(ReadAll(FileOf(repaired)), c.outcome == ComesBackExact ? c.original : ReferenceRestore(damaged));
                if (generate) {
                    EXPECT_EQ(ReadAll(FileOf("a.mp3")), damaged);
                }
            }
            if (generate && c.outcome == ComesBackExact) {
                SCOPED_TRACE("Overwrite mode next: the earlier run's copy takes the picked file's place");
                RecordedEvents().clear();
                UseFolder(folder);
                Convert("a.mp3", 0);
                EXPECT_TRUE(RecordedEvents().empty());
                EXPECT_EQ(ReadAll(FileOf("a.mp3")), c.original);
                EXPECT_EQ(FolderContents(folder), std::vector<std::string>{"a.mp3"});
            }
            fs::remove(FileOf("Copy of a.mp3"));
        }
    }
}
