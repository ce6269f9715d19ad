// Damages real files both ways and repairs each through ConvertFile, in Generate mode, in
// a scratch folder; prints per format how many came back exact, were refused, or came
// back wrong (which must never be called a repair), and the slowest repair per MB; each
// file refused, with the CR LF pairs it held of its own.
// With --broken each file is broken first (a byte in its middle changed), with --cut cut
// to its first two thirds: exact is then that broken file back, and wrong still must never
// be called a repair.
// Usage: damage_survey SCRATCH-FOLDER [--broken | --cut] < list of files, one path a line
//   (files over 64 MiB are passed over)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "convert.h"
#include "formats.h"
#include "recorded_ui.h"
#include "state.h"

namespace fs = std::filesystem;
typedef std::vector<unsigned char> Bytes;

static Bytes DamageEveryLineFeed(const Bytes& original) {
    Bytes damaged;
    for (unsigned char byte : original) {
        if (byte == '\n') damaged.push_back('\r');
        damaged.push_back(byte);
    }
    return damaged;
}

static Bytes DamageLoneLineFeeds(const Bytes& original) {
    Bytes damaged;
    for (size_t i = 0; i < original.size(); ++i) {
        if (original[i] == '\n' && (i == 0 || original[i - 1] != '\r')) damaged.push_back('\r');
        damaged.push_back(original[i]);
    }
    return damaged;
}

static size_t OwnPairs(const Bytes& original) {
    size_t pairs = 0;
    for (size_t i = 1; i < original.size(); ++i) pairs += original[i - 1] == '\r' && original[i] == '\n';
    return pairs;
}

static Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static bool WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

struct Tally {
    int files = 0;
    int sameBothWays = 0;  // no CR LF of its own: both kinds of damage are one
    int firstExact = 0, firstRefused = 0, firstWrong = 0;
    int secondExact = 0, secondRefused = 0, secondWrong = 0;
    double slowestSecondsPerMB = 0;
};

enum Outcome { Exact, Refused, Wrong };

static Outcome Repair(const fs::path& folder, const Bytes& damaged, const Bytes& original, double* seconds) {
    fs::remove(folder / "Copy of a");
    if (!WriteFile(folder / "a", damaged)) return Refused;
    const std::string prefix = folder.string() + "/";
    std::snprintf(WorkPath, WorkPathSize, "%s", prefix.c_str());
    NameOffset = static_cast<unsigned short>(prefix.size());
    GenerateNewFiles = 1;
    RecordedEvents().clear();
    const auto start = std::chrono::steady_clock::now();
    const bool repaired = ConvertFile(WorkPath, "a", nullptr);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!repaired) return Refused;
    return ReadFile(folder / "Copy of a") == original ? Exact : Wrong;
}

// A file broken before the transfer: one byte past its middle changed (neither it nor
// its new value CR or LF), as a bit flipped on a disk or in a download would.
static Bytes BrokenInTheMiddle(Bytes bytes) {
    size_t at = bytes.size() / 2;
    while (at < bytes.size() && (bytes[at] == '\r' || bytes[at] == '\n' || (bytes[at] ^ 0x10) == '\r' ||
                                 (bytes[at] ^ 0x10) == '\n'))
        ++at;
    if (at < bytes.size()) bytes[at] ^= 0x10;
    return bytes;
}

// A download cut off: the file's first two thirds.
static Bytes CutOff(Bytes bytes) {
    bytes.resize(bytes.size() * 2 / 3);
    return bytes;
}

int main(int argc, char** argv) {
    const std::string how = argc == 3 ? argv[2] : "";
    const bool broken = how == "--broken", cut = how == "--cut";
    if (argc != 2 && !broken && !cut) {
        std::fprintf(stderr, "usage: damage_survey SCRATCH-FOLDER [--broken | --cut] < list of files\n");
        return 2;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder);
    std::map<std::string, Tally> tallies;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::error_code error;
        const auto size = fs::file_size(line, error);
        if (error || size == 0 || size > (64u << 20)) continue;
        const Bytes original =
            broken ? BrokenInTheMiddle(ReadFile(line)) : cut ? CutOff(ReadFile(line)) : ReadFile(line);
        Tally& tally = tallies[FormatName(FormatOfFirstBytes(original.data(), original.size()))];
        ++tally.files;
        const Bytes first = DamageEveryLineFeed(original);
        const Bytes second = DamageLoneLineFeeds(original);
        double seconds = 0;
        switch (Repair(folder, first, original, &seconds)) {
            case Exact: ++tally.firstExact; break;
            case Refused: ++tally.firstRefused; std::printf("refused, first kind: %s\n", line.c_str()); break;
            case Wrong: ++tally.firstWrong; std::printf("wrong, first kind: %s\n", line.c_str()); break;
        }
        if (second == first) {
            ++tally.sameBothWays;
            continue;
        }
        switch (Repair(folder, second, original, &seconds)) {
            case Exact: ++tally.secondExact; break;
            case Refused:
                ++tally.secondRefused;
                std::printf("refused, second kind: %s (%zu CR LF of its own)\n", line.c_str(), OwnPairs(original));
                break;
            case Wrong: ++tally.secondWrong; std::printf("wrong, second kind: %s\n", line.c_str()); break;
        }
        const double perMB = seconds / (static_cast<double>(size) / 1e6);
        tally.slowestSecondsPerMB = std::max(tally.slowestSecondsPerMB, perMB);
    }
    fs::remove(folder / "a");
    fs::remove(folder / "Copy of a");
    std::printf("%-8s %6s %6s | first kind: %6s %7s %6s | second kind: %6s %7s %6s | slowest s/MB\n", "format",
                "files", "same", "exact", "refused", "WRONG", "exact", "refused", "WRONG");
    for (const auto& [format, t] : tallies)
        std::printf("%-8s %6d %6d | %18d %7d %6d | %19d %7d %6d | %.3f\n", format.c_str(), t.files, t.sameBothWays,
                    t.firstExact, t.firstRefused, t.firstWrong, t.secondExact, t.secondRefused, t.secondWrong,
                    t.slowestSecondsPerMB);
    return 0;
}
