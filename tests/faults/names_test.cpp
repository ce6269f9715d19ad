// File names beyond ASCII through the real Open dialog: each picked file is listed by
// its true name and repaired, and every other file stays byte for byte as it was.
// The UTF-8 program is tested in any locale; the legacy one under code page 932,
// whose trail bytes can be 0x5C or ASCII letters. This driver carries the UTF-8
// manifest itself, so its ANSI calls (and the literals here) are UTF-8 whatever the
// program's code page: Wine converts names between the two through UTF-16.
#include "fault_support.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

typedef std::map<std::string, std::string> Tree;  // path under the test folder -> bytes

enum Outcome { Repairs, RefusesOwnCopy, TooLong };

struct Picked {
    std::string name;
    Outcome outcome;
};

struct PickCase {
    const char* what;
    const char* sub;              // a folder of the test folder, "" for the folder itself
    std::vector<Picked> picked;   // in the order typed
};

std::string Under(const char* sub, const std::string& name) {
    return sub[0] ? std::string(sub) + "\\" + name : name;
}

// "Copy of " goes before the name itself, after any folder typed with it. The driver's
// strings are UTF-8, where no byte of a character can pass for a backslash.
std::string CopyOf(const std::string& path) {
    const size_t nameStart = path.rfind('\\') + 1;  // 0 when there is none
    return path.substr(0, nameStart) + "Copy of " + path.substr(nameStart);
}

std::string Shown(const std::string& bytes) {
    if (bytes == Damaged) return "damaged";
    if (bytes == Repaired) return "repaired";
    return std::to_string(bytes.size()) + " other bytes";
}

// One line per file, so a failure shows which file went wrong and how.
std::string Shown(const Tree& tree) {
    std::string text;
    for (const auto& file : tree) text += file.first + ": " + Shown(file.second) + "\n";
    return text;
}

class NameTest : public FaultTest {
protected:
    void TearDown() override {
        StopProgram(&guard.program);  // the dialog made one of the folders its current one
        for (auto sub = subFolders.rbegin(); sub != subFolders.rend(); ++sub)
            EXPECT_TRUE(RemoveFolder(PathOf(sub->c_str()).c_str())) << "could not remove " << *sub;
        FaultTest::TearDown();
    }

    void MakeFolder(const char* sub) {
        ASSERT_TRUE(CreateDirectoryA(PathOf(sub).c_str(), nullptr)) << "could not make " << sub;
        subFolders.push_back(sub);
    }

    Tree ReadTree() const {
        Tree tree;
        ReadFolder("", &tree);
        for (const std::string& sub : subFolders) ReadFolder(sub.c_str(), &tree);
        return tree;
    }

    // Back to the files of the start: damaged, and nothing else.
    void ResetTree(const Tree& start) const {
        for (const auto& file : ReadTree()) {
            if (start.count(file.first) == 0) {
                EXPECT_TRUE(DeleteFileA(PathOf(file.first.c_str()).c_str())) << file.first;
            }
        }
        for (const auto& file : start) MakeFile(file.first.c_str(), file.second);
    }

    static Tree DamagedFiles(const std::vector<std::string>& paths) {
        Tree tree;
        for (const std::string& path : paths) tree[path] = Damaged;
        return tree;
    }

    // Picks the row's names in the given mode, runs, and checks the list, every box
    // and every file in the test folder and its sub-folders.
    void CheckPick(const Tree& start, const PickCase& row, const Mode& mode) {
        SCOPED_TRACE(std::string(row.what) + ", " + mode.name);
        ResetTree(start);
        Click(mode.control);
        std::vector<const char*> names;
        for (const Picked& picked : row.picked) names.push_back(picked.name.c_str());
        // The drive R: is gone to by its root, "R:\"; "R:" alone names its current folder.
        const bool atRoot = lstrcmpA(folder, "R:") == 0;
        const std::string where = row.sub[0] ? PathOf(row.sub) : atRoot ? RootDrive : folder;
        ASSERT_TRUE(OpenFiles(main, where.c_str(), names.data(), static_cast<int>(names.size())))
            << "the Open dialog did not take the names";
        EXPECT_EQ(ExpectedList(row), SortedListText());
        EXPECT_EQ(ExpectedBoxes(row, mode), RunAndReadBoxes());
        EXPECT_EQ(Shown(ExpectedTree(start, row, mode)), Shown(ReadTree()));
    }

private:
    void ReadFolder(const char* sub, Tree* tree) const {
        const std::string where = sub[0] ? PathOf(sub) : std::string(folder);
        char names[64][MAX_PATH];
        const int count = ListFolder(where.c_str(), names, 64);
        for (int i = 0; i < count; i++) {
            const std::string path = Under(sub, names[i]);
            if (!(GetFileAttributesA(PathOf(path.c_str()).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
                (*tree)[path] = BytesOf(path.c_str());
        }
    }

    std::string SortedListText() const {
        char lines[32][MAX_PATH];
        const int count = ReadListLines(main, lines, 32);
        std::vector<std::string> sorted(lines, lines + count);
        std::sort(sorted.begin(), sorted.end());
        std::string text;
        for (const std::string& line : sorted) text += line + "\n";
        return text;
    }

    std::string ExpectedList(const PickCase& row) const {
        std::vector<std::string> paths;
        for (const Picked& picked : row.picked) paths.push_back(PathOf(Under(row.sub, picked.name).c_str()));
        std::sort(paths.begin(), paths.end());
        std::string text;
        for (const std::string& path : paths) text += path + "\n";
        return text;
    }

    std::string ExpectedBoxes(const PickCase& row, const Mode& mode) const {
        const bool generates = Generates(mode);
        std::string boxes;
        for (const Picked& picked : row.picked) {
            if (picked.outcome == RefusesOwnCopy)
                boxes += "File Not Written!: " + PathOf(CopyOf(Under(row.sub, picked.name)).c_str()) + "\n";
            if (picked.outcome == TooLong) boxes += "File Name Too Long!: " + picked.name + "\n";
        }
        const Picked& last = row.picked.back();  // its path ends the run's last box
        const std::string lastPath = Under(row.sub, last.name);
        const int handled = static_cast<int>(row.picked.size());
        const int repaired = static_cast<int>(std::count_if(row.picked.begin(), row.picked.end(),
                                                            [](const Picked& p) { return p.outcome == Repairs; }));
        if (repaired < handled) return boxes + FailedEnd(repaired, handled, PathOf(lastPath.c_str()));
        boxes += handled == 1 ? "File is Decrimped!: " : "Files are Decrimped!: ";
        return boxes + PathOf((generates ? CopyOf(lastPath) : lastPath).c_str());
    }

    static Tree ExpectedTree(const Tree& start, const PickCase& row, const Mode& mode) {
        Tree tree = start;
        for (const Picked& picked : row.picked) {
            if (picked.outcome != Repairs) continue;
            const bool generates = Generates(mode);
            const std::string path = Under(row.sub, picked.name);
            tree[generates ? CopyOf(path) : path] = Repaired;
        }
        return tree;
    }

    std::vector<std::string> subFolders;
};

class Utf8Names : public NameTest {};
class LegacyNames : public NameTest {};
class LegacyLookAlikes : public NameTest {};

const std::string Precomposed = "caf\u00e9.mp3";
const std::string Decomposed = "cafe\u0301.mp3";

}  // namespace

TEST_F(Utf8Names, ProgramRunsInUtf8) {
    EXPECT_EQ(65001u, ProgramCodePage(&guard.program));
}

TEST_F(Utf8Names, EachPickedNameIsListedAndRepairedByItsTrueName) {
    const Tree start = DamagedFiles({"best.mp3", "ｂｅｓｔ.mp3", "Песня.mp3", "Τραγούδι.mp3",
                                     "歌曲.mp3", "🎵 tune.mp3", Precomposed, Decomposed});
    const PickCase rows[] = {
        {"full-width look-alike beside its unpicked ASCII twin", "", {{"ｂｅｓｔ.mp3", Repairs}}},
        {"Cyrillic, Greek, CJK, emoji, precomposed accent", "",
         {{"Песня.mp3", Repairs}, {"Τραγούδι.mp3", Repairs}, {"歌曲.mp3", Repairs},
          {"🎵 tune.mp3", Repairs}, {Precomposed, Repairs}}},
        {"decomposed accent beside its unpicked precomposed twin", "", {{Decomposed, Repairs}}},
    };
    for (const PickCase& row : rows)
        for (const Mode& mode : BothModes) CheckPick(start, row, mode);
}

TEST_F(Utf8Names, NameAtTheByteLimitIsRepairedAndOneByteMoreIsNot) {
    if (!UseShortRootFolder()) GTEST_SKIP() << "needs root to make a folder at the Linux root";
    std::string fits, over;
    for (int i = 0; i < 81; i++) fits += "歌";   // 3 bytes each: 247 with ".mp3"
    for (int i = 0; i < 61; i++) over += "🎵";  // 4 bytes each: 248 with ".mp3"
    fits += ".mp3";
    over += ".mp3";
    ASSERT_EQ(247u, fits.size()) << "\"Copy of \" + name fills the 255 bytes of a name";
    ASSERT_EQ(248u, over.size());
    const PickCase row = {"at the limit, then one byte over", "", {{fits, Repairs}, {over, TooLong}}};
    for (const Mode& mode : BothModes) CheckPick(DamagedFiles({fits, over}), row, mode);
}

TEST_F(Utf8Names, OwnCopyCheckFoldsCaseAsTheFileSystemDoes) {
    // "Copy of Café.mp3" is the picked "COPY OF CAFÉ.MP3"; "ß" is not "SS" to the file system.
    const PickCase row = {"case pairs", "",
                          {{"Café.mp3", RefusesOwnCopy}, {"COPY OF CAFÉ.MP3", Repairs},
                           {"Straße.mp3", Repairs}, {"COPY OF STRASSE.MP3", Repairs}}};
    const Tree start = DamagedFiles({"Café.mp3", "COPY OF CAFÉ.MP3", "Straße.mp3", "COPY OF STRASSE.MP3"});
    for (const Mode& mode : BothModes) CheckPick(start, row, mode);
}

TEST_F(LegacyNames, ProgramRunsInCodePage932) {
    EXPECT_EQ(932u, ProgramCodePage(&guard.program));
}

// 表 ソ 能 予 十 end in the byte 0x5C under code page 932.
TEST_F(LegacyNames, TrailByte5CIsNeverTakenForASeparator) {
    for (const char* sub : {"発表", "ソ", "予"}) MakeFolder(sub);
    const Tree start = DamagedFiles({"発表a.mp3", "発表\\a.mp3", "発表\\b.mp3", "ソ十", "ソ\\十",
                                     "予\\表", "予\\能", "予\\ソ", "予\\十.mp3", "予表"});
    const PickCase rows[] = {
        {"several files in a folder ending in 表", "発表", {{"a.mp3", Repairs}, {"b.mp3", Repairs}}},
        {"one name ending in 十 in a folder ending in ソ", "ソ", {{"十", Repairs}}},
        {"several names ending in 表, 能 and ソ", "予",
         {{"表", Repairs}, {"能", Repairs}, {"ソ", Repairs}}},
        {"names typed with folders ending in 表 and 予", "",
         {{"発表\\a.mp3", Repairs}, {"予\\表", Repairs}}},
    };
    for (const PickCase& row : rows)
        for (const Mode& mode : BothModes) CheckPick(start, row, mode);
}

TEST_F(LegacyNames, OwnCopyCheckNeverFoldsHalfACharacter) {
    // ア and ヂ differ only in a trail byte that is "A" against "a"; Д О М fold to д о м.
    const PickCase row = {"double-byte pairs", "",
                          {{"ア.mp3", Repairs}, {"Copy of ヂ.mp3", Repairs},
                           {"Дом.mp3", RefusesOwnCopy}, {"COPY OF ДОМ.MP3", Repairs}}};
    const Tree start = DamagedFiles({"ア.mp3", "Copy of ヂ.mp3", "Дом.mp3", "COPY OF ДОМ.MP3"});
    for (const Mode& mode : BothModes) CheckPick(start, row, mode);
}

// Code page 1252 has no full-width letters: the dialog hands back "best.mp3" for
// "ｂｅｓｔ.mp3", and the program cannot tell which of the two was picked, so it opens
// neither. A name the code page holds is repaired beside them as ever.
TEST_F(LegacyLookAlikes, NameThatMayStandForAnotherFileTouchesNothing) {
    ASSERT_EQ(1252u, ProgramCodePage(&guard.program));
    MakeFolder("ｍｕｓｉｃ");
    MakeFolder("music");
    const Tree start = DamagedFiles({"best.mp3", "ｂｅｓｔ.mp3", "café.mp3", "ｍｕｓｉｃ\\a.mp3", "music\\a.mp3"});
    const struct {
        const char* picked;
        const char* cameBack;
    } rows[] = {{"ｂｅｓｔ.mp3", "best.mp3"}, {"best.mp3", "best.mp3"},
                {"ｍｕｓｉｃ\\a.mp3", "music\\a.mp3"}};
    for (const auto& row : rows) {
        for (const Mode& mode : BothModes) {
            SCOPED_TRACE(std::string(row.picked) + ", " + mode.name);
            ResetTree(start);
            Click(mode.control);
            ASSERT_TRUE(OpenFiles(main, folder, &row.picked, 1));
            const std::string path = PathOf(row.cameBack);
            EXPECT_EQ(path, ListText());
            EXPECT_EQ("File Not Open!: " + path + "\n" + FailedEnd(0, 1, path), RunAndReadBoxes());
            EXPECT_EQ(Shown(start), Shown(ReadTree()));
        }
    }
    const PickCase held = {"a name the code page holds", "", {{"café.mp3", Repairs}}};
    for (const Mode& mode : BothModes) CheckPick(start, held, mode);
}
