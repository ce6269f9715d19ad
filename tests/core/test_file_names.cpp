// The platform's name rules, with raw bytes: UTF-8 (the stand-in, or Windows with the
// manifest) and code page 932, whose second bytes may be 0x5C or an ASCII letter.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

#include "platform.h"
#include "test_support.h"

namespace {

const std::vector<unsigned> Anywhere = {};
const std::vector<unsigned> Utf8 = {NativeStandIn, CodePageUtf8};
const std::vector<unsigned> Only932 = {CodePage932};
// The stand-in keeps bytes that are not UTF-8 apart, as 932 keeps its characters.
const std::vector<unsigned> Kept932 = {NativeStandIn, CodePage932};
// Windows' file calls, in whatever code page; Linux keeps a trailing dot.
const std::vector<unsigned> OnWindows = {1252, CodePageUtf8, CodePage932};

// Run only by the builds that start these tests in another code page on purpose,
// so that rows for that code page cannot be passed over unseen.
TEST(NameRulesInForce, DISABLED_Utf8) { EXPECT_EQ(CodePageUtf8, NameRules()); }
TEST(NameRulesInForce, DISABLED_CodePage932) { EXPECT_EQ(CodePage932, NameRules()); }

TEST(FileNames, SameFileAsTheFileSystemSeesIt) {
    struct Case {
        const char* name;
        std::string a, b;
        bool same;
        std::vector<unsigned> codePages;
    };
    const Case cases[] = {
        {"ASCII case", "a.mp3", "A.MP3", true, Anywhere},
        {"other name", "a.mp3", "b.mp3", false, Anywhere},
        {"one a prefix of the other", "a.mp3", "a.mp3x", false, Anywhere},
        {"sub-folder in either case", "sub\\a.mp3", "SUB\\A.mp3", true, Anywhere},
        {"dot folder", ".\\a.mp3", "a.mp3", true, Anywhere},
        {"into a folder and out again", "sub\\..\\a.mp3", "a.mp3", true, Anywhere},
        {"forward slash", "sub/a.mp3", "sub\\a.mp3", true, Anywhere},
        {"the folder above", "..\\a.mp3", "a.mp3", false, Anywhere},
        {"trailing dot, which the file calls drop", "a.mp3.", "a.mp3", true, OnWindows},
        {"sharp s is not ss", "Stra\xC3\x9F" "e.mp3", "STRASSE.MP3", false, Anywhere},
        {"precomposed and decomposed accent", "Caf\xC3\xA9", "Cafe\xCC\x81", false, Anywhere},
        {"full-width look-alike", "\xEF\xBD\x82\xEF\xBD\x85\xEF\xBD\x93\xEF\xBD\x94.mp3", "best.mp3", false, Anywhere},
        {"two emoji", "\xF0\x9F\x98\x80.mp3", "\xF0\x9F\x98\x81.MP3", false, Utf8},
        {"accented capitals", "Copy of Caf\xC3\xA9.mp3", "COPY OF CAF\xC3\x89.MP3", true, Utf8},
        {"Greek", "\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x8A\xCE\x91", true, Utf8},
        {"Cyrillic", "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0", "\xD0\x81\xD0\x9B\xD0\x9A\xD0\x90", true, Utf8},
        {"full-width case", "\xEF\xBD\x82\xEF\xBD\x85", "\xEF\xBC\xA2\xEF\xBC\xA5", true, Utf8},
        {"932: second bytes A and a", "\x83\x41.mp3", "\x83\x61.mp3", false, Kept932},
        {"932: own copy of a look-alike", "Copy of \x83\x41.mp3", "Copy of \x83\x61.mp3", false, Kept932},
        {"UTF-8: bytes it cannot read, as the file calls read them", "\x83\x41.mp3", "\x83\x61.mp3", true, {CodePageUtf8}},
        {"932: ASCII case after a 0x5C second byte", "\x95\x5C" "a.mp3", "\x95\x5C" "A.MP3", true, Only932},
    };
    int checked = 0;
    for (const Case& c : cases) {
        if (!HoldsHere(c.codePages)) continue;
        EXPECT_EQ(c.same, SameFileName(c.a.c_str(), c.b.c_str())) << c.name;
        EXPECT_EQ(c.same, SameFileName(c.b.c_str(), c.a.c_str())) << c.name << ", turned round";
        checked++;
    }
    std::printf("%d of %zu rows hold here (code page %u, 0 for the stand-in)\n", checked, std::size(cases), NameRules());
}

TEST(FileNames, NameStartsAfterTheLastSeparator) {
    struct Case {
        const char* name;
        std::string path;
        size_t start;
        std::vector<unsigned> codePages;
    };
    const Case cases[] = {
        {"bare name", "a.mp3", 0, Anywhere},
        {"sub-folder", "sub\\a.mp3", 4, Anywhere},
        {"two folders", "C:\\d\\a.mp3", 5, Anywhere},
        {"forward slash", "sub/a.mp3", 4, Anywhere},
        {"a folder named in 932", "\x83\x5C\\a.mp3", 3, Anywhere},
        {"UTF-8 folder", "\xE8\xA1\xA8\\a.mp3", 4, Utf8},
        {"932: 0x5C second bytes only", "\x95\x5C\x83\x5C" "a.mp3", 0, Only932},
        {"932: folder ending in a 0x5C second byte", "\x94\xAD\x95\x5C\\\x83\x5C.mp3", 5, Only932},
    };
    for (const Case& c : cases) {
        if (HoldsHere(c.codePages)) {
            EXPECT_EQ(c.start, NameStart(c.path.c_str())) << c.name;
        }
    }
}

}  // namespace
