// Ogg: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in ogg.cpp.
#ifndef DECRIMP_OGG_H
#define DECRIMP_OGG_H

#include <cstddef>

#include "format_types.h"

const size_t OggMaxHeader = 27 + 255;

// The walker's state between blocks: fixed size, no pointers into a block, so a page
// header may straddle two blocks.
struct OggCheck {
    bool inBody;                        // else in a page header
    unsigned char header[OggMaxHeader]; // the page header so far
    size_t headerHave;
    unsigned long long bodyLeft;        // of the page's body
    unsigned long crc;                  // Ogg's CRC of the page so far, its CRC field as zeros
    unsigned long stored;               // the page's CRC field
    unsigned long long pages;           // whole pages read
    bool lengthsOnly;                   // past the bytes the pass sums (formats.h): no CRCs
};

void StartOggCheck(OggCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckOggBytes(OggCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishOggCheck(OggCheck* check);

SearchVerdict SearchOggKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
