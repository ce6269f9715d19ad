// gzip: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in gzip.cpp.
#ifndef DECRIMP_GZIP_H
#define DECRIMP_GZIP_H

#include <cstddef>

#include <zlib.h>

#include "deflate_search.h"
#include "format_types.h"

// Inflating costs far more than the repair's pass: only this much of a file is checked
// so; a larger one is left unsure, for the count of CR CR LF to decide.
const unsigned long long GzipCheckedBytes = 8ULL << 20;

// The walker's state between blocks: fixed size, no pointers into a block. The inflate
// stream points into the arena beside it, so a check is used where it was started.
struct GzipCheck {
    unsigned phase;
    unsigned flags;              // the member's FLG
    unsigned char field[10];     // a fixed-size part being gathered
    size_t have;                 // bytes of it so far
    unsigned long headerCrc;     // CRC-32 of the member's header so far (FHCRC)
    unsigned long long skip;     // bytes of FEXTRA still to pass
    unsigned long crc;           // CRC-32 of the member's inflated bytes
    unsigned long long inflated; // their count
    unsigned long long fed;
    bool streamOpen;             // inflateInit2 done (reset for each later member)
    bool gaveUp;                 // too large to inflate in the pass: unsure
    z_stream stream;
    InflateArena arena;
};

void StartGzipCheck(GzipCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckGzipBytes(GzipCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishGzipCheck(GzipCheck* check);

SearchVerdict SearchGzipKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
