// MP3: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in mp3.cpp.
#ifndef DECRIMP_MP3_H
#define DECRIMP_MP3_H

#include <cstddef>

#include "format_types.h"

// The tags a file may end with, kept whole enough to be checked at the end.
const size_t Mp3TailStart = 32;   // an APEv2 header
const size_t Mp3TailEnd = 160;    // "LYRICS200" or "LYRICSEND", then an ID3v1 tag

// The walker's state between blocks: fixed size, no pointers into a block.
struct Mp3Check {
    unsigned phase;
    unsigned char field[10];            // a header being gathered
    size_t have;
    unsigned long long skip;            // bytes of a tag or frame still to pass
    unsigned stream;                    // version, layer and sample rate of the first frame
    unsigned long long frames;
    unsigned long long tailLength;      // bytes of the tags at the end so far
    unsigned char tailStart[Mp3TailStart];
    unsigned char tailEnd[Mp3TailEnd];  // the last bytes, as a ring
    bool unsure;                        // free-format bit rate: frame lengths are not in the headers
};

void StartMp3Check(Mp3Check* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckMp3Bytes(Mp3Check* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishMp3Check(Mp3Check* check);

SearchVerdict SearchMp3KeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
