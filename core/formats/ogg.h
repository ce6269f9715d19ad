// Ogg: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in ogg.cpp.
#ifndef DECRIMP_OGG_H
#define DECRIMP_OGG_H

#include <cstddef>

#include "format_types.h"

struct OggCheck {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartOggCheck(OggCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckOggBytes(OggCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishOggCheck(OggCheck* check);

SearchVerdict SearchOggKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
