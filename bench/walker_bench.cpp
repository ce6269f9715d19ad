// Times the format walkers' checks as the repair's pass runs them (1 MiB blocks) on
// healthy PNG, Ogg and FLAC files made here from random bytes, and the CRCs under them:
// zlib's CRC-32 beside Ogg's and FLAC's, which are tables of our own. Prints GB/s, the
// median of the runs, and each check's verdict: a file within the bytes the pass sums
// must pass, a larger one comes out unsure (its lengths alone checked past them).
// Usage: walker_bench [MiB] [runs]   (defaults: 64, 5)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "formats.h"
#include "own_crcs.h"

typedef std::vector<unsigned char> Bytes;

static void PutBig(Bytes* out, unsigned long value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(value >> shift));
}

static void PutRandom(Bytes* out, std::mt19937* random, size_t n) {
    for (size_t i = 0; i < n; ++i) out->push_back(static_cast<unsigned char>((*random)() >> 24));
}

static void PutPngChunk(Bytes* out, const char* type, const Bytes& data) {
    PutBig(out, static_cast<unsigned long>(data.size()), 4);
    const size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    PutBig(out, crc32(0, out->data() + start, static_cast<uInt>(out->size() - start)), 4);
}

static Bytes MakePng(std::mt19937* random, size_t want) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PutPngChunk(&png, "IHDR", {0, 0, 4, 0, 0, 0, 4, 0, 8, 2, 0, 0, 0});
    while (png.size() < want) {
        Bytes data;
        PutRandom(&data, random, 8192);  // the chunk size most encoders write
        PutPngChunk(&png, "IDAT", data);
    }
    PutPngChunk(&png, "IEND", {});
    return png;
}

static Bytes MakeOgg(std::mt19937* random, size_t want) {
    Bytes ogg;
    for (unsigned long page = 0; ogg.size() < want; ++page) {
        const size_t start = ogg.size();
        const unsigned char head[] = {'O', 'g', 'g', 'S', 0, static_cast<unsigned char>(page == 0 ? 2 : 0)};
        ogg.insert(ogg.end(), head, head + 6);
        for (int i = 0; i < 8; ++i) ogg.push_back(static_cast<unsigned char>(page >> (8 * (i % 4))));
        for (int i = 0; i < 4; ++i) ogg.push_back(0x2A);                                // serial
        for (int i = 0; i < 4; ++i) ogg.push_back(static_cast<unsigned char>(page >> (8 * i)));
        for (int i = 0; i < 4; ++i) ogg.push_back(0);                                   // CRC, below
        ogg.push_back(17);
        for (int i = 0; i < 16; ++i) ogg.push_back(255);
        ogg.push_back(254);
        PutRandom(&ogg, random, 16 * 255 + 254);
        const unsigned long crc = OggCrc(0, ogg.data() + start, ogg.size() - start);
        for (int i = 0; i < 4; ++i) ogg[start + 22 + i] = static_cast<unsigned char>(crc >> (8 * i));
    }
    return ogg;
}

// A frame number as FLAC codes it: one byte below 128, else a lead byte and 6-bit tails.
static void PutCodedNumber(Bytes* out, unsigned long number) {
    if (number < 0x80) {
        out->push_back(static_cast<unsigned char>(number));
    } else if (number < 0x800) {
        out->push_back(static_cast<unsigned char>(0xC0 | (number >> 6)));
        out->push_back(static_cast<unsigned char>(0x80 | (number & 0x3F)));
    } else {
        out->push_back(static_cast<unsigned char>(0xE0 | (number >> 12)));
        out->push_back(static_cast<unsigned char>(0x80 | ((number >> 6) & 0x3F)));
        out->push_back(static_cast<unsigned char>(0x80 | (number & 0x3F)));
    }
}

static Bytes MakeFlac(std::mt19937* random, size_t want) {
    Bytes flac = {'f', 'L', 'a', 'C', 0x80, 0, 0, 34};
    PutRandom(&flac, random, 34);  // STREAMINFO's contents are not checked
    for (unsigned long frame = 0; flac.size() < want && frame < 0x10000; ++frame) {
        const size_t start = flac.size();
        const unsigned char head[] = {0xFF, 0xF8, 0xC9, 0x08};  // 4096 samples, 44.1 kHz, mono, 16 bits
        flac.insert(flac.end(), head, head + 4);
        PutCodedNumber(&flac, frame);
        flac.push_back(static_cast<unsigned char>(FlacCrc8(0, flac.data() + start, flac.size() - start)));
        flac.push_back(0x02);  // a verbatim subframe
        PutRandom(&flac, random, 8192);
        PutBig(&flac, FlacCrc16(0, flac.data() + start, flac.size() - start), 2);
    }
    return flac;
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

static CheckVerdict CheckInBlocks(FileFormat format, const Bytes& bytes) {
    static FormatCheck check;
    StartFormatCheck(&check, format);
    const size_t block = 1 << 20;
    for (size_t at = 0; at < bytes.size(); at += block)
        CheckFormatBytes(&check, bytes.data() + at, std::min(block, bytes.size() - at));
    return FinishFormatCheck(&check);
}

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (mib == 0 || runs <= 0) {
        std::fprintf(stderr, "usage: walker_bench [MiB] [runs]\n");
        return 2;
    }
    std::mt19937 random(22);
    Bytes noise;
    PutRandom(&noise, &random, mib << 20);
    const char* crcNames[] = {"zlib CRC-32", "Ogg CRC-32", "FLAC CRC-16"};
    for (int which = 0; which < 3; ++which) {
        std::vector<double> speeds;
        unsigned long sink = 0;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            if (which == 0) sink ^= crc32(0, noise.data(), static_cast<uInt>(noise.size()));
            if (which == 1) sink ^= OggCrc(0, noise.data(), noise.size());
            if (which == 2) sink ^= FlacCrc16(0, noise.data(), noise.size());
            speeds.push_back(noise.size() / Seconds(start) / 1e9);
        }
        std::printf("%-12s %6.2f GB/s  (%08lx)\n", crcNames[which], Median(speeds), sink);
    }
    // The first bytes of a file are summed in the pass, the rest only walked: a file within
    // them must pass; a larger one is unsure, its lengths alone checked past them.
    const FileFormat formats[] = {FormatPng, FormatOgg, FormatFlac};
    const size_t summed = static_cast<size_t>(SummedBytes) - (64 << 10);
    const Bytes files[] = {MakePng(&random, summed), MakeOgg(&random, summed), MakeFlac(&random, summed),
                           MakePng(&random, mib << 20), MakeOgg(&random, mib << 20), MakeFlac(&random, mib << 20)};
    int failed = 0;
    for (int which = 0; which < 6; ++which) {
        const Bytes& file = files[which];
        const FileFormat format = formats[which % 3];
        const bool whole = which < 3 || file.size() <= SummedBytes;
        std::vector<double> speeds;
        CheckVerdict verdict = CheckPassed;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            verdict = CheckInBlocks(format, file);
            speeds.push_back(file.size() / Seconds(start) / 1e9);
        }
        const CheckVerdict expected = whole ? CheckPassed : CheckUnsure;
        std::printf("%-4s check  %6.2f GB/s  on %5.1f MB: %s%s\n", FormatName(format), Median(speeds),
                    file.size() / 1048576.0, verdict == CheckPassed ? "passed" : verdict == CheckUnsure ? "unsure" : "failed",
                    whole ? ", every sum taken" : ", lengths alone past the summed bytes");
        failed += verdict == expected ? 0 : 1;
    }
    return failed == 0 ? 0 : 1;
}
