// Arbitrary selection buffers and offsets through both walks: no read or write
// outside the buffers, every listed path terminated within WorkPath, no file listed
// twice. Every file reads as the same few bytes, and file calls fail where the input says.
// Input: [NameOffset, 2 bytes] [mode, tidy] [failure schedule, 2 bytes] [selection...]
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fake_files.h"
#include "open_result.h"
#include "recorded_ui.h"
#include "selection.h"
#include "state.h"

static std::vector<std::string> Listed;

static void CheckListed(const char* path) {
    if (std::strlen(path) >= WorkPathSize) __builtin_trap();
    for (const std::string& earlier : Listed) {
        if (SameFileName(earlier.c_str(), path)) __builtin_trap();
    }
    Listed.push_back(path);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    NameOffset = static_cast<unsigned short>(data[0] | (data[1] << 8));
    GenerateNewFiles = data[2] & 1;
    const bool tidy = (data[2] & 2) != 0;
    ResetFakeFiles("a\r\nb\r");
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
    RecordedEvents().clear();
    return 0;
}
