// PNG: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in png.cpp.
#ifndef DECRIMP_PNG_H
#define DECRIMP_PNG_H

#include <cstddef>

#include "format_types.h"

// The walker's state between blocks: fixed size, no pointers into a block, so a header
// may straddle two blocks.
struct PngCheck {
    unsigned part;                // the signature, a chunk's header, its data or its CRC
    unsigned char held[8];        // the signature or a chunk's length and type so far
    unsigned heldCount;
    unsigned char type[4];        // the chunk being read
    unsigned long long dataLeft;  // of its data
    unsigned long crc;            // over its type and data so far
    unsigned long long chunks;    // whole chunks read
    bool ended;                   // IEND read: nothing may follow
    bool lengthsOnly;             // past the bytes the pass sums (formats.h): no CRCs
};

void StartPngCheck(PngCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckPngBytes(PngCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishPngCheck(PngCheck* check);

SearchVerdict SearchPngKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
