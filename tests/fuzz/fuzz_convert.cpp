// Arbitrary bytes through ConvertFile on a real file, and through the block loop cut
// at arbitrary places, both compared with the one-byte-at-a-time conversion.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert.h"
#include "recorded_ui.h"
#include "state.h"

typedef std::vector<unsigned char> Bytes;

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

static std::string FolderMade;

// libFuzzer ends a timed run with exit(): the scratch folder goes with it.
static void RemoveFolder() {
    (void)std::remove((FolderMade + "/f.bin").c_str());
    (void)rmdir(FolderMade.c_str());
}

static std::string Folder() {
    if (FolderMade.empty()) {
        char pattern[] = "/tmp/decrimp-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) __builtin_trap();
        FolderMade = pattern;
        std::atexit(RemoveFolder);
    }
    return FolderMade;
}

static Bytes ConvertThroughFile(const uint8_t* data, size_t size) {
    const std::string input = Folder() + "/f.bin";
    FILE* file = std::fopen(input.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) __builtin_trap();
    const std::string prefix = Folder() + "\\";
    std::memcpy(WorkPath, prefix.c_str(), prefix.size() + 1);
    NameOffset = static_cast<unsigned short>(prefix.size());
    GenerateNewFiles = 1;
    ConvertFile(WorkPath, "f.bin", nullptr);
    if (!RecordedEvents().empty()) __builtin_trap();
    Bytes output(size + 1);
    file = std::fopen((Folder() + "/Copy of f.bin").c_str(), "rb");
    if (!file) __builtin_trap();
    output.resize(std::fread(output.data(), 1, output.size(), file));
    std::fclose(file);
    // An earlier run's copy would be kept as someone else's: each run makes its own.
    if (std::remove((Folder() + "/Copy of f.bin").c_str()) != 0) __builtin_trap();
    return output;
}

static Bytes ConvertInPieces(const uint8_t* data, size_t size, size_t piece) {
    Bytes output, block(piece + 1);
    bool crHeld = false;
    for (size_t done = 0; done < size; done += piece) {
        const size_t n = size - done < piece ? size - done : piece;
        const size_t put = RestoreLineEnds(data + done, n, block.data(), &crHeld);
        output.insert(output.end(), block.begin(), block.begin() + static_cast<long>(put));
    }
    if (crHeld) output.push_back('\r');
    return output;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = 1 + data[0];
    const Bytes expected = Reference(data + 1, size - 1);
    if (ConvertInPieces(data + 1, size - 1, piece) != expected) __builtin_trap();
    if (ConvertThroughFile(data + 1, size - 1) != expected) __builtin_trap();
    return 0;
}
