// The price of overwrite mode's flush: a batch of small files and two large ones,
// each repaired in place as the program does (copy flushed to disk, then renamed onto
// the picked file) and the same without the flush (copy written, then renamed).
// Usage: overwrite_bench [folder] [rounds]   (defaults: the temp folder, 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert.h"
#include "state.h"

namespace fs = std::filesystem;

struct Batch {
    const char* label;
    int files;
    size_t bytes;
};
static const Batch Batches[] = {{"400 x 100 KiB", 400, 100 << 10}, {"2 x 256 MiB", 2, 256u << 20}};

static std::string Damaged(size_t bytes) {
    static const char line[] = "a damaged line of text, forty bytes ..\r\n";
    std::string text;
    text.reserve(bytes);
    while (text.size() < bytes) text += line[text.size() % (sizeof line - 1)];
    return text;
}

static bool MakeFiles(const fs::path& folder, const Batch& batch) {
    const std::string bytes = Damaged(batch.bytes);
    for (int i = 0; i < batch.files; ++i) {
        FILE* out = std::fopen((folder / (std::to_string(i) + ".mp3")).string().c_str(), "wb");
        if (!out) return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (std::fclose(out) != 0 || !written) return false;
    }
    return true;
}

// Overwrite mode as the program runs it, or generate mode and the same replacing
// rename: the one difference is the flush.
static bool RepairInPlace(const fs::path& folder, const std::string& name, bool flush) {
    const std::string prefix = folder.string() + "\\";
    std::snprintf(WorkPath, sizeof WorkPath, "%s", prefix.c_str());
    NameOffset = static_cast<unsigned short>(prefix.size());
    GenerateNewFiles = flush ? 0 : 1;
    ConvertFile(WorkPath, name.c_str(), nullptr);
    if (flush) return true;
    return ReplacePath((prefix + "Copy of " + name).c_str(), (prefix + name).c_str(), nullptr) == Replaced;
}

// Seconds for the whole batch; the files are made anew before, outside the time.
static double TimeBatch(const fs::path& folder, const Batch& batch, bool flush) {
    if (!MakeFiles(folder, batch)) return -1;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < batch.files; ++i) {
        if (!RepairInPlace(folder, std::to_string(i) + ".mp3", flush)) return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path folder = base / "decrimp-overwrite-bench";
    fs::create_directories(folder);
    std::printf("overwrite mode in %s; medians of %d alternating rounds\n", folder.string().c_str(), rounds);
    int status = 0;
    for (const Batch& batch : Batches) {
        std::vector<double> flushed, unflushed;
        for (int round = 0; round < rounds; ++round) {
            // Alternate which goes first, so neither always meets the other's writeback.
            for (int turn = 0; turn < 2; ++turn) {
                const bool flush = (round + turn) % 2 == 0;
                const double seconds = TimeBatch(folder, batch, flush);
                if (seconds < 0) {
                    std::printf("%s: a repair failed\n", batch.label);
                    status = 1;
                }
                (flush ? flushed : unflushed).push_back(seconds);
            }
        }
        const double with = Median(flushed), without = Median(unflushed);
        std::printf("%-14s with flush %7.3f s | without %7.3f s | flush costs %.2fx (min-max with %.3f-%.3f s)\n",
                    batch.label, with, without, with / without,
                    *std::min_element(flushed.begin(), flushed.end()),
                    *std::max_element(flushed.begin(), flushed.end()));
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
