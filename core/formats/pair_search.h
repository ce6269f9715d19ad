// The search the format walkers share: which CRs of the CR LF pairs in a span of the
// picked file did the file hold before the second kind of damage, told by a CRC.
//
// Model: the picked file D was the original O with a CR put before every LF that had
// none, so O is D with the CRs of some of its CR LF pairs dropped. A span of D is
// re-read in bounded blocks (never whole) and its pairs listed; the CRC of the span
// with every pair's CR dropped, and what keeping each one changes in it, are worked
// out once, so each way of keeping pairs then costs a few CRC shifts, not a read.
//
// Use, for a span [from, to) of D whose result is covered by a CRC:
//   static SpanPairs pairs;           // large: keep it static
//   ListSpanPairs(picked, from, to, SpanCrcZlib, crc32(0, bytes ahead, n), &pairs);
//   KeepForLength(&pairs, length the format gives, &keep);   // when the length is known
//   FindKeptPairs(&pairs, keep, stored CRC, SpanWaysCrc32, kept);
// A pair belongs to the span when its CR and its LF both lie inside it. A pair
// straddling an end is the caller's: ReadOriginalAhead/Behind decide those for the
// header before a span and the CRC field after it.
//
// Not reentrant: the search works in static buffers of its own.
#ifndef DECRIMP_PAIR_SEARCH_H
#define DECRIMP_PAIR_SEARCH_H

#include <cstddef>

#include "format_types.h"

// zlib's CRC-32 (PNG, ZIP, gzip); Ogg's CRC-32; FLAC's CRC-16 (see own_crcs.h).
enum SpanCrc { SpanCrcZlib, SpanCrcOgg, SpanCrcFlac16 };

// The most ways of keeping pairs that one span may have and still be told apart by its
// CRC: a CRC-32 tells about 2^32 results apart, a CRC-16 about 65,536. A wrong way then
// passes by chance at odds of about 1 in 256 at most. Where the right way passes too
// (the file was whole before the damage) two pass and nothing is written; a wrong way
// alone can pass only in a file broken before it was damaged.
const unsigned long long SpanWaysCrc32 = 1ULL << 24;
const unsigned long long SpanWaysCrc16 = 256;  // a FLAC frame: every count of pairs tried together

// The most ways tried over all the spans of one file (under a second); a span the rest
// does not cover is SpanTooManyWays. StartSpanSearches starts a file's count.
const unsigned long long MaxWaysPerFile = 1ULL << 24;
void StartSpanSearches();

// A span with more pairs than this is too long to search (about 4 MB of random bytes).
const size_t MaxSpanPairs = 1 << 14;

struct SpanPairs {
    SpanCrc crc;
    unsigned long long from, to;             // the span of the picked file
    size_t count;                            // its pairs
    unsigned long long at[MaxSpanPairs];     // each pair's CR in the picked file, ascending
    unsigned long lift[MaxSpanPairs];        // what keeping that CR alone adds to the CRC
    unsigned long noneKept;                  // the CRC (after before) with every pair's CR dropped
};

// Lists the pairs of [from, to) and works out the CRCs. before is the CRC of what the
// checked bytes hold ahead of the span (0 for nothing). False when a read fails, the
// span lies outside the file, or it holds more than MaxSpanPairs pairs.
bool ListSpanPairs(const PickedBytes* picked, unsigned long long from, unsigned long long to, SpanCrc crc,
                   unsigned long before, SpanPairs* pairs);

// Where a span starting at from that gives length bytes of the original may end in the
// picked file: at from + length, or up to one byte further for each pair inside whose CR
// was dropped. Sets *first > *last when the file is too short. False when a read fails
// or the span holds more than MaxSpanPairs pairs (too long to search).
bool SpanEndRange(const PickedBytes* picked, unsigned long long from, unsigned long long length,
                  unsigned long long* first, unsigned long long* last);

// How many pairs must keep their CR for the span to give length bytes: false when no
// count does (the span is shorter than length, or longer than every pair kept).
bool KeepForLength(const SpanPairs* pairs, unsigned long long length, size_t* keep);

// SpanOneWay: exactly one way passes; its CRs were appended to kept (false from
// FindKeptPairs instead when kept is full). SpanNoWay: none passes. SpanSeveralWays:
// more than one does. SpanTooManyWays: more ways than maxWays, nothing tried.
enum SpanFound { SpanOneWay, SpanNoWay, SpanSeveralWays, SpanTooManyWays };

// Tries every way of keeping exactly keep of the span's pairs: which give the CRC want?
SpanFound FindKeptPairs(const SpanPairs* pairs, size_t keep, unsigned long want, unsigned long long maxWays,
                        KeptPairs* kept);
// The same where no length fixes the count: every count from 1 up, all of them together
// within maxWays (else SpanTooManyWays). Keeping none is not among them: the caller
// knows whether the plain repair passed (noneKept == want).
SpanFound FindKeptPairsAnyCount(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                KeptPairs* kept);

// A second check of one way, for a span whose CRC alone cannot tell all its ways apart:
// keptIndex lists the indices of its kept pairs, ascending. True when the way passes.
typedef bool (*SpanWayCheck)(const SpanPairs* pairs, const size_t* keptIndex, size_t keep);
// A CRC-16 with a second check beside it: the ways tried may be more, since a wrong way
// must then pass both; how many more is what the second check rejects. FLAC's exact
// subframe read lets about 6 wrong ways in 10 through (measured on real frames with a
// byte put in or taken out: Rice codes fall back into step within a few samples), so
// 400 ways keep the odds of SpanWaysCrc16 alone. At most SpanChecksCrc16 ways (those
// the CRC passes) are handed to the check; a span needing more is SpanTooManyWays.
const unsigned long long SpanWaysCrc16Checked = 400;
const unsigned long SpanChecksCrc16 = 64;
// As FindKeptPairsAnyCount, a way counting only when its CRC gives want and check
// passes it too.
SpanFound FindKeptPairsAnyCountChecked(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                       SpanWayCheck check, unsigned long maxChecks, KeptPairs* kept);

// As FindKeptPairsAnyCountChecked, but the first count at which any way passes ends the
// search: SpanOneWay when exactly one way of that count passes. That way is only the
// likeliest (fewest CRs kept), not the only one: for a caller whose whole result is
// checked again afterwards (FLAC's MD5 of its samples).
SpanFound FindFewestKeptPairsChecked(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                     SpanWayCheck check, unsigned long maxChecks, KeptPairs* kept);

// The CRC of what the span gives when exactly the pairs marked in keepIt keep their CR:
// for tests and for callers checking one way.
unsigned long SpanCrcOfWay(const SpanPairs* pairs, const bool* keepIt);

// A few bytes of the original that must be known whole before the span they bound (a
// header ahead of it, a CRC field behind it): the ways they may read, every CR LF pair
// met there with its CR kept or dropped. Bounded: more ways than MaxReadings set capped.
const size_t MaxReadingBytes = 288;
const size_t MaxReadings = 16;
const size_t MaxReadingKept = 8;
struct Reading {
    unsigned char bytes[MaxReadingBytes];
    size_t length;                        // bytes of the original read
    unsigned long long from, to;          // the part of the picked file they came from
    size_t keptCount;                     // CRs kept on the way, offsets in the picked file:
    unsigned long long kept[MaxReadingKept];  // behind, a CR just before from may be among them
};
struct Readings {
    size_t count;
    bool capped;  // more ways than MaxReadings (or kept CRs than MaxReadingKept): not all listed
    Reading way[MaxReadings];
};
// Every way the n bytes of the original starting at offset at of the picked file read.
// False on a failed read; a way that runs past the end of the file is not listed.
bool ReadOriginalAhead(const PickedBytes* picked, unsigned long long at, size_t n, Readings* readings);
// Every way the n bytes of the original ending at offset end read, no byte before floor
// taken. A pair whose LF is the first byte read has its CR decided too (kept: it is
// listed in kept and lies before from; dropped: from is that CR's offset).
bool ReadOriginalBehind(const PickedBytes* picked, unsigned long long floor, unsigned long long end, size_t n,
                        Readings* readings);
// Appends a reading's kept CRs to kept, ascending as long as the caller goes forward.
bool KeepReading(const Reading* reading, KeptPairs* kept);

#endif
