// Times the conversion against a plain durable block copy of the same file, on four
// damaged 256 MiB inputs (random bytes, text, short lines, a PNG picture of noise), and prints MB/s, the ratio, the speed of the repair alone and the
// peak memory of the process.
// The two run in pairs, alternately first, and each pair gives one ratio of wall times
// (and one of CPU times): on a busy machine the spread says how far to trust the median.
// Usage: convert_bench [folder] [MiB] [pairs] [bytes|sse2|avx2]
//   (defaults: the temp folder, 256, 11, the widest repair path the CPU has)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "convert.h"
#include "cpu_time.h"
#include "peak_memory.h"
#include "state.h"

namespace fs = std::filesystem;

static unsigned char Block[1 << 20];

typedef void (*FillFunction)(std::mt19937& random, std::string& out, size_t want);

// Binary data in which every LF was expanded to CR LF.
static void FillBinary(std::mt19937& random, std::string& out, size_t want) {
    while (out.size() < want) {
        const char byte = static_cast<char>(random() & 0xFF);
        if (byte == '\n') out += '\r';
        out += byte;
    }
}

// Text lines of about 40 bytes, each ending in CR LF.
static void FillText(std::mt19937& random, std::string& out, size_t want) {
    while (out.size() < want) {
        const size_t length = 30 + random() % 21;
        for (size_t i = 0; i < length; ++i) out += static_cast<char>('a' + random() % 26);
        out += "\r\n";
    }
}

// Lines of 8 bytes plus CR LF: a pair every 10 bytes, the densest common case.
static void FillShortLines(std::mt19937& random, std::string& out, size_t want) {
    while (out.size() < want) {
        for (int i = 0; i < 8; ++i) out += static_cast<char>('a' + random() % 26);
        out += "\r\n";
    }
}

static bool MakeInput(const fs::path& path, size_t bytes, FillFunction fill) {
    FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return false;
    std::mt19937 random(95);
    std::string chunk;
    size_t written = 0;
    bool ok = true;
    while (ok && written < bytes) {
        chunk.clear();
        fill(random, chunk, std::min<size_t>(sizeof Block, bytes - written));
        ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
        written += chunk.size();
    }
    return std::fclose(out) == 0 && ok;
}

static void PutDamaged(std::string& out, const std::string& bytes) {
    for (char byte : bytes) {
        if (byte == '\n') out += '\r';
        out += byte;
    }
}

static std::string PngChunk(const char* type, const std::string& data) {
    std::string chunk;
    const unsigned long length = static_cast<unsigned long>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((length >> shift) & 0xFF);
    const std::string body = type + data;
    const unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    chunk += body;
    for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((crc >> shift) & 0xFF);
    return chunk;
}

// A PNG of noise in 1 MiB IDAT chunks, every LF made CR LF: the walker's checks (every
// chunk's length and CRC-32) run over the whole file in the repair's pass.
static bool MakePngInput(const fs::path& path, size_t bytes) {
    FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return false;
    std::mt19937 random(95);
    std::string chunk;
    PutDamaged(chunk, std::string("\x89PNG\r\n\x1a\n") +
                          PngChunk("IHDR", std::string("\0\0\x10\0\0\0\x10\0\x08\0\0\0\0", 13)));
    bool ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    size_t written = chunk.size();
    std::string noise(sizeof Block, '\0');
    while (ok && written < bytes) {
        for (char& byte : noise) byte = static_cast<char>(random() & 0xFF);
        chunk.clear();
        PutDamaged(chunk, PngChunk("IDAT", noise));
        ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
        written += chunk.size();
    }
    chunk.clear();
    PutDamaged(chunk, PngChunk("IEND", ""));
    ok = ok && std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    return std::fclose(out) == 0 && ok;
}

// The same streams and block size as the conversion, with nothing done to the bytes.
// Like the conversion, it writes a new file: some file systems flush a file that is
// truncated and written again when it is closed, which would weigh on one side only.
static bool PlainCopy(const std::string& from, const std::string& to) {
    std::error_code missingIsFine;
    fs::remove(to, missingIsFine);
    FILE* in = OpenSharedFile(from.c_str(), "rb");
    FILE* out = OpenSharedFile(to.c_str(), "wb");
    bool ok = in && out;
    if (ok) {
        (void)std::setvbuf(in, nullptr, _IONBF, 0);
        (void)std::setvbuf(out, nullptr, _IONBF, 0);
    }
    size_t got = 0;
    while (ok && (got = std::fread(Block, 1, sizeof Block, in)) > 0)
        ok = std::fwrite(Block, 1, got, out) == got;
    // Durable, as the conversion's copy is: on the disk before it is closed.
    if (ok) ok = std::fflush(out) == 0 && FlushToDisk(out);
    if (in && std::fclose(in) != 0) ok = false;
    if (out && std::fclose(out) != 0) ok = false;
    return ok;
}

// The earlier round's copy goes first, as the plain copy's does: a copy already there
// that holds the repair would be taken as it is, and nothing written.
static void ConvertInFolder(const fs::path& folder, const std::string& name) {
    std::error_code missingIsFine;
    fs::remove(folder / ("Copy of " + name), missingIsFine);
    const std::string prefix = folder.string() + "\\";
    std::snprintf(WorkPath, sizeof WorkPath, "%s", prefix.c_str());
    NameOffset = static_cast<unsigned short>(prefix.size());
    GenerateNewFiles = 1;
    ConvertFile(WorkPath, name.c_str(), nullptr);
}

static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

static double TimeDos2unix(const fs::path& input, const fs::path& output) {
#ifdef _WIN32
    (void)input, (void)output;
    return 0;
#else
    if (std::system("command -v dos2unix >/dev/null 2>&1") != 0) return 0;
    const std::string command = "dos2unix -q -f -n '" + input.string() + "' '" + output.string() + "'";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    return Seconds(start);
#endif
}

// The repair alone, over one block already in cache and into a second block: the
// work the conversion adds to a copy, free of the file system's noise.
static unsigned char PassOutput[sizeof Block + 1];

static double RepairAloneSpeed(FillFunction fill) {
    std::mt19937 random(95);
    std::string chunk;
    fill(random, chunk, sizeof Block);
    const size_t n = std::min(chunk.size(), sizeof Block);
    std::memcpy(Block, chunk.data(), n);
    std::vector<double> times;
    for (int round = 0; round < 51; ++round) {
        RestoreState state = {};
        const auto start = std::chrono::steady_clock::now();
        (void)RestoreLineEnds(Block, n, PassOutput, &state);
        times.push_back(Seconds(start));
    }
    return static_cast<double>(n) / 1e6 / Median(times);
}

static void Measure(const fs::path& folder, const char* label, FillFunction fill, size_t bytes, int pairs,
                    bool png = false) {
    const fs::path input = folder / (std::string(label) + ".bin");
    if (!(png ? MakePngInput(input, bytes) : MakeInput(input, bytes, fill))) {
        std::printf("%-7s could not write %s\n", label, input.string().c_str());
        return;
    }
    const double megabytes = static_cast<double>(fs::file_size(input)) / 1e6;
    const fs::path plain = folder / "plain.bin";
    std::vector<double> convertTimes, copyTimes, ratios, cpuRatios;
    for (int pair = 0; pair < pairs; ++pair) {
        // Alternate which goes first, so neither always pays for the other's writeback.
        double convert = 0, copy = 0, convertCpu = 0, copyCpu = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = std::chrono::steady_clock::now();
            const double startCpu = ProcessCpuSeconds();
            if ((pair + turn) % 2 == 0) {
                ConvertInFolder(folder, input.filename().string());
                convert = Seconds(start);
                convertCpu = ProcessCpuSeconds() - startCpu;
            } else {
                if (!PlainCopy(input.string(), plain.string())) std::printf("%-7s plain copy failed\n", label);
                copy = Seconds(start);
                copyCpu = ProcessCpuSeconds() - startCpu;
            }
        }
        convertTimes.push_back(convert);
        copyTimes.push_back(copy);
        ratios.push_back(convert / copy);
        if (copyCpu > 0) cpuRatios.push_back(convertCpu / copyCpu);
    }
    const double convert = Median(convertTimes), copy = Median(copyTimes);
    const uintmax_t outputBytes = fs::file_size(folder / ("Copy of " + input.filename().string()));
    std::printf("%-7s %6.1f MB in, %6.1f MB out | convert %6.1f MB/s | copy %6.1f MB/s | ratio %.3f (%.3f-%.3f)",
                label, megabytes, static_cast<double>(outputBytes) / 1e6, megabytes / convert, megabytes / copy,
                Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    if (!cpuRatios.empty()) std::printf(" | CPU ratio %.3f", Median(cpuRatios));
    std::printf(" | repair alone %.0f MB/s", RepairAloneSpeed(fill));
    const double dos2unix = TimeDos2unix(input, folder / "dos2unix.bin");
    if (dos2unix > 0) std::printf(" | dos2unix %7.1f MB/s, %.1fx slower", megabytes / dos2unix, dos2unix / convert);
    std::printf("\n");
    std::fflush(stdout);
    std::error_code ignored;
    for (const char* name : {"plain.bin", "dos2unix.bin"}) fs::remove(folder / name, ignored);
    fs::remove(folder / ("Copy of " + input.filename().string()), ignored);
    fs::remove(input, ignored);
}

static RestoreWidth WidthNamed(const char* name) {
    if (std::strcmp(name, "bytes") == 0) return RestoreBytes;
    if (std::strcmp(name, "sse2") == 0) return RestoreSse2;
    return RestoreAvx2;
}

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 256;
    const fs::path folder = base / "decrimp-bench";
    fs::create_directories(folder);
    const int pairs = argc > 3 ? std::atoi(argv[3]) : 11;
    if (pairs < 1) return 2;
    if (argc > 4) LimitRestoreWidth(WidthNamed(argv[4]));
    std::printf("inputs of %zu MiB in %s; medians of %d pairs, each run alternately first; repair path %s\n",
                mebibytes, folder.string().c_str(), pairs, RestoreWidthName(RestoreWidthInForce()));
    Measure(folder, "binary", FillBinary, mebibytes << 20, pairs);
    Measure(folder, "text", FillText, mebibytes << 20, pairs);
    Measure(folder, "short", FillShortLines, mebibytes << 20, pairs);
    Measure(folder, "png", FillBinary, mebibytes << 20, pairs, true);
    std::printf("peak memory %.1f MiB\n", static_cast<double>(PeakMemoryBytes()) / (1 << 20));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
