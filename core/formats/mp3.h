// MP3: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in mp3.cpp.
#ifndef DECRIMP_MP3_H
#define DECRIMP_MP3_H

#include <cstddef>

#include "format_types.h"

struct Mp3Check {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartMp3Check(Mp3Check* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckMp3Bytes(Mp3Check* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishMp3Check(Mp3Check* check);

SearchVerdict SearchMp3KeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
