// Helpers shared by the core tests: scratch folders, whole-file bytes, WorkPath set-up.
#ifndef DECRIMP_TEST_SUPPORT_H
#define DECRIMP_TEST_SUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

Bytes ToBytes(const std::string& text);
Bytes ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const Bytes& bytes);
std::vector<std::string> FolderContents(const std::filesystem::path& folder);

// The conversion as first written: one byte at a time, stepping back over a CR
// when an LF follows it. The fast block loop must match it exactly.
Bytes ReferenceRestore(const Bytes& input);

// The two kinds of text-mode damage: every LF made CR LF, or a CR put only before an
// LF that has none (the file's own CR LF pairs stay as they were).
Bytes DamageEveryLineFeed(const Bytes& original);
Bytes DamageLoneLineFeeds(const Bytes& original);

// How names are read: in the process's code page on Windows, or by the native
// stand-in (UTF-8, on a Linux file system where bytes that are not UTF-8 stay distinct).
const unsigned NativeStandIn = 0;
const unsigned CodePageUtf8 = 65001;
const unsigned CodePage932 = 932;
unsigned NameRules();
// True when rules is empty or holds NameRules(): rows whose bytes mean one name
// in one code page and another in the next run only where they hold.
bool HoldsHere(const std::vector<unsigned>& rules);

// Files named in the process code page, made and read through the core's own file
// call, since the C++ library may take names in another one. Windows-style paths.
bool WriteNamed(const std::string& path, const Bytes& bytes);
// The file's bytes, or the bytes of "<missing>" when it cannot be opened.
Bytes ReadNamed(const std::string& path);

// Sets WorkPath and NameOffset to the folder with a trailing backslash.
void UseFolder(const std::filesystem::path& folder);

// Makes folder the current one and WorkPath ".\", for as long as it lives: paths then
// stay as short as at a drive's root, whatever the length of the temp folder's path.
struct InsideFolder {
    explicit InsideFolder(const std::filesystem::path& folder);
    ~InsideFolder();
    std::filesystem::path previous;
};

// A fresh scratch folder, removed again by the test fixture.
std::filesystem::path MakeScratchFolder(const char* tag);
void MakeWritable(const std::filesystem::path& path);
void MakeReadOnly(const std::filesystem::path& path);

bool RunningAsRoot();
bool MountTmpfs(const std::filesystem::path& folder, const char* options);
bool Unmount(const std::filesystem::path& folder);

#endif
