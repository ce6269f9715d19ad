// Arbitrary selection buffers and offsets through both walks: no read or write
// outside the buffers, every listed path terminated within WorkPath, no file listed
// twice, none repaired twice. Every file reads as the same few damaged bytes (its
// "Copy of " file too, unless the input leaves copies out), and file calls fail where
// the input says. The fakes keep one file per path, as a case-sensitive folder does.
// Input: [NameOffset, 2 bytes] [mode, tidy, copies left out] [failure schedule, 2 bytes] [selection...]
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "fake_files.h"
#include "open_result.h"
#include "recorded_ui.h"
#include "selection.h"
#include "state.h"

// Damaged, and what a file repaired twice would hold.
static const char DamagedBytes[] = "a\r\r\nb\r";
static const char RepairedTwice[] = "a\nb\r";

static std::set<std::string> Listed;

static void CheckListed(const char* path) {
    if (std::strlen(path) >= WorkPathSize) __builtin_trap();
    if (!Listed.insert(path).second) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    NameOffset = static_cast<unsigned short>(data[0] | (data[1] << 8));
    GenerateNewFiles = data[2] & 1;
    const bool tidy = (data[2] & 2) != 0;
    ResetFakeFiles(DamagedBytes);
    if (data[2] & 4) LeaveCopiesOut();
    FailFakeCalls(data[3] | (data[4] << 8));
    data += 5;
    size -= 5;
    if (size > sizeof SelectionBuffer) size = sizeof SelectionBuffer;
    std::memset(SelectionBuffer, 'Z', sizeof SelectionBuffer);  // stale bytes, no NUL to stop at
    std::memcpy(SelectionBuffer, data, size);
    std::memset(WorkPath, 'W', sizeof WorkPath);
    // The shell tidies a whole selection before taking it; a cut one it refuses.
    if (tidy && SelectionIsWhole(NameOffset)) DropRootSeparator();
    Listed.clear();
    ListSelection(CheckListed);
    SelectionPending = 1;
    RunSelection(nullptr);
    if (SelectionPending != 0) __builtin_trap();
    if (AnyFakeFileHolds(RepairedTwice)) __builtin_trap();
    RecordedEvents().clear();
    return 0;
}
