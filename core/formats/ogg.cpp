// Ogg walker (Vorbis, Opus, FLAC in Ogg: the pages, whatever they carry). Checks, page
// after page, in the order the page gives them:
//
//   what is read                   what must hold
//   capture pattern (4 bytes)      'OggS'
//   version (1)                    0
//   header type (1)                no flag beyond continued, first, last (0x07)
//   granule, serial, sequence      (not checked)
//   CRC field (4, little end)      Ogg's CRC-32 of the whole page, this field as zeros,
//                                  over the bytes the pass sums (formats.h)
//   segment count (1), table       the body's length: the sum of the table's values
//   body                           that many bytes
//   the file                       pages back to back to its last byte, at least one
//
// Search, on a file damaged the second way: per page, its header read every way its
// pairs allow; the segment table gives the page's length exactly, so where the next
// 'OggS' (or the end of the file) stands says how many of the page's pairs keep their
// CR, and the CRC search says which.
#include "ogg.h"

#include <algorithm>
#include <cstring>

#include "own_crcs.h"
#include "pair_search.h"

namespace {

const size_t FixedHeader = 27;
const size_t CrcField = 22;

unsigned long LittleEndian32(const unsigned char* bytes) {
    return static_cast<unsigned long>(bytes[3]) << 24 | static_cast<unsigned long>(bytes[2]) << 16 |
           static_cast<unsigned long>(bytes[1]) << 8 | bytes[0];
}

bool FixedHeaderFits(const unsigned char* header) {
    return std::memcmp(header, "OggS", 4) == 0 && header[4] == 0 && (header[5] & ~0x07) == 0;
}

unsigned long long BodyLength(const unsigned char* header) {
    unsigned long long length = 0;
    for (size_t i = 0; i < header[26]; ++i) length += header[FixedHeader + i];
    return length;
}

// Ogg's CRC of a whole header with its CRC field as zeros.
unsigned long HeaderCrc(const unsigned char* header, size_t length) {
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    unsigned long crc = OggCrc(0, header, CrcField);
    crc = OggCrc(crc, zeros, 4);
    return OggCrc(crc, header + CrcField + 4, length - CrcField - 4);
}

// The header read whole: its body comes next.
void StartBody(OggCheck* check) {
    check->stored = LittleEndian32(check->header + CrcField);
    if (!check->lengthsOnly) check->crc = HeaderCrc(check->header, check->headerHave);
    check->bodyLeft = BodyLength(check->header);
    check->inBody = true;
}

bool EndPage(OggCheck* check) {
    if (!check->lengthsOnly && check->crc != check->stored) return false;
    ++check->pages;
    check->inBody = false;
    check->headerHave = 0;
    return true;
}

}  // namespace

void StartOggCheck(OggCheck* check) {
    std::memset(check, 0, sizeof *check);
}

bool CheckOggBytes(OggCheck* check, const unsigned char* bytes, size_t n) {
    while (n > 0) {
        if (check->inBody) {
            const size_t now = static_cast<size_t>(std::min<unsigned long long>(check->bodyLeft, n));
            if (!check->lengthsOnly) check->crc = OggCrc(check->crc, bytes, now);
            check->bodyLeft -= now;
            bytes += now;
            n -= now;
            if (check->bodyLeft == 0 && !EndPage(check)) return false;
            continue;
        }
        const size_t want = check->headerHave < FixedHeader ? FixedHeader : FixedHeader + check->header[26];
        const size_t now = std::min(want - check->headerHave, n);
        std::memcpy(check->header + check->headerHave, bytes, now);
        check->headerHave += now;
        bytes += now;
        n -= now;
        if (check->headerHave == FixedHeader && !FixedHeaderFits(check->header)) return false;
        if (check->headerHave < FixedHeader || check->headerHave < FixedHeader + check->header[26]) continue;
        StartBody(check);
        if (check->bodyLeft == 0 && !EndPage(check)) return false;
    }
    return true;
}

CheckVerdict FinishOggCheck(OggCheck* check) {
    if (check->inBody || check->headerHave != 0 || check->pages == 0) return CheckFailed;
    return check->lengthsOnly ? CheckUnsure : CheckPassed;
}

// ---- The search ----

namespace {

// What one page's search found.
enum PageFound { PageOneWay, PageBroken, PageUndecided };

SpanPairs pagePairs;
KeptPairs tryKept;
KeptPairs pageKept;  // the one way that passed
Readings fixedHeaders;
Readings wholeHeaders;
unsigned char endWindow[MaxSpanPairs + 4];

// The ends and header readings one page may be tried with, at most.
const unsigned MaxPageTries = 64;

struct PageTries {
    unsigned tried;
    int passed;
    bool plainFits;     // read with no CR kept, the lengths line up
    bool keptFits;      // read with CRs kept, they line up too
    unsigned long long next;
    unsigned long long plainNext;  // where the page ends read with no CR kept (0: nowhere)
};

// The page's body [header->to, end): does one way pass?
void TryPageEnd(const PickedBytes* picked, const Reading* header, unsigned long long end, PageTries* tries) {
    if (++tries->tried > MaxPageTries) {
        tries->passed = 2;
        return;
    }
    const unsigned long long body = BodyLength(header->bytes);
    if (!ListSpanPairs(picked, header->to, end, SpanCrcOgg, HeaderCrc(header->bytes, header->length), &pagePairs)) {
        tries->passed = 2;
        return;
    }
    size_t keep = 0;
    if (!KeepForLength(&pagePairs, body, &keep)) return;
    const bool plain = keep == 0 && header->keptCount == 0;
    if (plain && !tries->plainFits) tries->plainNext = end;
    tries->plainFits = tries->plainFits || plain;
    tries->keptFits = tries->keptFits || !plain;
    tryKept.count = 0;
    if (!KeepReading(header, &tryKept)) {
        tries->passed = 2;
        return;
    }
    const SpanFound found =
        FindKeptPairs(&pagePairs, keep, LittleEndian32(header->bytes + CrcField), SpanWaysCrc32, &tryKept);
    if (found == SpanNoWay) return;
    if (found != SpanOneWay) {
        tries->passed = 2;
        return;
    }
    if (tries->passed++ == 0) {
        pageKept.count = tryKept.count;
        std::memcpy(pageKept.at, tryKept.at, tryKept.count * sizeof tryKept.at[0]);
        tries->next = end;
    }
}

// Every end the page with this whole header may have: the next 'OggS', or the file's end.
bool TryPageHeader(const PickedBytes* picked, const Reading* header, PageTries* tries) {
    unsigned long long first = 0, last = 0;
    if (!SpanEndRange(picked, header->to, BodyLength(header->bytes), &first, &last)) return false;
    if (first > last) return true;  // cut off
    const size_t have = static_cast<size_t>(std::min<unsigned long long>(picked->size - first, last - first + 4));
    if (!ReadPicked(picked, first, endWindow, have)) return false;
    for (unsigned long long end = first; end <= last && tries->passed < 2; ++end) {
        const size_t offset = static_cast<size_t>(end - first);
        const bool fits = end == picked->size ||
                          (have - offset >= 4 && std::memcmp(endWindow + offset, "OggS", 4) == 0);
        if (fits) TryPageEnd(picked, header, end, tries);
    }
    return true;
}

PageFound SearchPage(const PickedBytes* picked, unsigned long long at, unsigned long long* next) {
    if (!ReadOriginalAhead(picked, at, FixedHeader, &fixedHeaders) || fixedHeaders.capped) return PageUndecided;
    PageTries tries = {0, 0, false, false, 0, 0};
    bool countTried[256] = {false};
    for (size_t f = 0; f < fixedHeaders.count && tries.passed < 2; ++f) {
        const unsigned char* fixed = fixedHeaders.way[f].bytes;
        if (!FixedHeaderFits(fixed) || countTried[fixed[26]]) continue;
        countTried[fixed[26]] = true;
        const size_t length = FixedHeader + fixed[26];
        if (!ReadOriginalAhead(picked, at, length, &wholeHeaders) || wholeHeaders.capped) return PageUndecided;
        static Readings headersHere;
        headersHere = wholeHeaders;
        for (size_t w = 0; w < headersHere.count && tries.passed < 2; ++w) {
            const Reading* header = &headersHere.way[w];
            if (!FixedHeaderFits(header->bytes) || header->bytes[26] != fixed[26]) continue;
            if (!TryPageHeader(picked, header, &tries)) return PageUndecided;
        }
    }
    if (tries.passed == 1) {
        *next = tries.next;
        return PageOneWay;
    }
    // No single way: only when the lengths said CRs must stay is that a sign of the damage.
    if (tries.keptFits && !tries.plainFits) return PageUndecided;
    *next = tries.plainNext;
    return PageBroken;
}

}  // namespace

SearchVerdict SearchOggKeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    bool keptSome = false, broken = false;
    for (unsigned long long at = 0; at < picked->size;) {
        unsigned long long next = 0;
        const PageFound found = SearchPage(picked, at, &next);
        if (found == PageUndecided) return SearchUndecided;
        // A page broken before the damage: the pages after it may still say CRs stayed,
        // and then the file cannot be repaired, so the walk goes on where its lengths end it.
        if (found == PageBroken) {
            broken = true;
            if (next == 0) return keptSome ? SearchUndecided : SearchNoEvidence;
            at = next;
            continue;
        }
        for (size_t i = 0; i < pageKept.count; ++i)
            if (!KeepPair(kept, pageKept.at[i])) return SearchUndecided;
        keptSome = keptSome || pageKept.count > 0;
        at = next;
    }
    if (!keptSome) return SearchNoEvidence;
    return broken ? SearchUndecided : SearchDecided;
}
