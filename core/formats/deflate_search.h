// Deflated data in the picked file, inflated again with its CR LF pairs' CRs kept or
// dropped (ZIP entries, gzip members): which few pairs must keep their CR for the data
// to inflate whole, to the length and CRC-32 its format states?
//
// The ways are tried as a tree: the stream is inflated once with every CR dropped, and
// at each pair a copy of the inflate state goes on with that CR kept; a branch ends
// where inflate refuses the bytes. That settles one kept CR. A wrong byte often does
// not stop inflate (Huffman codes fall back into step), but it changes the inflated
// length by an amount of its own: the ways keeping two CRs tried whole are those whose
// one-CR changes add up to the stated length. Past two kept CRs nothing is searched.
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
// seconds. A wrong way inflates on until inflate refuses it, often a block later, and
// there is such a way at every pair before the one kept (at every pair after it too,
// when two are kept): past the budget the stream is undecided.
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
    DeflateWay first;   // the first way that passed (the dropped-all one where it did)
};

// Tries the ways. Not reentrant (static arenas).
void SearchDeflated(const PickedBytes* picked, const DeflateGoal* goal, DeflateFound* found);

#endif
