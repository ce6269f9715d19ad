// The fault cases' own tools: Unix commands run from the Windows side (mounts need
// root and a Linux shell), and a fixture that checks every box a run shows.
#ifndef DECRIMP_FAULT_SUPPORT_H
#define DECRIMP_FAULT_SUPPORT_H

#include <string>

#include "ui_test_support.h"

// Runs command with /bin/sh, started through Wine; true when it exits with 0.
bool RunUnix(const std::string& command);
bool RunningAsRoot();
// The Linux path of a Windows path, single-quoted for the shell; "" if Wine has none.
std::string QuotedUnixPath(const std::string& windowsPath);

// Damaged bytes and their repair.
extern const std::string Damaged;
extern const std::string Repaired;
// size bytes of damaged text; *repairedSize is what the repair leaves.
std::string DamagedOfSize(size_t size, size_t* repairedSize);

struct Mode {
    int control;
    const char* name;
};
extern const Mode BothModes[2];

class FaultTest : public ProgramTest {
protected:
    void TearDown() override;

    // Mounts a small tmpfs at folder\name (as root); false when that cannot be done.
    bool MountSmallDisk(const char* name, const char* size);
    // Makes the mount read-only, keeping what was written into it.
    bool MakeMountReadOnly(const char* name);
    // Maps drive letter R: to the test folder, so that its files sit at a drive's root,
    // and starts the program again, so that it knows the drive from its start.
    bool MapRootDrive();
    // Wine's Open dialog takes a name only while the file's Linux path stays within 257
    // characters: at a folder "/dq" that allows names of up to 253. The test folder
    // becomes R:, mapped there, whose Windows paths stay within the ANSI calls' 260.
    // Every Wine prefix shares /dq: a ctest entry whose tests use it takes a lock
    // (tests/faults/CMakeLists.txt), so that runs side by side take turns.
    bool UseShortRootFolder();
    // Presses "&Decrimp!" and reads every box the run shows, in order, up to and
    // including the completion message, each as "caption: text", one per line.
    std::string RunAndReadBoxes() const;
    // Picks names of the test folder, or of its sub-folder sub, through the Open dialog.
    bool Pick(std::initializer_list<const char*> names) const { return PickIn("", names); }
    bool PickIn(const char* sub, std::initializer_list<const char*> names) const;
    // Bytes of a file of up to limit bytes; "<missing>" when it cannot be read.
    std::string LargeBytesOf(const char* name, size_t limit = 4 << 20) const;
    // Files of folder\sub (or of the folder itself), sorted, joined by " | ".
    std::string ListingOf(const char* sub) const;
    // Empties the folder, makes the named damaged files and sets the mode.
    void Prepare(const Mode& mode, std::initializer_list<const char*> names) const;
    static bool Generates(const Mode& mode) { return mode.control == ControlGenerate; }
    // The file a successful run leaves for name in this mode.
    std::string ResultOf(const Mode& mode, const char* name) const {
        return PathOf(((Generates(mode) ? "Copy of " : "") + std::string(name)).c_str());
    }
    // A fresh file repaired in place proves the program still answers and works.
    void ExpectAnotherRunWorks() const;
    static bool IsCompletion(const std::string& box);
    // The end box of a run that did not repair every file: handled files in all, of
    // which repaired came out right; lastPath is the one file when handled is 1.
    static std::string FailedEnd(int repaired, int handled, const std::string& lastPath);

private:
    std::string mounted;  // the tmpfs mount point's sub-folder name, if any
    bool driveMapped = false;
    static constexpr const char* ShortRootFolder = "Z:\\dq";
};

// Holds a file open, as another program may, until it goes; without sharing unless told.
struct HeldFile {
    explicit HeldFile(const std::string& path, DWORD sharing = 0)
        : handle(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    HANDLE handle;
};

const char RootDrive[] = "R:\\";


#endif
