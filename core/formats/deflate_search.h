// Deflated data in the picked file, inflated again with its CR LF pairs' CRs kept or
// dropped (ZIP entries, gzip members): which few pairs must keep their CR for the data
// to inflate whole, to the length and CRC-32 its format states?
//
// A wrong byte seldom stops inflate (Huffman codes fall back into step), but it upsets
// the inflated bytes only for a while: a way keeping one CR more soon decodes the same
// codes as the way without it, one byte on, and once the last 32 KiB it inflated (all a
// copy reaches back to) are the same, all after is the same. So the stream is inflated
// with every CR dropped, noting length and CRC-32 every KiB or so; again, with a branch
// at each pair keeping that CR, followed only until its bytes match over 32 KiB (at most
// 256 KiB on). What each branch changed, a length and a CRC-32 change carried to the
// end by crc32_combine, tells the ways keeping one CR, or two whose branches settle
// apart, that have the stated length and CRC-32; only those are inflated whole, and a
// stream is decided only where exactly one of them passes.
//
// Where the way with every CR dropped does not inflate to an end, or none adds up (CRs
// nearer than a branch settles, a branch that never settles), the older search runs as
// far as the budget goes: the tree of ways each inflated to the end, one CR kept, then
// two whose one-CR lengths add up to the stated one, then every two.
//
// zlib's allocations come from static arenas here: nothing on the heap.
#ifndef DECRIMP_DEFLATE_SEARCH_H
#define DECRIMP_DEFLATE_SEARCH_H

#include <cstddef>

#include <zlib.h>

#include "format_types.h"
#include "picked_window.h"

// One inflate stream's allocations (its state and its 32 KiB window), handed out from
// the front and given back only all at once: for a check's single stream, reset and
// reused for each member.
const size_t InflateArenaSize = 48 * 1024;
struct InflateArena {
    size_t used;
    alignas(16) unsigned char bytes[InflateArenaSize];
};
// Sets stream's zalloc and zfree to take from arena (emptied here).
void UseInflateArena(z_stream* stream, InflateArena* arena);

// The most CRs a deflated stream is searched for: more and the ways grow past telling.
const unsigned MaxDeflateKept = 2;
// The most deflated bytes fed to inflate for one stream, over all its ways, and for one
// file over all its streams: at 0.1 to 0.5 GB/s, about a quarter of a second and two
// seconds. Settling costs some 30 to 100 KiB fed a pair; the older search a stream's
// length a pair: past the budget the stream is undecided.
const unsigned long long DeflateStreamBudget = 64ULL << 20;
const unsigned long long DeflateFileBudget = 512ULL << 20;

// What must hold where the stream ends. ZIP: the stream ends exactly at `to`, inflated
// to `inflated` bytes with CRC `crc`, exactly `keep` CRs kept. gzip: the 8-byte trailer
// follows (its pairs read as the stated CRC and length need), then the file's end or the
// next member; any count of kept CRs up to MaxDeflateKept.
enum DeflateEnd { DeflateEndZip, DeflateEndGzip };
struct DeflateGoal {
    DeflateEnd end;
    unsigned long long from, to;  // the deflated bytes in the picked file (gzip: to the file's end)
    unsigned keep;                // ZIP only
    unsigned long long inflated;  // ZIP only
    unsigned long crc;            // ZIP only
    unsigned long long budget;    // bytes that may be fed (at most DeflateStreamBudget)
};

// A way found: the CRs kept (ascending), and for gzip where the member's trailer ends.
const size_t MaxDeflateWayKept = MaxDeflateKept + 8;
struct DeflateWay {
    size_t count;
    unsigned long long kept[MaxDeflateWayKept];
    unsigned long long memberEnd;
};
struct DeflateFound {
    unsigned ways;      // 0, 1 or 2 (two or more)
    bool capped;        // the budget ran out, or a branch could not be copied
    unsigned long long fed;  // bytes fed to inflate, over all ways
    bool noneKeptWay;   // the way with every CR dropped passed (the plain repair)
    bool droppedAllBroken;  // that way met bytes inflate refuses (not a short file, not a bad CRC)
    bool noneKeptTrailer;   // gzip: that way ended where its trailer holds its CRC and
                            // length, whatever follows (junk after the member)
    bool noneKeptCutShort;  // that way inflated every byte there is, without an error and
                            // without an end: a file cut short (CRs left out of a whole one
                            // put inflate back in step soon enough for it to find the end)
    DeflateWay first;   // the first way that passed (the dropped-all one where it did)
};

// Tries the ways. Not reentrant (static arenas).
void SearchDeflated(const PickedBytes* picked, const DeflateGoal* goal, DeflateFound* found);

#endif
