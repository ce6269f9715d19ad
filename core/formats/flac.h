// FLAC: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in flac.cpp.
#ifndef DECRIMP_FLAC_H
#define DECRIMP_FLAC_H

#include <cstddef>

#include "format_types.h"

const size_t FlacMaxFrameHeader = 16;
const size_t FlacTagLength = 128;  // an ID3v1 tag after the last frame

// What a frame header says that the next one must agree with.
struct FlacFrameRule {
    bool known;                    // a first frame was read
    unsigned char strategy;        // 0xF8 fixed block size, 0xF9 variable
    unsigned long long expected;   // the coded number the next frame must carry
};

// The walker's state between blocks: fixed size, no pointers into a block, so a header
// may straddle two blocks.
struct FlacCheck {
    unsigned part;                          // the marker, metadata, or frames
    unsigned char held[FlacMaxFrameHeader]; // a block header or a frame header so far
    unsigned heldCount;
    unsigned long long left;                // of a metadata block's body
    bool lastBlock;
    unsigned long long blocks;
    FlacFrameRule rule;
    unsigned long long frames;              // frames begun
    unsigned long long frameLength;         // bytes of the frame begun last, so far
    unsigned crc;                           // its CRC-16 so far
    bool candidate;                         // held holds what may be the next frame's header
    unsigned crcAtCandidate;                // the CRC-16 before it
    unsigned long long lengthAtCandidate;
    unsigned char tail[FlacTagLength];      // the file's last bytes, for a tag at the end
    unsigned long long fed;
    bool lengthsOnly;                       // past the bytes the pass sums (formats.h): no CRC-16
};

void StartFlacCheck(FlacCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckFlacBytes(FlacCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishFlacCheck(FlacCheck* check);

SearchVerdict SearchFlacKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
