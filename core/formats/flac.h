// FLAC: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in flac.cpp.
#ifndef DECRIMP_FLAC_H
#define DECRIMP_FLAC_H

#include <cstddef>

#include "format_types.h"

struct FlacCheck {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartFlacCheck(FlacCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckFlacBytes(FlacCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishFlacCheck(FlacCheck* check);

SearchVerdict SearchFlacKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
