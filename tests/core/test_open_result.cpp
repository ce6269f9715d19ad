// What the Open dialog hands over, checked and tidied before the walks see it.
#include <gtest/gtest.h>

#include <cstring>

#include "open_result.h"
#include "selection.h"
#include "state.h"

namespace {

// Fills the whole buffer with non-NUL bytes, then puts bytes at its start.
void Load(const std::string& bytes, unsigned short offset) {
    std::memset(SelectionBuffer, 'Z', sizeof SelectionBuffer);
    std::memcpy(SelectionBuffer, bytes.data(), std::min(bytes.size(), sizeof SelectionBuffer));
    NameOffset = offset;
}

// A directory and names filling the buffer to its last byte, with end bytes at the end.
std::string FullList(const std::string& end) {
    std::string list = std::string("C:\\d") + '\0';
    const size_t names = SelectionBufferSize - list.size() - end.size();
    list += std::string(names, 'n');
    return list + end;
}

std::vector<std::string> Listed;
void AddToListed(const char* path) { Listed.push_back(path); }

}  // namespace

TEST(OpenResult, CutListsAreTold) {
    using std::string;
    struct Case {
        const char* name;
        string bytes;
        unsigned short offset;
        bool whole;
    };
    const Case cases[] = {
        {"one full path", string("C:\\d\\a.mp3\0", 11), 5, true},
        {"a list with its closing empty string", string("C:\\d\0a\0b\0\0", 10), 5, true},
        {"a list closed on the buffer's last byte", FullList(string("\0\0", 2)), 5, true},
        {"cut inside a name", FullList(""), 5, false},
        {"cut after a name, no room to close", FullList(string("\0", 1)), 5, false},
        {"an offset past the buffer", string("C:\\d\0a\0\0", 8), SelectionBufferSize, true},
    };
    for (const Case& c : cases) {
        Load(c.bytes, c.offset);
        EXPECT_EQ(c.whole, SelectionIsWhole(c.offset)) << c.name;
    }
}

TEST(OpenResult, DriveRootGetsOneSeparator) {
    using std::string;
    struct Case {
        const char* name;
        string bytes;
        unsigned short offset;
        std::vector<string> listed;
    };
    const Case cases[] = {
        {"names at a root", string("C:\\\0a.mp3\0b.mp3\0\0", 17), 4, {"C:\\a.mp3", "C:\\b.mp3"}},
        {"names in a folder", string("C:\\d\0a.mp3\0\0", 12), 5, {"C:\\d\\a.mp3"}},
        {"one file at a root", string("C:\\a.mp3\0", 9), 3, {"C:\\a.mp3"}},
        // Code page 932: folder names ending in a character whose second byte is 0x5C.
        {"folder ending in 0x95 0x5C", string("C:\\\x94\xAD\x95\x5C\0a\0b\0\0", 13), 8,
         {"C:\\\x94\xAD\x95\x5C\\a", "C:\\\x94\xAD\x95\x5C\\b"}},
        {"one such character at a root", string("C:\\\x83\x5C\0a\0\0", 9), 6, {"C:\\\x83\x5C\\a"}},
    };
    for (const Case& c : cases) {
        Load(c.bytes, c.offset);
        DropRootSeparator();
        Listed.clear();
        ListSelection(AddToListed);
        EXPECT_EQ(c.listed, Listed) << c.name;
    }
}
