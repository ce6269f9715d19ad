// FLAC walker. Checks, in the order the file gives them:
//
//   what is read                  what must hold
//   marker (4 bytes)              'fLaC'
//   metadata block header (4)     type 0 to 6 (STREAMINFO, of length 34, first and only
//                                 there), 24-bit length; the last one flagged
//   metadata block body           length bytes
//   frame header (6 to 16)        sync 0xFFF8 or 0xFFF9 (the same in every frame), no
//                                 reserved code, a coded number that follows the frame
//                                 before (0 for the first), its CRC-8
//   frame body                    up to where the frame's CRC-16 (over header, body and
//                                 the CRC itself) comes out 0 and the next valid frame
//                                 header starts, or the end of the file, or a 128-byte
//                                 ID3v1 tag ('TAG') that ends the file; past the bytes
//                                 the pass sums (formats.h), up to the next valid header
//
// Search, on a file damaged the second way: each metadata block's length fixes how many
// of its pairs keep their CR (no CRC covers it, so only none or all can be told apart);
// each frame ends where the next valid frame header stands in the picked file, and its
// CRC-16 says which of its pairs keep their CR. With a CRC-16 alone only a few ways
// are tried; where the frame's sample size is known and the frame fits the buffer, its
// subframes read exactly to the CRC-16 as well (flac_subframes.h), and then many more.
#include "flac.h"

#include <algorithm>
#include <cstring>

#include "flac_subframes.h"
#include "own_crcs.h"
#include "pair_search.h"

namespace {

enum FlacPart { FlacMarker, FlacBlockHeader, FlacBlockBody, FlacFirstFrame, FlacFrameBody };
enum HeaderStatus { HeaderNeedsMore, HeaderInvalid, HeaderValid };

const unsigned StreamInfo = 0;
const unsigned LastKnownBlockType = 6;
const unsigned long long StreamInfoLength = 34;

struct FrameHeader {
    size_t length;
    unsigned char strategy;
    unsigned long long number;
    unsigned long long blockSize;
    unsigned channelCode;
    unsigned sizeCode;
};

unsigned long long BlockSizeOf(unsigned code, const unsigned char* extra) {
    if (code == 1) return 192;
    if (code <= 5) return 576ULL << (code - 2);
    if (code == 6) return extra[0] + 1ULL;
    if (code == 7) return (static_cast<unsigned long long>(extra[0]) << 8 | extra[1]) + 1;
    return 256ULL << (code - 8);
}

// The coded number's extra bytes from its first byte, or -1 when no number starts so.
int CodedNumberExtra(unsigned char first, unsigned long long* high) {
    static const unsigned char marks[] = {0x80, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};
    static const unsigned char values[] = {0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
    for (int extra = 0; extra < 7; ++extra)
        if ((first & marks[extra]) == values[extra]) {
            *high = first & static_cast<unsigned char>(~marks[extra]);
            return extra;
        }
    return -1;
}

// A frame header from its first have bytes, against what the frame before says.
HeaderStatus ParseFrameHeader(const unsigned char* h, size_t have, const FlacFrameRule* rule, FrameHeader* out) {
    if (have < 2) return have == 1 && h[0] != 0xFF ? HeaderInvalid : HeaderNeedsMore;
    if (h[0] != 0xFF || (h[1] != 0xF8 && h[1] != 0xF9) || (rule->known && h[1] != rule->strategy))
        return HeaderInvalid;
    if (have < 5) return HeaderNeedsMore;
    const unsigned sizeCode = h[2] >> 4, rateCode = h[2] & 0x0F;
    if (sizeCode == 0 || rateCode == 15 || (h[3] >> 4) > 10 || ((h[3] >> 1) & 7) == 3 || (h[3] & 1) != 0)
        return HeaderInvalid;
    unsigned long long number = 0;
    const int extra = CodedNumberExtra(h[4], &number);
    if (extra < 0 || (h[1] == 0xF8 && extra > 5)) return HeaderInvalid;
    size_t at = 5;
    for (int i = 0; i < extra; ++i, ++at) {
        if (have <= at) return HeaderNeedsMore;
        if ((h[at] & 0xC0) != 0x80) return HeaderInvalid;
        number = number << 6 | (h[at] & 0x3F);
    }
    const size_t sizeBytes = sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0;
    const size_t rateBytes = rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
    if (have < at + sizeBytes + rateBytes + 1) return HeaderNeedsMore;
    out->blockSize = BlockSizeOf(sizeCode, h + at);
    at += sizeBytes + rateBytes;
    if (FlacCrc8(0, h, at) != h[at]) return HeaderInvalid;
    if (number != (rule->known ? rule->expected : 0)) return HeaderInvalid;
    out->length = at + 1;
    out->channelCode = h[3] >> 4;
    out->sizeCode = (h[3] >> 1) & 7;
    out->strategy = h[1];
    out->number = number;
    return HeaderValid;
}

void FollowFrame(FlacFrameRule* rule, const FrameHeader& header) {
    rule->known = true;
    rule->strategy = header.strategy;
    rule->expected = header.number + (header.strategy == 0xF8 ? 1 : header.blockSize);
}

void BeginFrame(FlacCheck* check, const FrameHeader& header) {
    FollowFrame(&check->rule, header);
    ++check->frames;
    check->crc = FlacCrc16(0, check->held, header.length);
    check->frameLength = header.length;
    check->candidate = false;
    check->heldCount = 0;
}

void FeedFrames(FlacCheck* check, const unsigned char* bytes, size_t n);

// What looked like the next header is not one: its bytes are the frame's, read again
// after its first byte, since another header may start among them.
void DropCandidate(FlacCheck* check) {
    unsigned char held[FlacMaxFrameHeader];
    const unsigned count = check->heldCount;
    std::memcpy(held, check->held, count);
    check->candidate = false;
    check->heldCount = 0;
    if (!check->lengthsOnly) check->crc = FlacCrc16(check->crcAtCandidate, held, 1);
    check->frameLength = check->lengthAtCandidate + 1;
    FeedFrames(check, held + 1, count - 1);
}

// Bytes of what may be the next frame's header, one at a time until it is told.
void FeedCandidate(FlacCheck* check, const unsigned char** bytes, size_t* n) {
    FrameHeader header;
    HeaderStatus status = ParseFrameHeader(check->held, check->heldCount, &check->rule, &header);
    while (status == HeaderNeedsMore && *n > 0 && check->heldCount < FlacMaxFrameHeader) {
        check->held[check->heldCount++] = **bytes;
        ++*bytes;
        --*n;
        status = ParseFrameHeader(check->held, check->heldCount, &check->rule, &header);
    }
    if (status == HeaderValid) BeginFrame(check, header);
    if (status == HeaderInvalid) DropCandidate(check);
}

// Where the next frame header may start: 0xFF and the stream's second sync byte, or an
// 0xFF that ends the block (its next byte is not here yet); n when none does. Looking
// for both bytes stops the CRC once in 32,768 bytes of noise, not once in 256.
size_t NextSync(const unsigned char* bytes, size_t n, unsigned char strategy) {
    for (const unsigned char* at = bytes; (at = static_cast<const unsigned char*>(
                                               std::memchr(at, 0xFF, bytes + n - at))) != nullptr;
         ++at)
        if (at + 1 == bytes + n || at[1] == strategy) return static_cast<size_t>(at - bytes);
    return n;
}

void FeedFrames(FlacCheck* check, const unsigned char* bytes, size_t n) {
    while (n > 0) {
        if (check->candidate) {
            FeedCandidate(check, &bytes, &n);
            continue;
        }
        const size_t before = NextSync(bytes, n, check->rule.strategy);
        if (!check->lengthsOnly) check->crc = FlacCrc16(check->crc, bytes, before);
        check->frameLength += before;
        bytes += before;
        n -= before;
        if (n == 0) return;
        if (check->lengthsOnly || check->crc == 0) {
            // The frame so far checks: the next may start here.
            check->candidate = true;
            check->crcAtCandidate = check->crc;
            check->lengthAtCandidate = check->frameLength;
            check->held[0] = 0xFF;
            check->heldCount = 1;
        } else {
            check->crc = FlacCrc16(check->crc, bytes, 1);
            ++check->frameLength;
        }
        ++bytes;
        --n;
    }
}

bool StartBlock(FlacCheck* check) {
    const unsigned type = check->held[0] & 0x7F;
    const unsigned long long length =
        static_cast<unsigned long long>(check->held[1]) << 16 | static_cast<unsigned long long>(check->held[2]) << 8 |
        check->held[3];
    if ((check->blocks == 0) != (type == StreamInfo) || type > LastKnownBlockType) return false;
    if (type == StreamInfo && length != StreamInfoLength) return false;
    check->lastBlock = (check->held[0] & 0x80) != 0;
    check->left = length;
    ++check->blocks;
    check->heldCount = 0;
    check->part = FlacBlockBody;
    return true;
}

bool Hold(FlacCheck* check, unsigned want, const unsigned char** bytes, size_t* n) {
    const size_t now = std::min<size_t>(want - check->heldCount, *n);
    std::memcpy(check->held + check->heldCount, *bytes, now);
    check->heldCount += static_cast<unsigned>(now);
    *bytes += now;
    *n -= now;
    return check->heldCount == want;
}

bool FeedMetadata(FlacCheck* check, const unsigned char** bytes, size_t* n) {
    switch (check->part) {
        case FlacMarker:
            if (!Hold(check, 4, bytes, n)) return true;
            if (std::memcmp(check->held, "fLaC", 4) != 0) return false;
            check->heldCount = 0;
            check->part = FlacBlockHeader;
            return true;
        case FlacBlockHeader:
            return !Hold(check, 4, bytes, n) || StartBlock(check);
        case FlacBlockBody: {
            const size_t now = static_cast<size_t>(std::min<unsigned long long>(check->left, *n));
            check->left -= now;
            *bytes += now;
            *n -= now;
            if (check->left == 0) check->part = check->lastBlock ? FlacFirstFrame : FlacBlockHeader;
            return true;
        }
        default:
            return false;
    }
}

void KeepTail(FlacCheck* check, const unsigned char* bytes, size_t n) {
    if (n >= FlacTagLength) {
        std::memcpy(check->tail, bytes + n - FlacTagLength, FlacTagLength);
    } else {
        std::memmove(check->tail, check->tail + n, FlacTagLength - n);
        std::memcpy(check->tail + FlacTagLength - n, bytes, n);
    }
    check->fed += n;
}

}  // namespace

void StartFlacCheck(FlacCheck* check) {
    std::memset(check, 0, sizeof *check);
    check->part = FlacMarker;
}

bool CheckFlacBytes(FlacCheck* check, const unsigned char* bytes, size_t n) {
    KeepTail(check, bytes, n);
    while (n > 0 && check->part < FlacFirstFrame)
        if (!FeedMetadata(check, &bytes, &n)) return false;
    if (n > 0 && check->part == FlacFirstFrame) {
        FrameHeader header;
        HeaderStatus status = HeaderNeedsMore;
        while (status == HeaderNeedsMore && n > 0 && check->heldCount < FlacMaxFrameHeader) {
            check->held[check->heldCount++] = *bytes++;
            --n;
            status = ParseFrameHeader(check->held, check->heldCount, &check->rule, &header);
        }
        if (status == HeaderInvalid || (status == HeaderNeedsMore && check->heldCount == FlacMaxFrameHeader))
            return false;
        if (status == HeaderNeedsMore) return true;
        BeginFrame(check, header);
        check->part = FlacFrameBody;
    }
    if (n > 0) FeedFrames(check, bytes, n);
    return true;
}

CheckVerdict FinishFlacCheck(FlacCheck* check) {
    if (check->part == FlacFirstFrame) return check->heldCount == 0 ? CheckPassed : CheckFailed;
    if (check->part != FlacFrameBody) return CheckFailed;
    while (check->candidate) DropCandidate(check);  // the file ended inside it
    if (check->lengthsOnly) return CheckUnsure;
    if (check->crc == 0) return CheckPassed;
    // An ID3v1 tag after the last frame: the frame checks without its 128 bytes when the
    // CRC over both equals the tag's own (the frame's CRC then shifts to nothing).
    const bool tag = check->fed >= FlacTagLength && check->frameLength > FlacTagLength &&
                     std::memcmp(check->tail, "TAG", 3) == 0 && FlacCrc16(0, check->tail, FlacTagLength) == check->crc;
    return tag ? CheckPassed : CheckFailed;
}

// ---- The search ----

namespace {

enum Found { FoundOne, FoundBroken, FoundSeveral, FoundLost };

const unsigned long long MaxFrameScan = 1ULL << 24;  // a frame longer than this: lost
const unsigned MaxBlockTries = 64;                    // ends one metadata block is tried with
const size_t ScanBlock = 1 << 16;

SpanPairs spanPairs;
KeptPairs tryKept;
KeptPairs wayKept;  // the one way that passed
Readings firstReadings;
Readings headerReadings;
Readings nextReadings;
unsigned char scanWindow[ScanBlock + FlacMaxFrameHeader];

// The frame being searched, for reading its subframes way by way: its bytes as picked
// after the header, and each way's bytes of the original.
const size_t MaxParsedFrame = 1 << 18;
unsigned char framePicked[MaxParsedFrame];
size_t framePickedLength;
unsigned char frameOriginal[FlacMaxFrameHeader + MaxParsedFrame];
const Reading* parsedHeader;
FlacFrameShape parsedShape;
unsigned streamInfoBits;  // bits per sample STREAMINFO gives, 0 when unknown

// The second pass, for a file the first could not decide: frames are searched much
// further, and the way keeping fewest CRs taken, since every decoded sample then goes
// into an MD5 that must come out as the one STREAMINFO holds, which no wrong way of
// keeping CRs matches but by a chance of 2^-128. A frame that cannot be decoded so
// leaves the file undecided.
const unsigned long long FrameWaysMd5 = 1ULL << 16;
const unsigned long FrameChecksMd5 = 256;
bool md5Pass;
Md5 streamMd5;
unsigned char streamInfoMd5[16];

size_t ReadableHeader(const PickedBytes* picked, unsigned long long at) {
    return static_cast<size_t>(std::min<unsigned long long>(FlacMaxFrameHeader, picked->size - at));
}

// The ID3v1 tag that may close the file, standing at at.
bool TagAt(const PickedBytes* picked, unsigned long long at) {
    unsigned char tag[3];
    return at + FlacTagLength == picked->size && ReadPicked(picked, at, tag, 3) && std::memcmp(tag, "TAG", 3) == 0;
}

// Does any reading at at hold a valid frame header (against rule)?
bool FrameHeaderAt(const PickedBytes* picked, unsigned long long at, const FlacFrameRule* rule) {
    if (at >= picked->size || !ReadOriginalAhead(picked, at, ReadableHeader(picked, at), &nextReadings)) return false;
    for (size_t w = 0; w < nextReadings.count; ++w) {
        FrameHeader header;
        if (ParseFrameHeader(nextReadings.way[w].bytes, nextReadings.way[w].length, rule, &header) == HeaderValid)
            return true;
    }
    return false;
}

bool BlockHeaderFits(const Reading* reading, bool first, unsigned long long room, bool* last,
                     unsigned long long* length) {
    const unsigned type = reading->bytes[0] & 0x7F;
    *last = (reading->bytes[0] & 0x80) != 0;
    *length = static_cast<unsigned long long>(reading->bytes[1]) << 16 |
              static_cast<unsigned long long>(reading->bytes[2]) << 8 | reading->bytes[3];
    if (first != (type == StreamInfo) || type > LastKnownBlockType) return false;
    return (type != StreamInfo || *length == StreamInfoLength) && *length <= room;
}

// Could what follows a metadata block start at end? The rest of the metadata is followed
// block by block to a valid first frame header (its CRC-8 tells), every end each block's
// pairs allow tried: a block's own bytes read as the next header (a pair's CR taken for
// the block's) rarely lead on to a frame. Bounded in depth and in ends tried.
const unsigned MaxChainDepth = 8;
const unsigned MaxChainTries = 4096;
Readings chainReadings[MaxChainDepth];
unsigned chainTries;

bool ChainFits(const PickedBytes* picked, unsigned long long end, bool last, unsigned depth) {
    static const FlacFrameRule noFrameYet = {false, 0, 0};
    if (last) return end == picked->size || FrameHeaderAt(picked, end, &noFrameYet);
    if (depth == MaxChainDepth || ++chainTries > MaxChainTries) return true;  // cannot tell: it may
    Readings* readings = &chainReadings[depth];
    if (!ReadOriginalAhead(picked, end, 4, readings)) return false;
    for (size_t w = 0; w < readings->count; ++w) {
        bool nextLast = false;
        unsigned long long length = 0, firstEnd = 0, lastEnd = 0;
        const Reading* header = &readings->way[w];
        if (!BlockHeaderFits(header, false, picked->size - header->to, &nextLast, &length)) continue;
        if (!SpanEndRange(picked, header->to, length, &firstEnd, &lastEnd)) return true;
        for (unsigned long long next = firstEnd; next <= lastEnd; ++next)
            if (ChainFits(picked, next, nextLast, depth + 1)) return true;
    }
    return false;
}

bool AfterBlockFits(const PickedBytes* picked, unsigned long long end, bool last) {
    chainTries = 0;
    return ChainFits(picked, end, last, 0);
}

// The ways a block with this header and end reads: none of its pairs kept or all are
// the only ones told apart, since nothing but the length covers a block.
int TryBlockEnd(const PickedBytes* picked, const Reading* header, unsigned long long length, unsigned long long end) {
    if (!ListSpanPairs(picked, header->to, end, SpanCrcZlib, 0, &spanPairs)) return 2;
    size_t keep = 0;
    if (!KeepForLength(&spanPairs, length, &keep)) return 0;
    if (keep != 0 && keep != spanPairs.count) return 2;
    wayKept.count = 0;
    if (!KeepReading(header, &wayKept)) return 2;
    for (size_t i = 0; i < keep; ++i)
        if (!KeepPair(&wayKept, spanPairs.at[i])) return 2;
    return 1;
}

Found SearchBlock(const PickedBytes* picked, unsigned long long at, bool first, unsigned long long* next,
                  bool* wasLast) {
    if (!ReadOriginalAhead(picked, at, 4, &headerReadings) || headerReadings.capped) return FoundSeveral;
    static Readings headers;
    headers = headerReadings;
    static KeptPairs passedKept;
    int passed = 0;
    unsigned tried = 0;
    for (size_t h = 0; h < headers.count && passed < 2; ++h) {
        const Reading* header = &headers.way[h];
        bool last = false;
        unsigned long long length = 0;
        if (!BlockHeaderFits(header, first, picked->size - header->to, &last, &length)) continue;
        unsigned long long firstEnd = 0, lastEnd = 0;
        // Too many pairs to count: nothing can be told of this block either way.
        if (!SpanEndRange(picked, header->to, length, &firstEnd, &lastEnd)) return FoundBroken;
        for (unsigned long long end = firstEnd; end <= lastEnd && passed < 2; ++end) {
            if (!AfterBlockFits(picked, end, last)) continue;
            if (++tried > MaxBlockTries) return FoundSeveral;
            const int here = TryBlockEnd(picked, header, length, end);
            if (here == 1 && passed == 0) {
                passedKept.count = wayKept.count;
                std::memcpy(passedKept.at, wayKept.at, wayKept.count * sizeof wayKept.at[0]);
                *next = end;
                *wasLast = last;
            }
            passed += here;
        }
    }
    if (passed == 0) return FoundBroken;
    if (passed > 1) return FoundSeveral;
    wayKept.count = passedKept.count;
    std::memcpy(wayKept.at, passedKept.at, passedKept.count * sizeof passedKept.at[0]);
    return FoundOne;
}

// Where the frame after from starts in the picked file: the first valid header (against
// rule) from there on. False when none does within MaxFrameScan or before the end.
bool FindNextFrame(const PickedBytes* picked, unsigned long long from, const FlacFrameRule* rule,
                   unsigned long long* next) {
    const unsigned long long stop = std::min<unsigned long long>(picked->size, from + MaxFrameScan);
    for (unsigned long long at = from; at + 1 < stop;) {
        const size_t read = static_cast<size_t>(std::min<unsigned long long>(ScanBlock + 1, stop - at));
        if (!ReadPicked(picked, at, scanWindow, read)) return false;
        for (size_t i = 0; i + 1 < read; ++i)
            if (scanWindow[i] == 0xFF && scanWindow[i + 1] == rule->strategy && FrameHeaderAt(picked, at + i, rule)) {
                *next = at + i;
                return true;
            }
        at += read - 1;
    }
    return false;
}

struct FrameTries {
    int passed;
    bool tooMany;
    unsigned long long next;
    FlacFrameRule rule;
};

// The frame as the way keeping these pairs (indices, ascending) gives it: do its
// subframes read exactly to its CRC-16?
bool WayParses(const SpanPairs* pairs, const size_t* keptIndex, size_t keep) {
    std::memcpy(frameOriginal, parsedHeader->bytes, parsedHeader->length);
    size_t out = parsedHeader->length, nextKept = 0, pair = 0;
    for (size_t i = 0; i < framePickedLength; ++i) {
        if (pair < pairs->count && pairs->at[pair] - pairs->from == i) {
            const bool kept = nextKept < keep && keptIndex[nextKept] == pair;
            nextKept += kept ? 1 : 0;
            ++pair;
            if (!kept) continue;
        }
        frameOriginal[out++] = framePicked[i];
    }
    return FlacSubframesFit(frameOriginal, out, parsedHeader->length, &parsedShape);
}

// Gets the frame ready for WayParses: false when it cannot be read so (its sample size
// unknown, too long for the buffer, a failed read).
bool LoadFrame(const PickedBytes* picked, const Reading* header, const FrameHeader& parsed, unsigned long long end) {
    const unsigned bits = parsed.sizeCode == 0 ? streamInfoBits : FlacSampleBitsOfCode(parsed.sizeCode);
    if (bits == 0 || end - header->to > MaxParsedFrame) return false;
    framePickedLength = static_cast<size_t>(end - header->to);
    if (!ReadPicked(picked, header->to, framePicked, framePickedLength)) return false;
    parsedHeader = header;
    parsedShape.blockSize = parsed.blockSize;
    parsedShape.channelCode = parsed.channelCode;
    parsedShape.sampleBits = bits;
    return true;
}

// The ways the frame's pairs may be kept: with its subframes read as a second check
// where they can be, else by the CRC-16 alone.
SpanFound FindFrameWays(const PickedBytes* picked, const Reading* header, const FrameHeader& parsed,
                        unsigned long long end) {
    const bool parses = LoadFrame(picked, header, parsed, end);
    // The plain repair's reading passes: nothing says a CR stayed here.
    if (spanPairs.noneKept == 0 && (!parses || WayParses(&spanPairs, nullptr, 0))) return SpanOneWay;
    if (!parses) return FindKeptPairsAnyCount(&spanPairs, 0, SpanWaysCrc16, &tryKept);
    if (md5Pass) return FindFewestKeptPairsChecked(&spanPairs, 0, FrameWaysMd5, WayParses, FrameChecksMd5, &tryKept);
    return FindKeptPairsAnyCountChecked(&spanPairs, 0, SpanWaysCrc16Checked, WayParses, SpanChecksCrc16, &tryKept);
}

// The frame [header, end): its CRC-16 over the whole must come out 0.
void TryFrameEnd(const PickedBytes* picked, const Reading* header, const FrameHeader& parsed, unsigned long long end,
                 FrameTries* tries) {
    if (!ListSpanPairs(picked, header->to, end, SpanCrcFlac16, FlacCrc16(0, header->bytes, header->length),
                       &spanPairs)) {
        tries->tooMany = true;
        return;
    }
    tryKept.count = 0;
    if (!KeepReading(header, &tryKept)) {
        tries->passed = 2;
        return;
    }
    const SpanFound found = FindFrameWays(picked, header, parsed, end);
    if (found == SpanNoWay || found == SpanTooManyWays) {
        tries->tooMany = tries->tooMany || found == SpanTooManyWays;
        return;
    }
    if (found == SpanSeveralWays) {
        tries->passed = 2;
        return;
    }
    if (tries->passed++ == 0) {
        wayKept.count = tryKept.count;
        std::memcpy(wayKept.at, tryKept.at, tryKept.count * sizeof tryKept.at[0]);
        tries->next = end;
    }
}

// The frame with this header: it ends at the next valid header, or at the end of the
// file, or before a tag there.
bool TryFrameHeader(const PickedBytes* picked, const Reading* header, const FrameHeader& parsed,
                    const FlacFrameRule* rule, FrameTries* tries) {
    FlacFrameRule after = *rule;
    FollowFrame(&after, parsed);
    unsigned long long ends[2];
    size_t endCount = 0;
    if (FindNextFrame(picked, header->to, &after, &ends[0])) {
        endCount = 1;
    } else {
        ends[endCount++] = picked->size;
        if (picked->size >= FlacTagLength && picked->size - FlacTagLength > header->to &&
            TagAt(picked, picked->size - FlacTagLength))
            ends[endCount++] = picked->size - FlacTagLength;
    }
    if (tries->passed == 0 && tries->next == 0) tries->next = ends[0];  // where the walk goes on if none passes
    tries->rule = after;
    for (size_t e = 0; e < endCount && tries->passed < 2; ++e) TryFrameEnd(picked, header, parsed, ends[e], tries);
    return true;
}

Found SearchFrame(const PickedBytes* picked, unsigned long long at, FlacFrameRule* rule, unsigned long long* next) {
    if (!ReadOriginalAhead(picked, at, ReadableHeader(picked, at), &firstReadings) || firstReadings.capped)
        return FoundLost;
    FrameTries tries = {0, false, 0, *rule};
    bool lengthTried[FlacMaxFrameHeader + 1] = {false};
    bool anyHeader = false;
    for (size_t f = 0; f < firstReadings.count && tries.passed < 2; ++f) {
        FrameHeader parsed;
        if (ParseFrameHeader(firstReadings.way[f].bytes, firstReadings.way[f].length, rule, &parsed) != HeaderValid ||
            lengthTried[parsed.length])
            continue;
        lengthTried[parsed.length] = true;
        if (!ReadOriginalAhead(picked, at, parsed.length, &headerReadings) || headerReadings.capped) return FoundLost;
        static Readings headers;
        headers = headerReadings;
        for (size_t h = 0; h < headers.count && tries.passed < 2; ++h) {
            FrameHeader again;
            if (ParseFrameHeader(headers.way[h].bytes, headers.way[h].length, rule, &again) != HeaderValid ||
                again.length != parsed.length)
                continue;
            anyHeader = true;
            TryFrameHeader(picked, &headers.way[h], again, rule, &tries);
        }
    }
    if (!anyHeader || tries.next <= at) return FoundLost;
    *rule = tries.rule;
    *next = tries.next;
    if (tries.passed == 1) return FoundOne;
    // Ways left untried: keeping CRs here may mend it, so the file is not told broken.
    return tries.passed > 1 || tries.tooMany ? FoundSeveral : FoundBroken;
}

// The bits per sample of the STREAMINFO block [from, to) of the picked file, read with
// the CRs of way kept, and its MD5 into streamInfoMd5; 0 when it does not read as one.
unsigned StreamInfoBitsOf(const PickedBytes* picked, unsigned long long from, unsigned long long to,
                          const KeptPairs* way) {
    const size_t wanted = 4 + StreamInfoLength;
    unsigned char readBytes[2 * wanted], block[wanted];
    std::memset(streamInfoMd5, 0, sizeof streamInfoMd5);
    if (to < from || to - from > sizeof readBytes || !ReadPicked(picked, from, readBytes, static_cast<size_t>(to - from)))
        return 0;
    size_t length = 0, nextKept = 0;
    for (size_t i = 0; i < to - from; ++i) {
        const unsigned long long at = from + i;
        while (nextKept < way->count && way->at[nextKept] < at) ++nextKept;
        const bool dropped = readBytes[i] == 0x0D && i + 1 < to - from && readBytes[i + 1] == 0x0A &&
                             !(nextKept < way->count && way->at[nextKept] == at);
        if (dropped) continue;
        if (length == wanted) return 0;
        block[length++] = readBytes[i];
    }
    if (length != wanted) return 0;
    std::memcpy(streamInfoMd5, block + wanted - sizeof streamInfoMd5, sizeof streamInfoMd5);
    // Sample rate (20 bits), channels less one (3), then bits per sample less one (5).
    return ((block[4 + 12] & 1u) << 4 | block[4 + 13] >> 4) + 1;
}

// The frame [from, to) of the picked file, read with the CRs of way kept, decoded into
// streamMd5; false when it cannot be (too long, its sample size unknown or too wide).
bool AddFrameToMd5(const PickedBytes* picked, unsigned long long from, unsigned long long to, const KeptPairs* way,
                   const FlacFrameRule* rule) {
    if (to < from || to - from > MaxParsedFrame) return false;
    const size_t n = static_cast<size_t>(to - from);
    if (!ReadPicked(picked, from, framePicked, n)) return false;
    size_t out = 0, nextKept = 0;
    for (size_t i = 0; i < n; ++i) {
        while (nextKept < way->count && way->at[nextKept] < from + i) ++nextKept;
        const bool kept = nextKept < way->count && way->at[nextKept] == from + i;
        if (framePicked[i] == 0x0D && i + 1 < n && framePicked[i + 1] == 0x0A && !kept) continue;
        frameOriginal[out++] = framePicked[i];
    }
    FrameHeader header;
    if (ParseFrameHeader(frameOriginal, std::min<size_t>(out, FlacMaxFrameHeader), rule, &header) != HeaderValid)
        return false;
    FlacFrameShape shape;
    shape.blockSize = header.blockSize;
    shape.channelCode = header.channelCode;
    shape.sampleBits = header.sizeCode == 0 ? streamInfoBits : FlacSampleBitsOfCode(header.sizeCode);
    return FlacSubframesFit(frameOriginal, out, header.length, &shape, &streamMd5);
}

bool Append(const KeptPairs* way, KeptPairs* kept) {
    for (size_t i = 0; i < way->count; ++i)
        if (!KeepPair(kept, way->at[i])) return false;
    return true;
}


SearchVerdict SearchFlacPass(const PickedBytes* picked, KeptPairs* kept) {
    unsigned char marker[4];
    if (!ReadPicked(picked, 0, marker, 4) || std::memcmp(marker, "fLaC", 4) != 0) return SearchNoEvidence;
    bool keptSome = false, broken = false, several = false;
    unsigned long long at = 4;
    streamInfoBits = 0;
    for (bool first = true, last = false; !last; first = false) {
        const unsigned long long blockAt = at;
        const Found found = SearchBlock(picked, at, first, &at, &last);
        if (found == FoundSeveral) return SearchUndecided;
        if (found != FoundOne) return keptSome ? SearchUndecided : SearchNoEvidence;
        if (first) streamInfoBits = StreamInfoBitsOf(picked, blockAt, at, &wayKept);
        if (!Append(&wayKept, kept)) return SearchUndecided;
        keptSome = keptSome || wayKept.count > 0;
    }
    FlacFrameRule rule = {false, 0, 0};
    while (at < picked->size) {
        unsigned long long next = 0;
        const FlacFrameRule ruleBefore = rule;
        const Found found = SearchFrame(picked, at, &rule, &next);
        if (md5Pass && (found != FoundOne || !AddFrameToMd5(picked, at, next, &wayKept, &ruleBefore)))
            return SearchUndecided;
        if (found == FoundLost) return keptSome || several ? SearchUndecided : SearchNoEvidence;
        if (found == FoundOne) {
            if (!Append(&wayKept, kept)) return SearchUndecided;
            keptSome = keptSome || wayKept.count > 0;
        }
        broken = broken || found == FoundBroken;
        several = several || found == FoundSeveral;
        if (next == picked->size || TagAt(picked, next)) break;
        at = next;
    }
    if (!keptSome && !several) return SearchNoEvidence;
    if (broken || several) return SearchUndecided;
    if (!md5Pass) return SearchDecided;
    unsigned char digest[16];
    FinishMd5(&streamMd5, digest);
    return std::memcmp(digest, streamInfoMd5, sizeof digest) == 0 ? SearchDecided : SearchUndecided;
}

}  // namespace

SearchVerdict SearchFlacKeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    md5Pass = false;
    const SearchVerdict first = SearchFlacPass(picked, kept);
    static const unsigned char noMd5[16] = {0};
    // An encoder that worked out no MD5 leaves it zero: then there is no second pass.
    if (first != SearchUndecided || std::memcmp(streamInfoMd5, noMd5, sizeof noMd5) == 0) return first;
    kept->count = 0;
    md5Pass = true;
    StartMd5(&streamMd5);
    const SearchVerdict second = SearchFlacPass(picked, kept);
    md5Pass = false;
    if (second != SearchDecided) kept->count = 0;
    return second == SearchDecided ? SearchDecided : SearchUndecided;
}
