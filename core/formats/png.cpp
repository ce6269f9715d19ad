// PNG walker. Checks, in the order the file gives them:
//
//   what is read                 what must hold
//   signature (8 bytes)          89 'PNG' 0D 0A 1A 0A
//   chunk length (4, big end)    at most 2^31 - 1, and within what is left of the file
//   chunk type (4)               four ASCII letters; the first chunk IHDR (length 13),
//                                IEND of length 0
//   chunk data                   length bytes
//   chunk CRC (4, big end)       zlib's CRC-32 of type and data, over the bytes the
//                                pass sums (formats.h); beyond, the lengths only
//   after IEND                   nothing
//
// Search, on a file damaged the second way: its signature reads 89 'PNG' 0D 0A 1A 0D 0A
// (its own pair kept, the lone LF given a CR): that alone says CRs must stay. Then per
// chunk: its header read every way its pairs allow, its end where the next valid header
// (or, after IEND, the end of the file) lines up, which fixes how many of its pairs keep
// their CR; its CRC field read every way, and the CRC search picks which pairs.
#include "png.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "pair_search.h"

namespace {

enum PngPart { PngSignature, PngChunkHeader, PngChunkData, PngChunkCrc };

const unsigned char Signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const unsigned long long MaxChunkLength = 0x7FFFFFFFULL;

unsigned long BigEndian32(const unsigned char* bytes) {
    return static_cast<unsigned long>(bytes[0]) << 24 | static_cast<unsigned long>(bytes[1]) << 16 |
           static_cast<unsigned long>(bytes[2]) << 8 | bytes[3];
}

bool IsLetter(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool IsChunkType(const unsigned char* type) {
    return IsLetter(type[0]) && IsLetter(type[1]) && IsLetter(type[2]) && IsLetter(type[3]);
}

bool IsType(const unsigned char* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

unsigned long CrcOf(unsigned long crc, const unsigned char* bytes, size_t n) {
    while (n > 0) {  // zlib takes at most a uInt at a time
        const size_t now = std::min<size_t>(n, 1U << 30);
        crc = crc32(crc, bytes, static_cast<uInt>(now));
        bytes += now;
        n -= now;
    }
    return crc;
}

// Takes up to want - *have bytes into held; true once it holds want.
bool Hold(unsigned char* held, unsigned* have, unsigned want, const unsigned char** bytes, size_t* n) {
    const size_t now = std::min<size_t>(want - *have, *n);
    std::memcpy(held + *have, *bytes, now);
    *have += static_cast<unsigned>(now);
    *bytes += now;
    *n -= now;
    return *have == want;
}

// A chunk's length and type, read whole: may the chunk start?
bool StartChunk(PngCheck* check) {
    const unsigned long long length = BigEndian32(check->held);
    const unsigned char* type = check->held + 4;
    if (length > MaxChunkLength || !IsChunkType(type)) return false;
    if ((check->chunks == 0) != IsType(type, "IHDR")) return false;
    if (IsType(type, "IHDR") && length != 13) return false;
    if (IsType(type, "IEND") && length != 0) return false;
    std::memcpy(check->type, type, 4);
    check->dataLeft = length;
    check->crc = crc32(0, type, 4);
    check->part = PngChunkData;
    return true;
}

}  // namespace

void StartPngCheck(PngCheck* check) {
    std::memset(check, 0, sizeof *check);
    check->part = PngSignature;
}

bool CheckPngBytes(PngCheck* check, const unsigned char* bytes, size_t n) {
    while (n > 0) {
        switch (check->part) {
            case PngSignature:
                if (!Hold(check->held, &check->heldCount, 8, &bytes, &n)) break;
                if (std::memcmp(check->held, Signature, 8) != 0) return false;
                check->heldCount = 0;
                check->part = PngChunkHeader;
                break;
            case PngChunkHeader:
                if (check->ended) return false;  // bytes after IEND
                if (!Hold(check->held, &check->heldCount, 8, &bytes, &n)) break;
                check->heldCount = 0;
                if (!StartChunk(check)) return false;
                break;
            case PngChunkData: {
                const size_t now = static_cast<size_t>(std::min<unsigned long long>(check->dataLeft, n));
                if (!check->lengthsOnly) check->crc = CrcOf(check->crc, bytes, now);
                check->dataLeft -= now;
                bytes += now;
                n -= now;
                if (check->dataLeft == 0) check->part = PngChunkCrc;
                break;
            }
            case PngChunkCrc:
                if (!Hold(check->held, &check->heldCount, 4, &bytes, &n)) break;
                check->heldCount = 0;
                if (!check->lengthsOnly && BigEndian32(check->held) != check->crc) return false;
                ++check->chunks;
                check->ended = IsType(check->type, "IEND");
                check->part = PngChunkHeader;
                break;
            default:
                return false;
        }
    }
    return true;
}

CheckVerdict FinishPngCheck(PngCheck* check) {
    const bool whole = check->ended && check->part == PngChunkHeader && check->heldCount == 0;
    if (!whole) return CheckFailed;
    return check->lengthsOnly ? CheckUnsure : CheckPassed;
}

// ---- The search ----

namespace {

const unsigned char SecondKindSignature[9] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0D, 0x0A};
// The ways one chunk may read (header readings, ends, CRC readings) tried at most.
const unsigned MaxChunkTries = 64;

SpanPairs chunkPairs;
KeptPairs tryKept;    // the way being tried
KeptPairs chunkKept;  // the one way that passed
Readings headers;
Readings crcFields;
unsigned char endWindow[MaxSpanPairs + 16];  // where a chunk may end, and a header's worth more

struct ChunkHeader {
    unsigned long long length;
    unsigned char type[4];
};

bool ReadChunkHeader(const Reading* reading, ChunkHeader* header) {
    header->length = BigEndian32(reading->bytes);
    std::memcpy(header->type, reading->bytes + 4, 4);
    return header->length <= MaxChunkLength && IsChunkType(header->type);
}

// Could a chunk start at end? A cheap look first: its type's letters, after its length
// with none to four CRs dropped from it; then every reading of its header.
bool NextChunkFits(const PickedBytes* picked, unsigned long long end, const unsigned char* window, size_t have) {
    bool letters = false;
    for (size_t dropped = 0; dropped <= 4 && !letters; ++dropped)
        letters = have >= 8 + dropped && IsChunkType(window + 4 + dropped);
    if (!letters) return false;
    static Readings next;
    if (!ReadOriginalAhead(picked, end, 8, &next)) return false;
    for (size_t w = 0; w < next.count; ++w) {
        ChunkHeader header;
        if (ReadChunkHeader(&next.way[w], &header) && header.length + 12 <= picked->size - end) return true;
    }
    return false;
}

// The chunk's data [from, to) and one reading of its CRC field: passes for how many ways?
// The first way that passes is left in chunkKept.
int TryChunkData(const PickedBytes* picked, const Reading* header, const ChunkHeader* chunk,
                 const Reading* crcField, int passedSoFar) {
    if (!ListSpanPairs(picked, header->to, crcField->from, SpanCrcZlib, crc32(0, chunk->type, 4), &chunkPairs))
        return 2;  // unreadable or too long: no single way
    size_t keep = 0;
    if (!KeepForLength(&chunkPairs, chunk->length, &keep)) return 0;
    tryKept.count = 0;
    if (!KeepReading(header, &tryKept)) return 2;
    const SpanFound found =
        FindKeptPairs(&chunkPairs, keep, BigEndian32(crcField->bytes), SpanWaysCrc32, &tryKept);
    if (found == SpanNoWay) return 0;
    if (found != SpanOneWay || !KeepReading(crcField, &tryKept)) return 2;
    if (passedSoFar == 0) {
        chunkKept.count = tryKept.count;
        std::memcpy(chunkKept.at, tryKept.at, tryKept.count * sizeof tryKept.at[0]);
    }
    return 1;
}

// Every way the chunk with this header may end at end: how many pass.
int TryChunkEnd(const PickedBytes* picked, const Reading* header, const ChunkHeader* chunk, unsigned long long end,
                int passed, unsigned* tries) {
    if (!ReadOriginalBehind(picked, header->to, end, 4, &crcFields) || crcFields.capped) return 2;
    for (size_t c = 0; c < crcFields.count && passed < 2; ++c) {
        if (++*tries > MaxChunkTries) return 2;
        passed += TryChunkData(picked, header, chunk, &crcFields.way[c], passed);
    }
    return passed;
}

// The chunk at offset at, read every way: exactly one must pass. Its end in *next, and
// whether it was IEND.
bool SearchChunk(const PickedBytes* picked, unsigned long long at, bool first, unsigned long long* next,
                 bool* wasEnd) {
    if (!ReadOriginalAhead(picked, at, 8, &headers) || headers.capped) return false;
    static Readings headersHere;
    headersHere = headers;
    int passed = 0;
    unsigned tries = 0;
    for (size_t h = 0; h < headersHere.count && passed < 2; ++h) {
        const Reading* header = &headersHere.way[h];
        ChunkHeader chunk;
        if (!ReadChunkHeader(header, &chunk) || first != IsType(chunk.type, "IHDR")) continue;
        const bool isEnd = IsType(chunk.type, "IEND");
        unsigned long long firstEnd = 0, lastEnd = 0;
        if (!SpanEndRange(picked, header->to, chunk.length + 4, &firstEnd, &lastEnd)) return false;
        if (firstEnd > lastEnd) continue;  // cut off
        const size_t have = static_cast<size_t>(
            std::min<unsigned long long>(picked->size - firstEnd, lastEnd - firstEnd + 16));
        if (!isEnd && !ReadPicked(picked, firstEnd, endWindow, have)) return false;
        for (unsigned long long end = firstEnd; end <= lastEnd && passed < 2; ++end) {
            const size_t offset = static_cast<size_t>(end - firstEnd);
            const bool fits = isEnd ? end == picked->size
                                    : NextChunkFits(picked, end, endWindow + offset, have - offset);
            if (!fits) continue;
            const int before = passed;
            passed = TryChunkEnd(picked, header, &chunk, end, passed, &tries);
            if (passed == 1 && before == 0) {
                *next = end;
                *wasEnd = isEnd;
            }
        }
    }
    return passed == 1;
}

}  // namespace

SearchVerdict SearchPngKeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    unsigned char signature[9];
    if (!ReadPicked(picked, 0, signature, 9) || std::memcmp(signature, SecondKindSignature, 9) != 0)
        return SearchNoEvidence;
    // From here the signature says the file's own CRs stayed: a chunk not decided leaves
    // the file undecided.
    if (!KeepPair(kept, 4)) return SearchUndecided;
    unsigned long long at = 9;
    for (bool first = true;; first = false) {
        unsigned long long next = 0;
        bool wasEnd = false;
        if (!SearchChunk(picked, at, first, &next, &wasEnd)) return SearchUndecided;
        for (size_t i = 0; i < chunkKept.count; ++i)
            if (!KeepPair(kept, chunkKept.at[i])) return SearchUndecided;
        if (wasEnd) return SearchDecided;
        at = next;
    }
}
