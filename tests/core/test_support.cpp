// Test helpers; portable between the native build and the Windows build under Wine.
#include "test_support.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "platform.h"
#include "state.h"

namespace fs = std::filesystem;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderContents(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReferenceRestore(const Bytes& input) {
    Bytes output;
    int previous = 0x61;
    for (unsigned char byte : input) {
        if (byte == 0x0A && previous == 0x0D) output.pop_back();
        previous = byte;
        output.push_back(byte);
    }
    return output;
}

Bytes DamageEveryLineFeed(const Bytes& original) {
    Bytes damaged;
    for (unsigned char byte : original) {
        if (byte == 0x0A) damaged.push_back(0x0D);
        damaged.push_back(byte);
    }
    return damaged;
}

Bytes DamageLoneLineFeeds(const Bytes& original) {
    Bytes damaged;
    for (size_t i = 0; i < original.size(); ++i) {
        if (original[i] == 0x0A && (i == 0 || original[i - 1] != 0x0D)) damaged.push_back(0x0D);
        damaged.push_back(original[i]);
    }
    return damaged;
}

#ifdef _WIN32
unsigned NameRules() { return GetACP(); }
#else
unsigned NameRules() { return NativeStandIn; }
#endif

bool HoldsHere(const std::vector<unsigned>& rules) {
    return rules.empty() || std::find(rules.begin(), rules.end(), NameRules()) != rules.end();
}

bool WriteNamed(const std::string& path, const Bytes& bytes) {
    FILE* file = OpenSharedFile(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

Bytes ReadNamed(const std::string& path) {
    FILE* file = OpenSharedFile(path.c_str(), "rb");
    if (!file) return ToBytes("<missing>");
    Bytes bytes;
    int byte;
    while ((byte = std::fgetc(file)) != EOF) bytes.push_back(static_cast<unsigned char>(byte));
    std::fclose(file);
    return bytes;
}

void UseFolder(const fs::path& folder) {
    std::string prefix = folder.string() + "\\";
    ASSERT_LT(prefix.size(), static_cast<size_t>(WorkPathSize));
    std::memset(WorkPath, 'X', sizeof WorkPath);  // stale bytes must never show through
    std::memcpy(WorkPath, prefix.c_str(), prefix.size() + 1);
    NameOffset = static_cast<unsigned short>(prefix.size());
}

InsideFolder::InsideFolder(const fs::path& folder) : previous(fs::current_path()) {
    fs::current_path(folder);
    std::memcpy(WorkPath, ".\\", 3);
    NameOffset = 2;
}

InsideFolder::~InsideFolder() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
}

fs::path MakeScratchFolder(const char* tag) {
    static std::mt19937 random{std::random_device{}()};
    fs::path folder = fs::temp_directory_path() / ("decrimp-" + std::string(tag) + "-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

void MakeWritable(const fs::path& path) {
    std::error_code missingIsFine;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, missingIsFine);
}

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

#ifdef _WIN32
bool RunningAsRoot() { return false; }
bool MountTmpfs(const fs::path&, const char*) { return false; }
bool Unmount(const fs::path&) { return false; }
#else
bool RunningAsRoot() { return geteuid() == 0; }

bool MountTmpfs(const fs::path& folder, const char* options) {
    const std::string command = "mount -t tmpfs -o " + std::string(options) + " decrimp-test '" + folder.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

bool Unmount(const fs::path& folder) {
    const std::string command = "umount '" + folder.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}
#endif
