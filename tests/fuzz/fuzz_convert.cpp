// Arbitrary bytes through the block loop, cut at arbitrary places, on every path the
// CPU has, into a second buffer and in place; and through ConvertFile on the in-memory
// files with calls failing where the input says. Compared with the one-byte-at-a-time
// conversion; after a failure the picked file must be whole, as it was or repaired.
// Input: [piece - 1] [mode and path] [failure schedule, 2 bytes] [file bytes...]
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "convert.h"
#include "fake_files.h"
#include "recorded_ui.h"
#include "state.h"

typedef std::vector<unsigned char> Bytes;

static const char Folder[] = "F:\\fuzz\\";
static const std::string Picked = std::string(Folder) + "f.bin";
static const std::string Copy = std::string(Folder) + "Copy of f.bin";

static Bytes Reference(const uint8_t* data, size_t size) {
    Bytes out;
    int previous = 0x61;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0x0A && previous == 0x0D) out.pop_back();
        previous = data[i];
        out.push_back(data[i]);
    }
    return out;
}

// Each piece is repaired where it lies (the byte before it free for a held CR), as
// CopyRestoring does, or into a buffer of its own.
static Bytes ConvertInPieces(const uint8_t* data, size_t size, size_t piece, bool inPlace) {
    Bytes output, block(piece + 1), out(piece + 1);
    bool crHeld = false;
    for (size_t done = 0; done < size; done += piece) {
        const size_t n = size - done < piece ? size - done : piece;
        std::memcpy(block.data() + 1, data + done, n);
        Bytes& into = inPlace ? block : out;
        const size_t put = RestoreLineEnds(block.data() + 1, n, into.data(), &crHeld);
        output.insert(output.end(), into.begin(), into.begin() + static_cast<long>(put));
    }
    if (crHeld) output.push_back('\r');
    return output;
}

static void CheckEveryPath(const uint8_t* data, size_t size, size_t piece, const Bytes& expected) {
    const RestoreWidth widest = WidestRestoreWidth();
    for (int width = RestoreBytes; width <= widest; ++width) {
        LimitRestoreWidth(static_cast<RestoreWidth>(width));
        if (ConvertInPieces(data, size, piece, false) != expected) __builtin_trap();
        if (ConvertInPieces(data, size, piece, true) != expected) __builtin_trap();
    }
}

static bool FileIs(const std::string& path, const Bytes& bytes) {
    std::string content;
    return GetFakeFile(path, &content) && Bytes(content.begin(), content.end()) == bytes;
}

static void ConvertThroughFiles(const Bytes& original, const Bytes& expected, bool generate, uint64_t failures) {
    ResetFakeFiles(nullptr);
    PutFakeFile(Picked, std::string(original.begin(), original.end()));
    FailFakeCalls(failures);
    std::memcpy(WorkPath, Folder, sizeof Folder);
    NameOffset = static_cast<unsigned short>(sizeof Folder - 1);
    GenerateNewFiles = generate ? 1 : 0;
    RecordedEvents().clear();
    ConvertFile(WorkPath, "f.bin", nullptr);
    std::string ignored;
    const bool repaired = generate ? FileIs(Picked, original) && FileIs(Copy, expected)
                                   : FileIs(Picked, expected) && !GetFakeFile(Copy, &ignored);
    if (!FakeCallFailed()) {
        if (!RecordedEvents().empty() || !repaired) __builtin_trap();
        return;
    }
    // A failure is told unless the job got done anyway (only a file's marks were not
    // kept), and it never costs the picked file: the replace is one step.
    if (!repaired && RecordedEvents().empty()) __builtin_trap();
    if (generate && !FileIs(Picked, original)) __builtin_trap();
    if (!generate && !FileIs(Picked, original) && !FileIs(Picked, expected)) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t piece = 1 + data[0];
    const bool generate = (data[1] & 1) != 0;
    const RestoreWidth width = static_cast<RestoreWidth>((data[1] >> 1) % 3);
    const uint64_t failures = data[2] | (data[3] << 8);
    data += 4;
    size -= 4;
    const Bytes expected = Reference(data, size);
    CheckEveryPath(data, size, piece, expected);
    LimitRestoreWidth(width);
    ConvertThroughFiles(Bytes(data, data + size), expected, generate, failures);
    return 0;
}
