// Files that cannot be read, written or replaced: every case checks the boxes the
// user sees and every byte left in the folder, then that the program still works.
#include <atomic>
#include <cstring>
#include <thread>

#include <zlib.h>

#include "fault_support.h"
#include "under_test.h"

namespace {

class FileFaults : public FaultTest {};

// Damage of the second kind: a CR put only before an LF that has none.
std::string DamageLoneLineFeeds(const std::string& original) {
    std::string damaged;
    for (size_t i = 0; i < original.size(); ++i) {
        if (original[i] == '\n' && (i == 0 || original[i - 1] != '\r')) damaged += '\r';
        damaged += original[i];
    }
    return damaged;
}

std::string RandomLooking(size_t size) {
    std::string bytes(size, '\0');
    unsigned state = 1995;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

void PutBigEndian(std::string* out, unsigned long value) {
    for (int shift = 24; shift >= 0; shift -= 8) *out += static_cast<char>((value >> shift) & 0xFF);
}

std::string PngChunk(const char* type, const std::string& data) {
    std::string chunk;
    PutBigEndian(&chunk, static_cast<unsigned long>(data.size()));
    const std::string body = type + data;
    chunk += body;
    PutBigEndian(&chunk, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    return chunk;
}

// A grey 64 x 64 picture of noise, made with zlib, with a comment of two CR LF lines:
// the second kind of damage leaves those pairs, and the signature's, as they were.
std::string SmallPng() {
    std::string rows;
    const std::string noise = RandomLooking(64 * 64);
    for (int row = 0; row < 64; ++row) rows += '\0' + noise.substr(static_cast<size_t>(row) * 64, 64);
    std::string packed(compressBound(static_cast<uLong>(rows.size())), '\0');
    uLongf packedSize = static_cast<uLongf>(packed.size());
    if (compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
                 static_cast<uLong>(rows.size())) != Z_OK)
        return "";
    packed.resize(packedSize);
    const std::string header("\0\0\0\x40\0\0\0\x40\x08\0\0\0\0", 13);
    return std::string("\x89PNG\r\n\x1a\n") + PngChunk("IHDR", header) +
           PngChunk("tEXt", std::string("Comment\0line one\r\nline two\r\n", 28)) + PngChunk("IDAT", packed) +
           PngChunk("IEND", "");
}

}  // namespace

TEST_F(FileFaults, PickedFileVanishedBeforeTheRun) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3", "b.mp3"});
        ASSERT_TRUE(Pick({"a.mp3", "b.mp3"}));
        ASSERT_TRUE(DeleteFileA(PathOf("a.mp3").c_str()));
        EXPECT_EQ("File Not Open!: " + PathOf("a.mp3") + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
        EXPECT_EQ(Generates(mode) ? "Copy of b.mp3 | b.mp3" : "b.mp3", Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of b.mp3" : "b.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, PickedFileHeldOpenWithoutSharing) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"held.mp3", "free.mp3"});
        ASSERT_TRUE(Pick({"held.mp3", "free.mp3"}));
        {
            HeldFile held(PathOf("held.mp3"));
            ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);
            EXPECT_EQ("File Not Open!: " + PathOf("held.mp3") + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
        }
        EXPECT_EQ(Generates(mode) ? "Copy of free.mp3 | free.mp3 | held.mp3" : "free.mp3 | held.mp3",
                  Listing());
        EXPECT_EQ(Damaged, BytesOf("held.mp3"));
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of free.mp3" : "free.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, ReadOnlyPickedFileIsCopiedButNeverReplaced) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3"});
        ASSERT_TRUE(SetFileAttributesA(PathOf("a.mp3").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(Pick({"a.mp3"}));
        const std::string notReplaced = "File Not Replaced!: " + PathOf("a.mp3") + "\n";
        EXPECT_EQ(Generates(mode) ? "File is Decrimped!: " + ResultOf(mode, "a.mp3")
                                  : notReplaced + FailedEnd(0, 1, PathOf("a.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ("Copy of a.mp3 | a.mp3", Listing()) << "the repair stays beside the original";
        EXPECT_EQ(Repaired, BytesOf("Copy of a.mp3"));
        EXPECT_EQ(Damaged, BytesOf("a.mp3"));
        EXPECT_NE(0u, GetFileAttributesA(PathOf("a.mp3").c_str()) & FILE_ATTRIBUTE_READONLY);
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, ReadOnlyCopyInTheWayIsLeftAlone) {
    const std::string older = "an older copy";
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3"});
        MakeFile("Copy of a.mp3", older);
        ASSERT_TRUE(SetFileAttributesA(PathOf("Copy of a.mp3").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ("File Not Written!: " + PathOf("Copy of a.mp3") + "\n" + FailedEnd(0, 1, PathOf("a.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ("Copy of a.mp3 | a.mp3", Listing());
        EXPECT_EQ(older, BytesOf("Copy of a.mp3"));
        EXPECT_EQ(Damaged, BytesOf("a.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, ReadOnlyFolderGetsNoCopy) {
    if (!MountSmallDisk("ro", "1m")) GTEST_SKIP() << "needs root to mount a read-only folder";
    MakeFile("ro\\a.mp3", Damaged);
    ASSERT_TRUE(MakeMountReadOnly("ro"));
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Click(mode.control);
        ASSERT_TRUE(PickIn("ro", {"a.mp3"}));
        EXPECT_EQ("File Not Written!: " + PathOf("ro\\Copy of a.mp3") + "\n" +
                      FailedEnd(0, 1, PathOf("ro\\a.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ("a.mp3", ListingOf("ro"));
        EXPECT_EQ(Damaged, BytesOf("ro\\a.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, DiskFullInTheMiddleOfTheCopyLeavesNoPartialOutput) {
    if (!MountSmallDisk("full", "3m")) GTEST_SKIP() << "needs root to mount a small disk";
    // Two blocks of output: the first fits, the disk fills during the second.
    size_t repairedSize = 0;
    const std::string big = DamagedOfSize(1600 * 1024, &repairedSize);
    ASSERT_GT(big.size() + repairedSize, 3u << 20) << "the copy must not fit";
    MakeFile("full\\big.mp3", big);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Click(mode.control);
        ASSERT_TRUE(PickIn("full", {"big.mp3"}));
        EXPECT_EQ("File Not Written!: " + PathOf("full\\Copy of big.mp3") + "\n" +
                      FailedEnd(0, 1, PathOf("full\\big.mp3")),
                  RunAndReadBoxes());
        EXPECT_EQ("big.mp3", ListingOf("full")) << "no partial copy left";
        EXPECT_TRUE(big == LargeBytesOf("full\\big.mp3")) << "the picked file changed";
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, MiddleOfThreeFailsTheOthersAreRepaired) {
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"1.mp3", "2.mp3", "3.mp3"});
        ASSERT_TRUE(Pick({"1.mp3", "2.mp3", "3.mp3"}));
        {
            HeldFile held(PathOf("2.mp3"));
            ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);
            EXPECT_EQ("File Not Open!: " + PathOf("2.mp3") + "\n" + FailedEnd(2, 3, ""), RunAndReadBoxes());
        }
        EXPECT_EQ(Generates(mode) ? "1.mp3 | 2.mp3 | 3.mp3 | Copy of 1.mp3 | Copy of 3.mp3"
                                  : "1.mp3 | 2.mp3 | 3.mp3",
                  Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of 1.mp3" : "1.mp3"));
        EXPECT_EQ(Damaged, BytesOf("2.mp3"));
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of 3.mp3" : "3.mp3"));
    }
    ExpectAnotherRunWorks();
}

TEST_F(FileFaults, FileAndItsOwnCopyPickedTogether) {
    const std::string otherDamage("B\r\n\r\n", 5);
    const std::string otherRepaired("B\n\n", 3);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3"});
        MakeFile("Copy of a.mp3", otherDamage);
        ASSERT_TRUE(Pick({"a.mp3", "Copy of a.mp3"}));
        // a.mp3's copy would overwrite a picked file: refused, and the other one repaired.
        EXPECT_EQ("File Not Written!: " + PathOf("Copy of a.mp3") + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
        EXPECT_EQ(Damaged, BytesOf("a.mp3"));
        if (Generates(mode)) {
            EXPECT_EQ("Copy of Copy of a.mp3 | Copy of a.mp3 | a.mp3", Listing());
            EXPECT_EQ(otherDamage, BytesOf("Copy of a.mp3"));
            EXPECT_EQ(otherRepaired, BytesOf("Copy of Copy of a.mp3"));
        } else {
            EXPECT_EQ("Copy of a.mp3 | a.mp3", Listing());
            EXPECT_EQ(otherRepaired, BytesOf("Copy of a.mp3"));
        }
    }
    ExpectAnotherRunWorks();
}

// A healthy file has LFs of its own, and CR LF pairs only by chance: taking them out
// would corrupt it. So would a second repair of a file already repaired.
TEST_F(FileFaults, FilesNotDamagedThisWayAreNeverTouched) {
    const std::string healthy("ID3\x03\n\0\r\n\xFF\xFB", 10);
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"damaged.mp3", "repaired.mp3"});
        MakeFile("healthy.mp3", healthy);
        MakeFile("repaired.mp3", Repaired);
        ASSERT_TRUE(Pick({"damaged.mp3", "healthy.mp3", "repaired.mp3"}));
        EXPECT_EQ("File Not Damaged!: " + PathOf("healthy.mp3") + "\nFile Not Damaged!: " +
                      PathOf("repaired.mp3") + "\n" + FailedEnd(1, 3, ""),
                  RunAndReadBoxes());
        EXPECT_EQ(Generates(mode) ? "Copy of damaged.mp3 | damaged.mp3 | healthy.mp3 | repaired.mp3"
                                  : "damaged.mp3 | healthy.mp3 | repaired.mp3",
                  Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of damaged.mp3" : "damaged.mp3"));
        EXPECT_EQ(healthy, BytesOf("healthy.mp3"));
        EXPECT_EQ(Repaired, BytesOf("repaired.mp3"));
    }
    ExpectAnotherRunWorks();
}

// The program's own names are taken only while free: a file that has one (a crash's
// leftover, or the user's own), picked or not, is never touched.
TEST_F(FileFaults, FilesUnderTheProgramsOwnNamesAreNeverTouched) {
    const char* const unfinished = "~Decrimp 95 unfinished copy.tmp";
    const char* const aside = "~Decrimp 95 original.tmp";
    const std::string mine = "A\n someone's own";
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {"a.mp3"});
        MakeFile(unfinished, mine);
        MakeFile(aside, mine);
        ASSERT_TRUE(Pick({"a.mp3"}));
        EXPECT_EQ("File is Decrimped!: " + ResultOf(mode, "a.mp3"), RunAndReadBoxes());
        EXPECT_EQ(std::string(Generates(mode) ? "Copy of a.mp3 | " : "") + "a.mp3 | " + aside + " | " + unfinished,
                  Listing());
        EXPECT_EQ(Repaired, BytesOf(Generates(mode) ? "Copy of a.mp3" : "a.mp3"));
        EXPECT_EQ(mine, BytesOf(unfinished));
        EXPECT_EQ(mine, BytesOf(aside));

        Prepare(mode, {"a.mp3", unfinished, aside});
        ASSERT_TRUE(Pick({"a.mp3", unfinished, aside}));
        EXPECT_EQ("Files are Decrimped!: " + ResultOf(mode, aside), RunAndReadBoxes());
        EXPECT_EQ(Generates(mode) ? std::string("Copy of a.mp3 | Copy of ") + aside + " | Copy of " + unfinished +
                                        " | a.mp3 | " + aside + " | " + unfinished
                                  : std::string("a.mp3 | ") + aside + " | " + unfinished,
                  Listing());
        for (const char* name : {"a.mp3", unfinished, aside}) {
            EXPECT_EQ(Repaired, BytesOf((std::string(Generates(mode) ? "Copy of " : "") + name).c_str())) << name;
            if (Generates(mode)) {
                EXPECT_EQ(Damaged, BytesOf(name)) << name;
            }
        }
    }
    ExpectAnotherRunWorks();
}

// Another program's save while the run reads the picked file, as a tag editor makes it:
// a few bytes rewritten in place, the size and the last write time kept.
static bool SaveKeepingSizeAndDate(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME written;
    DWORD done = 0;
    const bool saved = GetFileTime(file, nullptr, nullptr, &written) &&
                       WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                       done == bytes.size() && SetFileTime(file, nullptr, nullptr, &written);
    return CloseHandle(file) && saved;
}

// The save is made from a second thread as soon as the run's unfinished copy shows, while
// most of a large file is still to be read: the copy would hold neither version.
TEST_F(FileFaults, SaveKeepingSizeAndDateWhileTheFileIsReadIsKept) {
    if (std::strcmp(AnsweredAs, "95") == 0) GTEST_SKIP() << "95/98/Me keep no change time to see it by";
    size_t repairedSize = 0;
    const std::string big = DamagedOfSize(48 << 20, &repairedSize);
    const std::string tag = "TAG saved meanwhile\r\n";
    const std::string saved = tag + big.substr(tag.size());
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {});
        MakeFile("big.mp3", big);
        ASSERT_TRUE(Pick({"big.mp3"}));
        std::atomic<bool> savedIt{false}, stop{false};
        std::thread editor([&] {
            const std::string pattern = PathOf("~Decrimp 95 unfinished copy*");
            WIN32_FIND_DATAA found;
            while (!stop) {
                HANDLE search = FindFirstFileA(pattern.c_str(), &found);
                if (search != INVALID_HANDLE_VALUE) {
                    FindClose(search);
                    savedIt = SaveKeepingSizeAndDate(PathOf("big.mp3"), tag);
                    return;
                }
                Sleep(1);
            }
        });
        const std::string boxes = RunAndReadBoxes();
        stop = true;
        editor.join();
        ASSERT_TRUE(savedIt) << "the save was not made";
        EXPECT_EQ("File Changed While Read!: " + PathOf("big.mp3") + "\n" + FailedEnd(0, 1, PathOf("big.mp3")), boxes);
        EXPECT_EQ("big.mp3", Listing());
        EXPECT_TRUE(saved == LargeBytesOf("big.mp3", 64 << 20)) << "the save was lost";
    }
    ExpectAnotherRunWorks();
}

// A file damaged the second way comes back exact where its own checks decide (a PNG), and
// gets no repair at all where nothing does (random bytes, told by the count alone).
TEST_F(FileFaults, SecondKindOfDamageIsRepairedExactlyOrNotAtAll) {
    const std::string png = SmallPng();
    const std::string noise = RandomLooking(1 << 20);
    ASSERT_FALSE(png.empty());
    for (const Mode& mode : BothModes) {
        SCOPED_TRACE(mode.name);
        Prepare(mode, {});
        MakeFile("noise.dat", DamageLoneLineFeeds(noise));
        MakeFile("picture.png", DamageLoneLineFeeds(png));
        ASSERT_TRUE(Pick({"noise.dat", "picture.png"}));
        EXPECT_EQ("Repair Not Certain!: " + PathOf("noise.dat") + "\n" + FailedEnd(1, 2, ""), RunAndReadBoxes());
        EXPECT_EQ(Generates(mode) ? "Copy of picture.png | noise.dat | picture.png" : "noise.dat | picture.png",
                  Listing());
        EXPECT_EQ(DamageLoneLineFeeds(noise), LargeBytesOf("noise.dat"));
        EXPECT_EQ(png, BytesOf(Generates(mode) ? "Copy of picture.png" : "picture.png"));
    }
    ExpectAnotherRunWorks();
}
