// Arbitrary bytes through every format's walker: the check fed in blocks cut where the
// input says, which must give the same verdict however the bytes are cut, and the
// search reading the bytes as a picked file. No walker may read past its bounds or
// loop forever. A decided search keeps only CRs of CR LF pairs, in order, and on a file
// of its format (by the first bytes, as the program picks it) the bytes it makes must
// pass the format's own check.
// Input: [cut seed, 2 bytes] [file bytes...]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats.h"

typedef std::vector<unsigned char> Bytes;

static const FileFormat Formats[] = {FormatPng, FormatOgg, FormatFlac, FormatZip, FormatGzip, FormatMp3};

static CheckVerdict CheckInPieces(FileFormat format, const unsigned char* bytes, size_t n, unsigned seed) {
    static FormatCheck check;
    StartFormatCheck(&check, format);
    size_t at = 0;
    while (at < n) {
        // Pieces of 1 to 64 bytes, or the rest, by a small generator the input seeds.
        seed = seed * 1103515245u + 12345u;
        const size_t piece = (seed >> 16) % 8 == 0 ? n - at : 1 + (seed >> 16) % 64;
        const size_t now = piece < n - at ? piece : n - at;
        CheckFormatBytes(&check, bytes + at, now);
        at += now;
    }
    return FinishFormatCheck(&check);
}

static CheckVerdict CheckWhole(FileFormat format, const unsigned char* bytes, size_t n) {
    static FormatCheck check;
    StartFormatCheck(&check, format);
    CheckFormatBytes(&check, bytes, n);
    return FinishFormatCheck(&check);
}

// The picked bytes with every pair's CR dropped but the kept ones; traps on a kept CR
// that is not the CR of a pair, or out of order.
static Bytes KeepOnly(const unsigned char* bytes, size_t n, const KeptPairs& kept) {
    Bytes out;
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
        const bool pairCr = bytes[i] == 0x0D && i + 1 < n && bytes[i + 1] == 0x0A;
        const bool keptCr = next < kept.count && kept.at[next] == i;
        if (keptCr && !pairCr) __builtin_trap();
        if (keptCr) ++next;
        if (!pairCr || keptCr) out.push_back(bytes[i]);
    }
    if (next != kept.count) __builtin_trap();
    return out;
}

static void Search(FileFormat format, const unsigned char* bytes, size_t n, bool ofThisFormat) {
    static KeptPairs kept;
    // fmemopen refuses an empty buffer; a byte of room, with the size saying none.
    static unsigned char none[1];
    FILE* file = fmemopen(n > 0 ? const_cast<unsigned char*>(bytes) : none, n > 0 ? n : 1, "rb");
    if (file == nullptr) std::abort();
    const PickedBytes picked = {file, n};
    const SearchVerdict verdict = SearchKeptPairs(format, &picked, &kept);
    if (std::fclose(file) != 0) std::abort();
    if (verdict != SearchDecided) return;
    const Bytes repaired = KeepOnly(bytes, n, kept);
    if (ofThisFormat && CheckWhole(format, repaired.data(), repaired.size()) == CheckFailed) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned seed = data[0] | data[1] << 8;
    const unsigned char* bytes = data + 2;
    const size_t n = size - 2;
    const FileFormat picked = FormatOfFirstBytes(bytes, n);
    for (FileFormat format : Formats) {
        if (CheckInPieces(format, bytes, n, seed) != CheckWhole(format, bytes, n)) __builtin_trap();
        Search(format, bytes, n, format == picked);
    }
    return 0;
}
