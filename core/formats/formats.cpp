// Picks a file's walker by its first bytes and hands it the blocks; the walkers
// themselves stand one per format in this folder.
#include "formats.h"

#include <cstring>

#include "pair_search.h"

static bool StartsWith(const unsigned char* bytes, size_t n, const char* magic, size_t length) {
    return n >= length && std::memcmp(bytes, magic, length) == 0;
}

// An MPEG audio frame header: 11 sync bits, a known version, layer III.
static bool Mp3FrameStart(const unsigned char* bytes, size_t n) {
    return n >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0 && (bytes[1] & 0x18) != 0x08 &&
           (bytes[1] & 0x06) == 0x02;
}

FileFormat FormatOfFirstBytes(const unsigned char* bytes, size_t n) {
    // The signature as written, with its LFs made CR LF (first kind: CR CR LF, and
    // CR LF for the lone one), and with the file's own pair kept (second kind).
    static const char PngAsWritten[] = "\x89PNG\r\n\x1a\n";
    static const char PngFirstKind[] = "\x89PNG\r\r\n\x1a\r\n";
    static const char PngSecondKind[] = "\x89PNG\r\n\x1a\r\n";
    if (StartsWith(bytes, n, PngAsWritten, 8) || StartsWith(bytes, n, PngFirstKind, 10) ||
        StartsWith(bytes, n, PngSecondKind, 9))
        return FormatPng;
    if (StartsWith(bytes, n, "OggS", 4)) return FormatOgg;
    if (StartsWith(bytes, n, "fLaC", 4)) return FormatFlac;
    if (StartsWith(bytes, n, "PK\x03\x04", 4) || StartsWith(bytes, n, "PK\x05\x06", 4)) return FormatZip;
    if (StartsWith(bytes, n, "\x1f\x8b\x08", 3)) return FormatGzip;
    if (StartsWith(bytes, n, "ID3", 3) || Mp3FrameStart(bytes, n)) return FormatMp3;
    return FormatUnknown;
}

const char* FormatName(FileFormat format) {
    switch (format) {
        case FormatPng: return "PNG";
        case FormatOgg: return "Ogg";
        case FormatFlac: return "FLAC";
        case FormatZip: return "ZIP";
        case FormatGzip: return "gzip";
        case FormatMp3: return "MP3";
        case FormatUnknown: break;
    }
    return "unknown";
}

void StartFormatCheck(FormatCheck* check, FileFormat format) {
    std::memset(check, 0, sizeof *check);
    check->format = format;
    switch (format) {
        case FormatPng: StartPngCheck(&check->state.png); break;
        case FormatOgg: StartOggCheck(&check->state.ogg); break;
        case FormatFlac: StartFlacCheck(&check->state.flac); break;
        case FormatZip: StartZipCheck(&check->state.zip); break;
        case FormatGzip: StartGzipCheck(&check->state.gzip); break;
        case FormatMp3: StartMp3Check(&check->state.mp3); break;
        case FormatUnknown:
            check->over = true;
            check->verdict = CheckUnsure;
            break;
    }
}

static bool CheckBytes(FormatCheck* check, const unsigned char* bytes, size_t n) {
    switch (check->format) {
        case FormatPng: return CheckPngBytes(&check->state.png, bytes, n);
        case FormatOgg: return CheckOggBytes(&check->state.ogg, bytes, n);
        case FormatFlac: return CheckFlacBytes(&check->state.flac, bytes, n);
        case FormatZip: return CheckZipBytes(&check->state.zip, bytes, n);
        case FormatGzip: return CheckGzipBytes(&check->state.gzip, bytes, n);
        case FormatMp3: return CheckMp3Bytes(&check->state.mp3, bytes, n);
        case FormatUnknown: break;
    }
    return false;
}

// From here on the walkers whose sums cost the pass check lengths alone.
static void StopSums(FormatCheck* check) {
    switch (check->format) {
        case FormatPng: check->state.png.lengthsOnly = true; break;
        case FormatOgg: check->state.ogg.lengthsOnly = true; break;
        case FormatFlac: check->state.flac.lengthsOnly = true; break;
        default: break;
    }
}

static void FeedCheck(FormatCheck* check, const unsigned char* bytes, size_t n) {
    if (check->over || n == 0) return;
    check->fed += n;
    if (!CheckBytes(check, bytes, n)) {
        check->over = true;
        check->verdict = CheckFailed;
    }
}

void CheckFormatBytes(FormatCheck* check, const unsigned char* bytes, size_t n) {
    if (check->fed < SummedBytes && n >= SummedBytes - check->fed) {
        const size_t summed = static_cast<size_t>(SummedBytes - check->fed);
        FeedCheck(check, bytes, summed);
        StopSums(check);
        bytes += summed;
        n -= summed;
    }
    FeedCheck(check, bytes, n);
}

CheckVerdict FinishFormatCheck(FormatCheck* check) {
    if (check->over) return check->verdict;
    check->over = true;
    switch (check->format) {
        case FormatPng: check->verdict = FinishPngCheck(&check->state.png); break;
        case FormatOgg: check->verdict = FinishOggCheck(&check->state.ogg); break;
        case FormatFlac: check->verdict = FinishFlacCheck(&check->state.flac); break;
        case FormatZip: check->verdict = FinishZipCheck(&check->state.zip); break;
        case FormatGzip: check->verdict = FinishGzipCheck(&check->state.gzip); break;
        case FormatMp3: check->verdict = FinishMp3Check(&check->state.mp3); break;
        case FormatUnknown: check->verdict = CheckUnsure; break;
    }
    return check->verdict;
}

SearchVerdict SearchKeptPairs(FileFormat format, const PickedBytes* picked, KeptPairs* kept) {
    kept->count = 0;
    StartSpanSearches();
    switch (format) {
        case FormatPng: return SearchPngKeptPairs(picked, kept);
        case FormatOgg: return SearchOggKeptPairs(picked, kept);
        case FormatFlac: return SearchFlacKeptPairs(picked, kept);
        case FormatZip: return SearchZipKeptPairs(picked, kept);
        case FormatGzip: return SearchGzipKeptPairs(picked, kept);
        case FormatMp3: return SearchMp3KeptPairs(picked, kept);
        case FormatUnknown: break;
    }
    return SearchNoEvidence;
}

bool ReadPicked(const PickedBytes* picked, unsigned long long offset, unsigned char* out, size_t n) {
    if (offset > picked->size || n > picked->size - offset) return false;
    // Positions are signed in the C library; files past 2^63 bytes do not exist.
    if (std::fseek(picked->file, 0, SEEK_SET) != 0) return false;
    unsigned long long left = offset;
    const long step = 1L << 30;  // long may be 32 bits (Windows): seek in steps it holds
    while (left > 0) {
        const long now = left > static_cast<unsigned long long>(step) ? step : static_cast<long>(left);
        if (std::fseek(picked->file, now, SEEK_CUR) != 0) return false;
        left -= static_cast<unsigned long long>(now);
    }
    return std::fread(out, 1, n, picked->file) == n;
}

bool KeepPair(KeptPairs* kept, unsigned long long at) {
    if (kept->count == MaxKeptPairs) return false;
    kept->at[kept->count++] = at;
    return true;
}
