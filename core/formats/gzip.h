// gzip: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in gzip.cpp.
#ifndef DECRIMP_GZIP_H
#define DECRIMP_GZIP_H

#include <cstddef>

#include "format_types.h"

struct GzipCheck {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartGzipCheck(GzipCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckGzipBytes(GzipCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishGzipCheck(GzipCheck* check);

SearchVerdict SearchGzipKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif
