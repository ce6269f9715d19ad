// Converts a file of just over 2 GiB in both modes and checks every byte of the result
// against the one-byte-at-a-time conversion. Kept out of the default test run (slow).
// Usage: big_file_check FOLDER   (needs about 5 GiB free there)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "convert.h"
#include "recorded_ui.h"
#include "state.h"

namespace fs = std::filesystem;

static const uint64_t TwoGiB = uint64_t(1) << 31;
static const uint64_t FileSize = TwoGiB + 4096;

// Zeros, but for a pair at the start, pairs right before, across and right after the
// 2 GiB mark, and a pair as the last two bytes.
struct Mark {
    uint64_t at;
    const char* bytes;
};
static const Mark Marks[] = {
    {0, "\r\n"}, {TwoGiB - 3, "\r\n\r\n\r\n"}, {FileSize - 2, "\r\n"}};
static const uint64_t PairCount = 5;

static unsigned char Block[1 << 20];
static unsigned char Other[1 << 20];

static void FillBlock(uint64_t offset, size_t size) {
    std::memset(Block, 0, size);
    for (const Mark& mark : Marks) {
        for (size_t i = 0; mark.bytes[i]; ++i) {
            const uint64_t at = mark.at + i;
            if (at >= offset && at < offset + size) Block[at - offset] = static_cast<unsigned char>(mark.bytes[i]);
        }
    }
}

static bool WriteInput(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = true;
    for (uint64_t offset = 0; ok && offset < FileSize; offset += sizeof Block) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(sizeof Block, FileSize - offset));
        FillBlock(offset, size);
        ok = std::fwrite(Block, 1, size, file) == size;
    }
    return std::fclose(file) == 0 && ok;
}

// Streams the expected output (from the input, byte by byte, stepping back over a CR
// that an LF follows) and compares it with the converted file.
static bool MatchesReference(const std::string& inputPath, const std::string& outputPath, uint64_t* outputSize) {
    FILE* input = std::fopen(inputPath.c_str(), "rb");
    FILE* output = std::fopen(outputPath.c_str(), "rb");
    bool same = input && output;
    int previous = 0x61;
    bool crPending = false;  // a CR that the next input byte may still drop
    size_t got = 0, have = 0, used = 0;
    *outputSize = 0;
    auto expect = [&](unsigned char byte) {
        if (used == have) {
            have = std::fread(Other, 1, sizeof Other, output);
            used = 0;
            if (have == 0) return false;
        }
        ++*outputSize;
        return Other[used++] == byte;
    };
    while (same && (got = std::fread(Block, 1, sizeof Block, input)) > 0) {
        for (size_t i = 0; same && i < got; ++i) {
            const unsigned char byte = Block[i];
            if (crPending && !(byte == 0x0A && previous == 0x0D)) same = expect(0x0D);
            crPending = byte == 0x0D;
            if (!crPending && same) same = expect(byte);
            previous = byte;
        }
    }
    if (same && crPending) same = expect(0x0D);
    if (same && std::fread(Other, 1, 1, output) != 0) same = false;  // nothing may follow
    if (input) std::fclose(input);
    if (output) std::fclose(output);
    return same;
}

static bool Check(const fs::path& folder, int generate) {
    const std::string prefix = folder.string() + "\\";
    const std::string input = (folder / "big.bin").string();
    const std::string reference = (folder / "reference.bin").string();
    std::snprintf(WorkPath, sizeof WorkPath, "%s", prefix.c_str());
    NameOffset = static_cast<unsigned short>(prefix.size());
    GenerateNewFiles = generate;
    if (!WriteInput(input) || !WriteInput(reference)) return false;
    ConvertFile(WorkPath, "big.bin", nullptr);
    const std::string output = generate ? (folder / "Copy of big.bin").string() : input;
    uint64_t outputSize = 0;
    const bool same = RecordedEvents().empty() && MatchesReference(reference, output, &outputSize);
    std::printf("%s mode: input %llu bytes, output %llu bytes (expected %llu), %s\n",
                generate ? "generate" : "overwrite", static_cast<unsigned long long>(FileSize),
                static_cast<unsigned long long>(outputSize), static_cast<unsigned long long>(FileSize - PairCount),
                same && outputSize == FileSize - PairCount ? "every byte right" : "WRONG");
    std::error_code ignored;
    for (const char* name : {"big.bin", "reference.bin", "Copy of big.bin"}) fs::remove(folder / name, ignored);
    return same && outputSize == FileSize - PairCount;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: big_file_check FOLDER\n");
        return 2;
    }
    const fs::path folder = fs::path(argv[1]) / "decrimp-big";
    fs::create_directories(folder);
    const bool ok = Check(folder, 1) && Check(folder, 0);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
