// PNG: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in png.cpp.
#ifndef DECRIMP_PNG_H
#define DECRIMP_PNG_H

#include <cstddef>

#include "format_types.h"

struct PngCheck {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartPngCheck(PngCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckPngBytes(PngCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishPngCheck(PngCheck* check);

SearchVerdict SearchPngKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
